// Quasi-peak detector. Two peak rectifiers, one for each sign of the deviation, each charging
// through a time constant of 1 ms whenever the input exceeds it and always discharging towards
// 0 through a slower one; their sum is the peak-to-peak. The indicating instrument is a
// critically damped movement, two equal first-order lags; it shows half the peak-to-peak,
// scaled so that a steady sinusoid at 4 Hz reads its peak. This is the structure of the classic
// quasi-peak meters: the fast charge catches every peak, however short, and the time-response
// weighting comes from the discharge and the movement's inertia.
//
// The charge time constant is chosen, the other two follow from the two time-response points,
// and the scale from the 4 Hz calibration (meter/tools/fit_quasi_peak.cpp, simulated at 96 kHz):
//   pulses of peak-to-peak 2p one a second, relative to the reading p of a 4 Hz sine of peak p:
//   10 ms 84 %, 30 ms 86 %, 60 ms 90 %, 100 ms 94.5 %, 200 ms 104 %, 500 ms 115 %;
//   between 100 ms pulses the indication falls to 40 %; on a steady 4 Hz sine it ripples
//   between 99.46 % and 100 %.
// Each update is the exact response over one sample to an input held for that sample, so the
// points hold at every baseband rate (within 0.05 % from 4000 to 8000 Hz).
//
// The 40 % point fixes the discharge at 0.67 s, so a slow swing sags between its peaks and a
// fast one hardly does: steady sinusoids of peak p read 0.70 p at 0.5 Hz, 0.79 p at 1 Hz,
// 0.90 p at 2 Hz, p at 4 Hz, 1.07 p at 8 Hz, 1.11 p at 20 Hz, 1.13 p from 50 Hz up, on top of
// the weighting. Noise-like weighted flutter reads about 1.65 times its two-sigma over two
// minutes (the largest indication grows slowly with the span).
#include "meter/engine/quasi_peak.h"

#include <cmath>

namespace wobblemeter {

namespace {

constexpr double kChargeSeconds = 0.001;
constexpr double kDischargeSeconds = 0.674770;
// Time constant of each of the instrument's two lags.
constexpr double kInstrumentSeconds = 0.087021;
// Indication of half the peak-to-peak per unit: 1 / (the unscaled reading of a sine of peak 1).
constexpr double kScale = 1.160251;

}  // namespace

QuasiPeakDetector::QuasiPeakDetector(double sampleRate)
    : charge_(1.0 - std::exp(-1.0 / (sampleRate * kChargeSeconds))),
      discharge_(std::exp(-1.0 / (sampleRate * kDischargeSeconds))),
      lag_(1.0 - std::exp(-1.0 / (sampleRate * kInstrumentSeconds))) {}

void QuasiPeakDetector::Push(double x, bool counted) {
    positive_ *= discharge_;
    negative_ *= discharge_;
    if (x > positive_) positive_ += (x - positive_) * charge_;
    if (-x > negative_) negative_ += (-x - negative_) * charge_;
    movement_ += (kScale * 0.5 * (positive_ + negative_) - movement_) * lag_;
    indication_ += (movement_ - indication_) * lag_;
    if (counted) readings_.Add(indication_);
}

}  // namespace wobblemeter
