// The weighting filter. The weighting is a sixth-order analog prototype whose
// poles and zeros were fitted by least squares to the tabulated curve (meter/tools/
// fit_weighting.cpp); its worst deviation from the table between 0.4 and 100 Hz is 0.19 dB,
// that of the digital filter 0.21 dB (at the lowest baseband rate, 4 kHz).
#include "meter/dsp/weighting.h"

#include <cmath>
#include <complex>

namespace wobblemeter {

const WeightingPoint kWeightingTable[17] = {
    {0.1, -48.0}, {0.2, -30.6},  {0.315, -19.7}, {0.4, -15.0},   {0.63, -8.4},  {0.8, -6.0},
    {1.0, -4.2},  {1.6, -1.8},   {2.0, -0.9},    {4.0, 0.0},     {6.3, -0.9},   {10.0, -2.1},
    {20.0, -5.9}, {40.0, -10.4}, {63.0, -14.2},  {100.0, -17.3}, {200.0, -23.0}};

namespace {

// The fitted prototype, corners in Hz:
//   s^2 / (s^2 + s w/Q + w^2) * s (s + z1) / ((s + a) (s + p1)) * (s + z2) / ((s + p2) (s + p3))
// a third-order high-pass below 1 Hz, a peak near 4 Hz and a first-order fall above.
constexpr double kW = 0.436532311;
constexpr double kQ = 0.6713726316;
constexpr double kA = 1.625824745;
constexpr double kZ1 = 11.35148946;
constexpr double kP1 = 6.637941564;
constexpr double kP2 = 154.1544573;
constexpr double kZ2 = 118.5064979;
constexpr double kP3 = 17.20299719;

constexpr AnalogQuadratic kSections[3][2] = {
    {{1.0, 0.0, 0.0}, {1.0, kW / kQ, kW* kW}},
    {{1.0, kZ1, 0.0}, {1.0, kA + kP1, kA* kP1}},
    {{0.0, 1.0, kZ2}, {1.0, kP2 + kP3, kP2* kP3}},
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
