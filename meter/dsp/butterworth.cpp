// Butterworth sections: the pole pairs of the normalised prototype lie on the unit circle at
// (2k - 1) pi / 2n from the imaginary axis, k = 1 ... n / 2, each giving s^2 + 2 sin(angle) s + 1.
#include "meter/dsp/butterworth.h"

#include <cmath>
#include <numbers>

namespace wobblemeter {

namespace {

BiquadCascade Butterworth(int order, double hz, double sampleRate, bool highPass) {
    // The analog corner that the bilinear transform maps to hz.
    const double corner =
        sampleRate / std::numbers::pi * std::tan(std::numbers::pi * hz / sampleRate);
    BiquadCascade filter;
    for (int k = 1; k <= order / 2; ++k) {
        const double damping =
            2.0 * std::sin((2.0 * k - 1.0) * std::numbers::pi / (2.0 * order)) * corner;
        const AnalogQuadratic denominator{1.0, damping, corner * corner};
        filter.Add(Biquad(
            highPass ? AnalogQuadratic{1.0, 0.0, 0.0} : AnalogQuadratic{0.0, 0.0, corner * corner},
            denominator, sampleRate));
    }
    return filter;
}

}  // namespace

BiquadCascade ButterworthLowPass(int order, double hz, double sampleRate) {
    return Butterworth(order, hz, sampleRate, false);
}

BiquadCascade ButterworthHighPass(int order, double hz, double sampleRate) {
    return Butterworth(order, hz, sampleRate, true);
}

}  // namespace wobblemeter
