// Detectors of the weighted and unweighted deviation. Take: the deviation's magnitude (Hz, or
// any unit: the readings are in the same one), sample by sample at the baseband rate. Give:
// two-sigma (the level the magnitude exceeds 5 % of the time) and RMS, over the whole stretch (a
// fine logarithmic histogram: the stream is too long to keep) or over a sliding window of the
// last seconds (a coarser histogram and a ring of the samples in it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wobblemeter {

// Share of the time the two-sigma level is exceeded.
constexpr double kTwoSigmaExceeded = 0.05;

// Histogram of magnitudes on a logarithmic axis, 1e-7 ... 1e4 at kPerDecade bins a decade
// (steps of 0.046 %, interpolated within), for the percentile of a stream too long to keep.
class LogHistogram {
public:
    static constexpr size_t kBins = 55000;
    // The bin of a magnitude.
    static uint16_t Bin(double magnitude);

    void Add(double magnitude) { AddBin(Bin(magnitude)); }
    void AddBin(uint16_t bin);
    // The level that fraction of the values stay at or below (0 without values).
    double Quantile(double fraction) const;
    unsigned long long Count() const { return total_; }

private:
    std::vector<unsigned> counts_;  // enough for 6 days at the highest baseband rate
    unsigned long long total_ = 0;
};

// Two-sigma and RMS of the weighted and unweighted deviation over the last `length` samples;
// samples that do not count (bridged gaps, settling filters) take their place in time.
class WindowDetector {
public:
    explicit WindowDetector(size_t length);
    // The next sample: its two bins (LogHistogram::Bin) and the weighted one's square.
    void Push(uint16_t weightedBin, uint16_t unweightedBin, double weightedSquare);
    // A sample that does not count.
    void Skip();
    void Clear();
    // Samples taken since the last Clear(), counting or not.
    unsigned long long Taken() const { return taken_; }
    double WeightedTwoSigma() const;
    double UnweightedTwoSigma() const;
    double WeightedRms() const;

private:
    static constexpr uint16_t kNone = 0xffff;
    // Coarse bins: this many fine ones each.
    static constexpr size_t kCoarsening = 10;
    static constexpr size_t kCoarseBins = LogHistogram::kBins / kCoarsening;
    void Store(uint16_t weighted, uint16_t unweighted, float square);
    double Quantile(const std::vector<unsigned>& counts) const;

    struct Entry {
        uint16_t weighted, unweighted;
        float square;
    };
    std::vector<Entry> ring_;
    size_t next_ = 0;
    unsigned long long taken_ = 0;
    unsigned long long counted_ = 0;
    std::vector<unsigned> weighted_, unweighted_;
    double squares_ = 0.0;
};

}  // namespace wobblemeter
