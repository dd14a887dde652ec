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
    {{1.0, 0.0, 0.0}, {1.0, 0.43000502197648099, 0.1180073618364192}},
    {{0.0, 1.0, 0.0}, {1.0, 1.0846220289779644, 0.55352648061069887}},
    {{1.0, 1.1205448033686771, 0.23544324624626822},
     {1.0, 2.8164786662113004, 0.33495936757367473}},
    {{1.0, 5.6312421365865006, 64.845543529033904}, {1.0, 5.7783405490789219, 69.26601206748262}},
    {{1.0, 38.951197860189438, 3978.6514026524919}, {1.0, 42.494766002632112, 3997.1888125724927}},
    {{1.0, 17.045337396888179, 4.6967734991793026}, {1.0, 34.711391130126572, 151.93935186909727}},
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
