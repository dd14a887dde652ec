// The flat unweighted band and the spectrum's decimation filter.
//
// Why recursive sections: the band's low edge lies at 0.2 Hz, 1/20000 to 1/40000 of the
// baseband rate. A linear-phase FIR with a transition from 0.1 to 0.2 Hz and 40 dB needs 22 s
// of taps (11000 even at a rate decimated to 500 Hz: 3 million products a second with
// symmetric taps, besides the decimation and interpolation around it), and as long to settle
// and to answer. Five biquads cost 25 products per sample (0.2 million a second at 8 kHz, some
// 45 us of one core per second of 44.1 kHz audio: bench/stages_bench.cpp) and settle within
// the meter's 3 s: the slowest pole pair decays with a time constant of 3.9 s, but a sinusoid
// from 0.2 Hz up started at any phase, with the filter settled at the deviation's mean, reads
// its two-sigma over the next 27 s within 0.4 % of its steady value. Settled at the first
// sample instead, the step from it to the mean reads up to 2.2 % high (at 0.3 Hz): settle at
// the mean. Phase is not linear, which no reading here needs: two-sigma, RMS and peak readings
// of a sinusoid do not depend on it, and the old analog meters' bands were recursive too.
//
// High-pass: Chebyshev type I, fourth order, 0.04 dB ripple, ripple band from 0.2 Hz up.
// Low-pass: elliptic (Cauer), sixth order, 0.04 dB ripple up to 200 Hz, 60 dB stopband.
// Both edges are prewarped for the bilinear transform, so they sit at 0.2 and 200 Hz at every
// rate. Response, normalised to 1 at 4 Hz (from 4000 to 7999 Hz; the figures that move with
// the rate are given for both ends):
//   0.2 ... 200 Hz   within -0.03 % ... +0.44 %
//   low edge         -3 dB at 0.1535 Hz, -20 dB at 0.0985 Hz, -40 dB at 0.0579 Hz, -60 dB at
//                    0.0330 Hz (24 dB per octave further down)
//   high edge        -3 dB at 219.4 ... 219.6 Hz, -20 dB at 255 ... 256 Hz, -40 dB at
//                    297 ... 299 Hz, 60 dB or more down from 324 ... 328 Hz to half the rate
// The demodulator's own response (the phase step over one sample averages the frequency over
// that sample) adds a droop of -0.41 % at 200 Hz at 4000 Hz, -0.10 % at 8000 Hz.
#include "meter/dsp/flat_band.h"

#include <cmath>
#include <numbers>

namespace wobblemeter {

namespace {

constexpr double kHighPassRippleDb = 0.04;
constexpr int kHighPassOrder = 4;

// The sixth-order elliptic low-pass prototype with 0.04 dB ripple and 60 dB stopband, edge of
// the ripple band at 1: per section sigma and squared magnitude of a pole pair
// (s^2 + 2 sigma s + |p|^2) and the squared frequency of its zero pair (s^2 + z^2). Poles from
// the standard design by Jacobi elliptic functions; each pole pair goes with the zero pair
// nearest to it.
struct EllipticSection {
    double sigma, poleSquared, zeroSquared;
};
constexpr EllipticSection kEllipticPrototype[] = {
    {0.56981473878507727, 0.45080497856388613, 32.733049971142528},
    {0.33619864110011927, 0.8643419807581556, 4.8450613286093489},
    {0.10085094523947546, 1.1671193074256583, 2.8543275675237192},
};

// The spectrum's copy of the deviation: flat edge in Hz and stopband.
constexpr double kSpectrumPassHz = 210.0;
// Asked of the design so that the window method's approximation gives at least 90 dB.
constexpr double kSpectrumStopDb = 92.0;

// The analog frequency, Hz, that the bilinear transform at sampleRate maps to hz.
double Prewarp(double hz, double sampleRate) {
    return sampleRate / std::numbers::pi * std::tan(std::numbers::pi * hz / sampleRate);
}

}  // namespace

BiquadCascade MakeFlatBandFilter(double sampleRate) {
    BiquadCascade filter;
    // Chebyshev low-pass prototype poles, edge 1: -sinh(a) sin(t) +- j cosh(a) cos(t) with
    // t = (2k - 1) pi / 2n; s -> edge / s turns each pair into a high-pass section.
    const double epsilon = std::sqrt(std::pow(10.0, kHighPassRippleDb / 10.0) - 1.0);
    const double a = std::asinh(1.0 / epsilon) / kHighPassOrder;
    const double low = Prewarp(kFlatBandLowHz, sampleRate);
    for (int k = 1; k <= kHighPassOrder / 2; ++k) {
        const double t = (2.0 * k - 1.0) * std::numbers::pi / (2.0 * kHighPassOrder);
        const double sigma = std::sinh(a) * std::sin(t);
        const double omega = std::cosh(a) * std::cos(t);
        const double squared = sigma * sigma + omega * omega;
        filter.Add(Biquad({1.0, 0.0, 0.0}, {1.0, 2.0 * sigma / squared * low, low * low / squared},
                          sampleRate));
    }
    const double high = Prewarp(kFlatBandHighHz, sampleRate);
    for (const EllipticSection& s : kEllipticPrototype) {
        filter.Add(Biquad({1.0, 0.0, s.zeroSquared * high * high},
                          {1.0, 2.0 * s.sigma * high, s.poleSquared * high * high}, sampleRate));
    }
    filter.Normalize(4.0, sampleRate);
    return filter;
}

SpectrumDecimation DesignSpectrumDecimation(double baseband) {
    const double rate = baseband / kSpectrumDecimationFactor;
    return {DesignLowPass(kSpectrumPassHz / baseband, (rate - kSpectrumPassHz) / baseband,
                          kSpectrumStopDb),
            kSpectrumDecimationFactor, rate, kSpectrumPassHz};
}

}  // namespace wobblemeter
