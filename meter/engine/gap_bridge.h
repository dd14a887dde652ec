// Drop-out bridge. Takes: the frequency offsets (Hz) of a stretch up to a gap, oldest first, the
// gap's length in samples and the first offset after it. Gives: an offset for each sample of the
// gap, predicted from that history (linear prediction by forward-backward least squares, a
// swing carried on through the gap) and bent to meet the offset after it, so that a low-pass
// behind it (the drift's) sees hardly more of the gap than of the same stretch without it. A
// history too short, a prediction that runs away, or one that did worse than a straight line on the
// history's own end, gives the straight line from the last offset to the one after.
#pragma once

#include <cstddef>
#include <vector>

namespace wobblemeter {

// The last offsets of a stretch, kept for the bridge.
class OffsetHistory {
public:
    void Push(double offset) {
        values_[next_] = offset;
        next_ = (next_ + 1) % kLength;
        if (held_ < kLength) ++held_;
    }
    void Clear() { next_ = held_ = 0; }
    // Oldest first.
    void CopyTo(std::vector<double>& out) const;

    // Samples the bridge predicts from: 1.4 s at 6 kHz, a period of a swing at 1 Hz and more.
    static constexpr size_t kLength = 8192;

private:
    std::vector<double> values_ = std::vector<double>(kLength, 0.0);  // a ring
    size_t next_ = 0, held_ = 0;
};

// Offsets for the `gap` samples between history.back() and after, into out (resized to gap).
void BridgeGap(const std::vector<double>& history, double after, size_t gap,
               std::vector<double>& out);

}  // namespace wobblemeter
