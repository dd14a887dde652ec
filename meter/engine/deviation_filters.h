// Weighting and the flat unweighted band. Takes: the demodulated frequency offset, sample by
// sample, in Hz at the baseband rate (4000 Hz or more). Gives: the weighted deviation (the
// standard curve, 0 dB at 4 Hz) and the unweighted one (flat from 0.2 to 200 Hz: flat_band.h),
// in Hz, both started in the steady state of the offset the stretch is expected to hold on
// average.
#pragma once

#include "meter/dsp/dsp.h"

namespace wobblemeter {

struct Deviation {
    double weighted;
    double unweighted;
    // What the stretch's detectors make of the weighted deviation at that sample, for the
    // readings over the window: the quasi-peak needle, and the parts below and above 4 Hz.
    double quasiPeak = 0.0;
    double wow = 0.0, flutter = 0.0;
};

class DeviationFilters {
public:
    explicit DeviationFilters(double sampleRate);
    // Starts both filters as though meanOffsetHz had lasted for ever: the offset the stretch is
    // expected to hold on average (0 when mixing at the carrier's mean frequency). Not the first
    // offset, which a slow wide swing may carry far from the mean: the flat band's slow
    // high-pass would carry that step for seconds (2.2 % high at 0.3 Hz after 3 s).
    void Settle(double meanOffsetHz) {
        weighting_.Settle(meanOffsetHz);
        flatBand_.Settle(meanOffsetHz);
    }
    Deviation Process(double offsetHz) {
        return {weighting_.Process(offsetHz), flatBand_.Process(offsetHz)};
    }

private:
    BiquadCascade weighting_, flatBand_;
};

}  // namespace wobblemeter
