// Two-sigma from logarithmic histograms, RMS from sums of squares.
#include "meter/engine/detectors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace wobblemeter {

namespace {

constexpr double kLowest = 1e-7;
constexpr double kPerDecade = 5000.0;

const double kLog2Lowest = std::log2(kLowest);
const double kBinsPerOctave = kPerDecade * std::log10(2.0);

// log2 of a normal positive number from its exponent and a table of log2(1 + u) over the
// mantissa's top kTableBits bits, interpolated linearly: within 2e-8 of the library's, a
// hundred-thousandth of a bin, at a fraction of its cost (two per deviation sample).
constexpr int kTableBits = 11;
constexpr size_t kTableSize = size_t{1} << kTableBits;
const std::array<double, kTableSize + 1>& Log2Table() {
    static const std::array<double, kTableSize + 1> table = [] {
        std::array<double, kTableSize + 1> t{};
        for (size_t i = 0; i <= kTableSize; ++i)
            t[i] = std::log2(1.0 + static_cast<double>(i) / static_cast<double>(kTableSize));
        return t;
    }();
    return table;
}

double FastLog2(double x) {
    constexpr int kMantissaBits = 52;
    constexpr int kExponentBias = 1023;
    constexpr uint64_t kExponentMask = 0x7ff;
    uint64_t bits = 0;  // std::bit_cast, which emscripten's C++ library lacks
    static_assert(sizeof bits == sizeof x);
    std::memcpy(&bits, &x, sizeof bits);
    const int exponent = static_cast<int>((bits >> kMantissaBits) & kExponentMask) - kExponentBias;
    const uint64_t mantissa = bits & ((uint64_t{1} << kMantissaBits) - 1);
    const auto index = static_cast<size_t>(mantissa >> (kMantissaBits - kTableBits));
    const double within =
        static_cast<double>(mantissa & ((uint64_t{1} << (kMantissaBits - kTableBits)) - 1)) /
        static_cast<double>(uint64_t{1} << (kMantissaBits - kTableBits));
    const std::array<double, kTableSize + 1>& t = Log2Table();
    return static_cast<double>(exponent) + t[index] + within * (t[index + 1] - t[index]);
}

// The level below which `fraction` of the histogram's total lies, bins of perDecade a decade
// from kLowest, interpolated within the bin.
double HistogramQuantile(const std::vector<unsigned>& counts, unsigned long long total,
                         double perDecade, double fraction) {
    if (total == 0) return 0.0;
    const double target = fraction * static_cast<double>(total);
    double below = 0.0;
    for (size_t bin = 0; bin < counts.size(); ++bin) {
        const auto count = static_cast<double>(counts[bin]);
        if (below + count >= target && count > 0.0) {
            if (bin == 0) return 0.0;
            const double within = (target - below) / count;
            return kLowest * std::pow(10.0, (static_cast<double>(bin) + within) / perDecade);
        }
        below += count;
    }
    return kLowest * std::pow(10.0, static_cast<double>(counts.size()) / perDecade);
}

}  // namespace

uint16_t LogHistogram::Bin(double magnitude) {
    if (!(magnitude > kLowest)) return 0;
    const double position = (FastLog2(magnitude) - kLog2Lowest) * kBinsPerOctave;
    return static_cast<uint16_t>(
        position < static_cast<double>(kBins - 1) ? static_cast<size_t>(position) : kBins - 1);
}

void LogHistogram::AddBin(uint16_t bin) {
    // Allocated on first use: hiss breaks into many stretches that never reach a reading.
    if (counts_.empty()) counts_.assign(kBins, 0);
    ++counts_[bin];
    ++total_;
}

double LogHistogram::Quantile(double fraction) const {
    return HistogramQuantile(counts_, total_, kPerDecade, fraction);
}

WindowDetector::WindowDetector(size_t length)
    : ring_(std::max<size_t>(1, length), Entry{kNone, kNone, 0.0f}),
      weighted_(kCoarseBins, 0),
      unweighted_(kCoarseBins, 0) {}

void WindowDetector::Push(uint16_t weightedBin, uint16_t unweightedBin, double weightedSquare) {
    Store(static_cast<uint16_t>(weightedBin / kCoarsening),
          static_cast<uint16_t>(unweightedBin / kCoarsening), static_cast<float>(weightedSquare));
}

void WindowDetector::Skip() {
    Store(kNone, kNone, 0.0f);
}

void WindowDetector::Store(uint16_t weighted, uint16_t unweighted, float square) {
    Entry& slot = ring_[next_];
    if (slot.weighted != kNone) {
        --weighted_[slot.weighted];
        --unweighted_[slot.unweighted];
        squares_ -= static_cast<double>(slot.square);
        --counted_;
    }
    slot = {weighted, unweighted, square};
    if (weighted != kNone) {
        ++weighted_[weighted];
        ++unweighted_[unweighted];
        squares_ += static_cast<double>(square);
        ++counted_;
    }
    next_ = next_ + 1 == ring_.size() ? 0 : next_ + 1;
    ++taken_;
}

void WindowDetector::Clear() {
    std::fill(ring_.begin(), ring_.end(), Entry{kNone, kNone, 0.0f});
    std::fill(weighted_.begin(), weighted_.end(), 0u);
    std::fill(unweighted_.begin(), unweighted_.end(), 0u);
    next_ = 0;
    taken_ = counted_ = 0;
    squares_ = 0.0;
}

double WindowDetector::Quantile(const std::vector<unsigned>& counts) const {
    return HistogramQuantile(counts, counted_, kPerDecade / static_cast<double>(kCoarsening),
                             1.0 - kTwoSigmaExceeded);
}

double WindowDetector::WeightedTwoSigma() const {
    return Quantile(weighted_);
}

double WindowDetector::UnweightedTwoSigma() const {
    return Quantile(unweighted_);
}

double WindowDetector::WeightedRms() const {
    return counted_ == 0 ? 0.0 : std::sqrt(std::max(0.0, squares_) / static_cast<double>(counted_));
}

}  // namespace wobblemeter
