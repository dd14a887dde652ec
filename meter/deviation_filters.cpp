// The weighting and band-limit filters of a stretch of tone, designed in weighting.cpp.
#include "meter/deviation_filters.h"

#include "meter/weighting.h"

namespace wobblemeter {

DeviationFilters::DeviationFilters(double sampleRate)
    : weighting_(MakeWeightingFilter(sampleRate)), bandLimit_(MakeBandLimitFilter(sampleRate)) {}

}  // namespace wobblemeter
