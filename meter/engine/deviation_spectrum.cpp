// Streaming Welch spectrum of the deviation and its lines.
#include "meter/engine/deviation_spectrum.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace wobblemeter {

namespace {

// Length of the spectrum's segments, s: bins of 1/40 Hz with the zero padding.
constexpr double kSegmentSeconds = 20.0;
// The spectrum reported, and searched for lines, Hz. A line at 200 Hz may peak in a bin a
// little above it (which the spectrum's decimation keeps whole to 210 Hz): lines are kept up to
// kHighestLineHz.
constexpr double kLowestHz = 0.1;
constexpr double kHighestHz = 200.0;
constexpr double kHighestLineHz = 200.5;
// Lines reported, at most, and the smallest one relative to the largest.
constexpr size_t kMaxLines = 5;
constexpr double kMinLineShare = 0.01;
// A line's side lobes (within 8 bins: 4 of the unpadded segment), or lines within a tenth of
// its frequency, are not lines of their own.
constexpr double kSideLobeBins = 8.0;
constexpr double kNearShare = 0.1;
// A largest line under this, in percent of the carrier, or under this many times the
// spectrum's median is no modulation.
constexpr double kMinLinePercent = 1e-4;
constexpr double kMinLineOverMedian = 3.0;

// Peak amplitude from the summed power of `segments` Hann-windowed segments of n values,
// transformed at size points; returns the bins' spacing in Hz.
double ToAmplitude(const std::vector<double>& sum, int segments, size_t n, size_t size, double rate,
                   std::vector<double>& amplitude) {
    // Sum of the Hann window: a line of amplitude a shows as a * windowSum / 2.
    const double windowSum = static_cast<double>(n) / 2.0;
    amplitude.resize(sum.size());
    for (size_t k = 0; k < sum.size(); ++k)
        amplitude[k] = 2.0 * std::sqrt(sum[k] / std::max(1, segments)) / windowSum;
    return rate / static_cast<double>(size);
}

}  // namespace

SpectrumReading ReadSpectrum(double binHz, const std::vector<double>& amplitude, double mixHz) {
    SpectrumReading r;
    std::vector<size_t> peaks;
    for (size_t k = 1; k + 1 < amplitude.size(); ++k) {
        const double hz = static_cast<double>(k) * binHz;
        if (hz < kLowestHz || hz > kHighestLineHz + binHz) continue;
        if (hz <= kHighestHz) {
            r.hz.push_back(hz);
            r.amplitude.push_back(amplitude[k]);
        }
        // A peak interpolates to within half a bin of its own.
        if (amplitude[k] > amplitude[k - 1] && amplitude[k] >= amplitude[k + 1] &&
            hz <= kHighestLineHz + 0.5 * binHz)
            peaks.push_back(k);
    }
    std::sort(peaks.begin(), peaks.end(),
              [&](size_t a, size_t b) { return amplitude[a] > amplitude[b]; });
    for (size_t k : peaks) {
        if (r.lines.size() == kMaxLines || amplitude[k] < kMinLineShare * amplitude[peaks.front()])
            break;
        // The peak's power and its neighbours', as PeakOffset() reads them.
        const std::vector<double> power = {0.0, amplitude[k - 1] * amplitude[k - 1],
                                           amplitude[k] * amplitude[k],
                                           amplitude[k + 1] * amplitude[k + 1], 0.0};
        const double offset = PeakOffset(power, 2);
        const double lineHz = (static_cast<double>(k) + offset) * binHz;
        const double lineAmplitude = amplitude[k] * std::sqrt(PeakGain(power, 2, offset));
        if (lineHz > kHighestLineHz) continue;
        bool near = false;
        for (const SpectrumLine& line : r.lines) {
            near = near || std::fabs(line.hz - lineHz) <
                               std::max(kNearShare * line.hz, kSideLobeBins * binHz);
        }
        if (!near) r.lines.push_back({lineHz, lineAmplitude});
    }
    // A largest line below the floor is the demodulator's own noise, no modulation.
    if (!r.amplitude.empty()) {
        std::vector<double> sorted = r.amplitude;
        const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
        std::nth_element(sorted.begin(), middle, sorted.end());
        const double floorHz =
            std::max(kMinLinePercent / 100.0 * mixHz, kMinLineOverMedian * *middle);
        if (!r.lines.empty() && r.lines.front().percent < floorHz) r.lines.clear();
    }
    r.modulationHz =
        r.lines.empty() ? std::numeric_limits<double>::quiet_NaN() : r.lines.front().hz;
    return r;
}

double SegmentSpectrum(const float* x, size_t n, double rate,
                       std::unique_ptr<PowerSpectrum>& transform, std::vector<double>& amplitude) {
    const size_t size = 2 * NextPowerOfTwo(n);
    if (!transform || transform->Size() != size) transform = std::make_unique<PowerSpectrum>(size);
    return ToAmplitude((*transform)(x, n, true), 1, n, size, rate, amplitude);
}

DeviationSpectrum::DeviationSpectrum(double rate)
    : rate_(rate), segment_(NextPowerOfTwo(static_cast<size_t>(kSegmentSeconds * rate))) {}

void DeviationSpectrum::Push(float value) {
    if (held_.capacity() == 0) held_.reserve(segment_);
    held_.push_back(value);
    ++count_;
    if (held_.size() == segment_) AddSegment();
}

void DeviationSpectrum::AddSegment() {
    const size_t size = 2 * segment_;
    if (!spectrum_) spectrum_ = std::make_unique<PowerSpectrum>(size);
    const std::vector<double>& p = (*spectrum_)(held_.data(), segment_, true);
    if (sum_.empty()) sum_.assign(p.size(), 0.0);
    for (size_t k = 0; k < sum_.size(); ++k) sum_[k] += p[k];
    ++segments_;
    // Half-overlapping segments: the second half starts the next one.
    const size_t hop = std::max<size_t>(1, segment_ / 2);
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(hop));
}

double DeviationSpectrum::Read(std::vector<double>& amplitude) const {
    if (segments_ == 0) {
        // Shorter than a segment: the whole span is the one segment.
        std::unique_ptr<PowerSpectrum> transform;
        return SegmentSpectrum(held_.data(), held_.size(), rate_, transform, amplitude);
    }
    return ToAmplitude(sum_, segments_, segment_, 2 * segment_, rate_, amplitude);
}

}  // namespace wobblemeter
