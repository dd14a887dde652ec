// The quasi-peak reading of the older standards (DIN 45507, IEC 386, CCIR 409). Takes: the
// weighted deviation (any unit) at the baseband rate. Gives: the needle, the weighted deviation
// peak-to-peak detected with time-response weighting and read as half the peak-to-peak
// (zero-to-peak), and the largest indication over the span, in the input's unit.
#pragma once

#include <cstddef>

#include "meter/dsp/span_stats.h"

namespace wobblemeter {

// Takes the weighted deviation (any unit: the indication is in the same one) at the baseband
// rate, sample by sample or block by block. A steady 4 Hz sinusoid reads its peak; a train of
// unidirectional pulses of the same peak-to-peak, one a second, reads 90 % when they last
// 60 ms, and between pulses of 100 ms the indication falls to 40 %.
class QuasiPeakDetector {
public:
    explicit QuasiPeakDetector(double sampleRate);

    // One sample; counted: whether its indication enters the reading (not while the filters
    // before it settle, nor on a bridged drop-out). The detector itself needs about 1 s from
    // its start (or after a drop-out's bridge) before its indication is full.
    void Push(double x, bool counted);
    void Push(const double* x, size_t n, bool counted) {
        for (size_t i = 0; i < n; ++i) Push(x[i], counted);
    }

    // The needle now: the live display.
    double Indication() const { return indication_; }
    // The largest counted indication: the reading; 0 before any. Its interval values serve a
    // per-second log.
    double Reading() const { return readings_.Empty() ? 0.0 : readings_.High(); }
    const SpanRange& Readings() const { return readings_; }
    void RestartInterval() { readings_.RestartInterval(); }

private:
    double charge_, discharge_, lag_;           // per-sample factors of the three time constants
    double positive_ = 0.0, negative_ = 0.0;    // the two peak rectifiers' outputs
    double movement_ = 0.0, indication_ = 0.0;  // the instrument's two lags
    SpanRange readings_;
};

}  // namespace wobblemeter
