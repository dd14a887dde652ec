// Weighting and band limit. Takes: the demodulated frequency offset, sample by sample, in Hz.
// Gives: the weighted deviation (the standard curve, 0 dB at 4 Hz) and the unweighted one
// (band-limited), both starting in the steady state of the first offset.
#pragma once

#include "meter/dsp.h"

namespace wobblemeter {

struct Deviation {
    double weighted;
    double unweighted;
};

class DeviationFilters {
public:
    explicit DeviationFilters(double sampleRate);
    Deviation Process(double offsetHz) {
        if (first_) {
            weighting_.Settle(offsetHz);
            bandLimit_.Settle(offsetHz);
            first_ = false;
        }
        return {weighting_.Process(offsetHz), bandLimit_.Process(offsetHz)};
    }

private:
    BiquadCascade weighting_, bandLimit_;
    bool first_ = true;
};

}  // namespace wobblemeter
