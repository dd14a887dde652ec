// The weighting filter: a twelfth-order analog prototype, fitted to the tabulated curve
// (meter/tools/fit_weighting.cpp), taken to the baseband rate by the bilinear transform.
// The fit is minimax at the table's points from 0.2 to 200 Hz over both the analog prototype
// and its digital form at 4000 Hz, the lowest baseband rate, where the transform's frequency
// warping is largest (0.8 % at 200 Hz); every rate in between lies between the two. Worst
// deviation from the table at those points: 0.035 dB (0.4 %) at every rate. Between the
// points the curve is smooth: it departs from straight lines in dB against log frequency by
// at most 0.34 dB, where those lines bend (their kinks are the table's, not the curve's).
#include "meter/dsp/weighting.h"

#include <cmath>
#include <complex>

namespace wobblemeter {

const WeightingPoint kWeightingTable[17] = {
    {0.1, -48.0}, {0.2, -30.6},  {0.315, -19.7}, {0.4, -15.0},   {0.63, -8.4},  {0.8, -6.0},
    {1.0, -4.2},  {1.6, -1.8},   {2.0, -0.9},    {4.0, 0.0},     {6.3, -0.9},   {10.0, -2.1},
    {20.0, -5.9}, {40.0, -10.4}, {63.0, -14.2},  {100.0, -17.3}, {200.0, -23.0}};

namespace {

// The fitted prototype: s^3 times four quadratics over six, in six sections; each quadratic
// s^2 + b s + c (s in Hz units) is written {1, b, c}. The high-pass below 1 Hz comes from the
// first three sections, the fall above 10 Hz from the last; the two in between are gentle
// correction pairs (pole and zero pairs close together near 8 Hz and 63 Hz) that bend the
// curve onto the table. The coefficients are the fit's output, in full.
constexpr AnalogQuadratic kSections[6][2] = {
    {{1.0, 0.0, 0.0}, {1.0, 0.43000173382213791, 0.11800944952003907}},
    {{0.0, 1.0, 0.0}, {1.0, 1.0845898803244061, 0.5535153822715676}},
    {{1.0, 1.1204414063932002, 0.23542065073270391},
     {1.0, 2.8162851222175327, 0.33495536400838988}},
    {{1.0, 5.6308752091874998, 64.843391948420106}, {1.0, 5.7780217386869399, 69.263294931168232}},
    {{1.0, 38.94994944559668, 3978.5961792723092}, {1.0, 42.493324951964055, 3997.1226550187735}},
    {{1.0, 17.046465334231929, 4.6976364654387757}, {1.0, 34.712871495437213, 151.95792519860274}},
};

std::complex<double> Evaluate(const AnalogQuadratic& q, std::complex<double> s) {
    return (q.c2 * s + q.c1) * s + q.c0;
}

std::complex<double> AnalogResponse(double hz) {
    const std::complex<double> s(0.0, hz);
    std::complex<double> h = 1.0;
    for (const auto& section : kSections) h *= Evaluate(section[0], s) / Evaluate(section[1], s);
    return h;
}

}  // namespace

double AnalogWeightingDb(double hz) {
    return 20.0 * std::log10(std::abs(AnalogResponse(hz)) / std::abs(AnalogResponse(4.0)));
}

BiquadCascade MakeWeightingFilter(double sampleRate) {
    BiquadCascade filter;
    for (const auto& section : kSections) filter.Add(Biquad(section[0], section[1], sampleRate));
    filter.Normalize(4.0, sampleRate);
    return filter;
}

}  // namespace wobblemeter
