// The weighting filter and the flat band of a stretch of tone, designed in weighting.cpp and
// flat_band.cpp.
#include "meter/engine/deviation_filters.h"

#include "meter/dsp/flat_band.h"
#include "meter/dsp/weighting.h"

namespace wobblemeter {

DeviationFilters::DeviationFilters(double sampleRate)
    : weighting_(MakeWeightingFilter(sampleRate)), flatBand_(MakeFlatBandFilter(sampleRate)) {}

}  // namespace wobblemeter
