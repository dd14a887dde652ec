// The wow-and-flutter weighting curve (0 dB at 4 Hz), as a digital filter. Takes: the
// demodulated frequency (Hz, or any unit) at the baseband rate, 4000 Hz or more. Gives: it
// weighted, in the same unit.
#pragma once

#include "meter/dsp/dsp.h"

namespace wobblemeter {

// One point of the weighting table: frequency in Hz, gain in dB relative to 4 Hz.
struct WeightingPoint {
    double hz;
    double db;
};

// The tabulated weighting curve, 0.1 Hz to 200 Hz.
extern const WeightingPoint kWeightingTable[17];

// Gain of the analog prototype the digital weighting is made from, in dB relative to 4 Hz.
double AnalogWeightingDb(double hz);

// Weighting filter for a stream at sampleRate (at least 4000 Hz), normalised to 1 at 4 Hz.
BiquadCascade MakeWeightingFilter(double sampleRate);

}  // namespace wobblemeter
