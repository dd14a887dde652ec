// The quasi-peak, wow and flutter figures over the last window seconds of a stretch, for the
// readings second by second. Takes: per baseband sample, the quasi-peak needle and the weighted
// deviation's parts below and above 4 Hz (any unit), or a mark that the sample does not count.
// Gives: the largest indication and the two RMS values over the window, in the same unit. Kept
// in blocks of 10 ms (the needle's own lags are 87 ms), so a window of 600 s costs 60000
// blocks, not 5 million samples; the window's first block may reach up to 10 ms further back
// than the samples' window.
#pragma once

#include <cstddef>
#include <vector>

namespace wobblemeter {

class WindowFigures {
public:
    // length: samples of the window; rate: samples a second.
    WindowFigures(size_t length, double rate);

    // The next sample, counted; or Skip() for one that keeps its place without counting.
    void Push(double quasiPeak, double wow, double flutter);
    void Skip();
    void Clear();

    // Over the counted samples of the window; 0 without any.
    double QuasiPeak() const;
    double WowRms() const;
    double FlutterRms() const;

private:
    struct Block {
        double wowSquares = 0.0, flutterSquares = 0.0;
        double quasiPeak = 0.0;  // the largest counted indication
        size_t counted = 0;
    };
    void Advance();

    size_t blockLength_;  // samples per block
    std::vector<Block> blocks_;
    size_t current_ = 0;  // the block being filled
    size_t filled_ = 0;   // samples in it so far
};

}  // namespace wobblemeter
