// Drift: the slow change of speed, below 0.5 Hz, that the weighting hides. Takes: the deviation
// as an offset from the mixing frequency (Hz, the mean speed included) at the baseband rate,
// sample by sample. Gives: the slow offset now (Hz) and its range over the span and over the
// current interval, as Hz or % of the carrier.
#pragma once

#include <cstddef>

#include "meter/dsp/dsp.h"
#include "meter/dsp/span_stats.h"

namespace wobblemeter {

// Upper edge of the drift band, Hz (-3 dB).
constexpr double kDriftHz = 0.5;
// Time from the filter's start before its readings count, s: longer than the weighting's 3 s.
// The low-pass's memory (0.83 s) keeps what its start did not know: 10 % of wow at 4 Hz started
// at any phase leaves 0.034 % of apparent drift (peak-to-peak) after 3 s, 0.0055 % after 6 s,
// little more than the 0.0049 % that passes the filter's stopband for good.
constexpr double kDriftSettleSeconds = 6.0;

class DriftMeter {
public:
    explicit DriftMeter(double sampleRate);

    // Starts the filter as though offset had lasted for ever: the mean offset expected (0 when
    // mixing at the carrier's mean frequency), not the first sample, which a wide wow may carry
    // far from it.
    void Settle(double offset) { lowPass_.Settle(offset); }
    // One sample; counted: whether it enters the readings (not in the first
    // kDriftSettleSeconds, nor on a bridged drop-out).
    void Push(double offset, bool counted);
    void Push(const double* offset, size_t n, bool counted) {
        for (size_t i = 0; i < n; ++i) Push(offset[i], counted);
    }

    // The slow offset now, Hz: for a live display or a per-second log.
    double Current() const { return current_; }
    // Its range over the counted samples (and over the current interval), Hz.
    const SpanRange& Slow() const { return slow_; }
    void RestartInterval() { slow_.RestartInterval(); }
    // Peak-to-peak drift in % of the carrier's mean frequency.
    double PeakToPeakPercent(double carrierHz) const { return 100.0 * slow_.Spread() / carrierHz; }

private:
    BiquadCascade lowPass_;
    double current_ = 0.0;
    SpanRange slow_;
};

// The speed error's range over the span, % of nominal: where the slow offset, added to the
// mixing frequency, stood lowest and highest. Both 0 when nothing was counted.
struct SpeedErrorRange {
    double lowPercent, highPercent;
};
SpeedErrorRange SpeedErrorRangeOf(const DriftMeter& drift, double mixHz, double nominalHz);

}  // namespace wobblemeter
