// Drift. The slow part is a fourth-order Butterworth low-pass at 0.5 Hz: flat below (a speed
// change over 2 s or more passes whole), -24 dB at 1 Hz, -72 dB at 4 Hz, so 1 % of wow at 4 Hz
// leaves under 0.0003 % on it. Its step response overshoots by 11 %, which a speed step shows
// as such; its slowest poles decay with a time constant of 0.83 s.
#include "meter/engine/drift.h"

#include "meter/dsp/butterworth.h"

namespace wobblemeter {

namespace {

constexpr int kOrder = 4;

}  // namespace

DriftMeter::DriftMeter(double sampleRate)
    : lowPass_(ButterworthLowPass(kOrder, kDriftHz, sampleRate)) {}

void DriftMeter::Push(double offset, bool counted) {
    current_ = lowPass_.Process(offset);
    if (counted) slow_.Add(current_);
}

SpeedErrorRange SpeedErrorRangeOf(const DriftMeter& drift, double mixHz, double nominalHz) {
    const SpanRange& slow = drift.Slow();
    if (slow.Empty()) return {0.0, 0.0};
    return {100.0 * (mixHz + slow.Low() - nominalHz) / nominalHz,
            100.0 * (mixHz + slow.High() - nominalHz) / nominalHz};
}

}  // namespace wobblemeter
