// Butterworth low- and high-pass filters of even order. Takes: the order, the corner (Hz) and the
// stream's rate (Hz). Gives: the filter as a biquad cascade at that rate (Process() filters a
// sample).
#pragma once

#include "meter/dsp/dsp.h"

namespace wobblemeter {

// Order 2, 4, 6 ...; -3 dB at hz, which the bilinear transform keeps there (prewarped). A low-
// and a high-pass of the same order and corner are power complementary: |L|^2 + |H|^2 = 1.
BiquadCascade ButterworthLowPass(int order, double hz, double sampleRate);
BiquadCascade ButterworthHighPass(int order, double hz, double sampleRate);

}  // namespace wobblemeter
