// The flat unweighted band of the demodulated frequency (0.2 ... 200 Hz, flat within 1 %), and
// the low-pass that decimates the deviation for its spectrum without touching a line at 200 Hz.
// Both filter the deviation (Hz, or any unit) at the baseband rate, 4000 ... 8000 Hz.
#pragma once

#include <vector>

#include "meter/dsp/dsp.h"

namespace wobblemeter {

// Edges of the flat band, Hz: the response stays within 1 % of its value at 4 Hz from
// kFlatBandLowHz to kFlatBandHighHz at every baseband rate (4000 ... 8000 Hz).
constexpr double kFlatBandLowHz = 0.2;
constexpr double kFlatBandHighHz = 200.0;

// The flat band as a filter for the deviation at sampleRate (4000 Hz or more), 1 at 4 Hz:
// a fourth-order Chebyshev high-pass and a sixth-order elliptic low-pass, five biquads. Start
// it with Settle() at the deviation's expected mean, i.e. 0 for an offset from the carrier's
// mean frequency: its slow high-pass then starts without a step. See flat_band.cpp for the
// edges.
BiquadCascade MakeFlatBandFilter(double sampleRate);

// The deviation's copy for its spectrum keeps every this-many-th sample of the baseband.
constexpr int kSpectrumDecimationFactor = 8;

// The deviation's copy for its spectrum: taps of the low-pass that keeps everything up to
// passHz flat (within 1e-4) and rejects by 90 dB what would fold onto it when every factor-th
// sample is kept, and the rate after decimation.
struct SpectrumDecimation {
    std::vector<double> taps;
    int factor;
    double rate;
    double passHz;
};

// The spectrum's decimation from the baseband rate (4000 ... 8000 Hz): by 8, to 500 ... 1000 Hz,
// flat to 210 Hz, so that a line at 200 Hz and its window's main lobe keep their true size.
SpectrumDecimation DesignSpectrumDecimation(double baseband);

}  // namespace wobblemeter
