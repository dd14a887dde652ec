// The Butterworth design: -3 dB at the corner at any rate (prewarped), the maximally flat
// magnitude 1 / sqrt(1 + (f / fc)^2n) on the prewarped axis, the phase its poles give at the
// corner, and low- and high-pass power complementary.
#include "meter/dsp/butterworth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

namespace wobblemeter {
namespace {

constexpr double kRate = 4000.0;

double Gain(const BiquadCascade& f, double hz) {
    return std::abs(f.Response(hz, kRate));
}

TEST(Butterworth, MagnitudeIsMaximallyFlatOnThePrewarpedAxis) {
    // |L| = 1 / sqrt(1 + r^2n), r = tan(pi f / rate) / tan(pi fc / rate): literals for fc 4 Hz.
    // A corner a thousandth of the rate costs the sections' arithmetic some 1e-11.
    const BiquadCascade low4 = ButterworthLowPass(4, 4.0, kRate);
    EXPECT_NEAR(Gain(low4, 4.0), std::sqrt(0.5), 1e-10);
    EXPECT_NEAR(Gain(low4, 1.0), 0.9999923709, 1e-9);
    EXPECT_NEAR(Gain(low4, 2.0), 0.9980526168, 1e-9);
    EXPECT_NEAR(Gain(low4, 8.0), 0.06237583316, 1e-10);  // analog, unwarped: 0.0623783
    EXPECT_NEAR(Gain(low4, 16.0), 0.003905449199, 1e-11);
    EXPECT_NEAR(Gain(low4, 0.0), 1.0, 1e-10);
    EXPECT_NEAR(Gain(low4, 1000.0), 9.74103729e-11, 1e-13);
    const BiquadCascade low2 = ButterworthLowPass(2, 4.0, kRate);
    EXPECT_NEAR(Gain(low2, 8.0), 0.2425311192, 1e-9);
    const BiquadCascade low6 = ButterworthLowPass(6, 100.0, kRate);
    EXPECT_NEAR(Gain(low6, 100.0), std::sqrt(0.5), 1e-10);
    EXPECT_NEAR(Gain(low6, 200.0), 0.01505152905, 1e-10);
    const BiquadCascade high4 = ButterworthHighPass(4, 4.0, kRate);
    EXPECT_NEAR(Gain(high4, 4.0), std::sqrt(0.5), 1e-10);
    EXPECT_NEAR(Gain(high4, 2.0), 0.0623776729, 1e-10);
    EXPECT_NEAR(Gain(high4, 8.0), 0.9980527318, 1e-9);
    EXPECT_NEAR(Gain(high4, 0.0), 0.0, 1e-10);
}

TEST(Butterworth, PolesTurnThePhaseByAnEighthOfATurnEachAtTheCorner) {
    // n poles at the corner: the low-pass lags n pi / 4 there, the high-pass leads as much.
    const double pi = std::numbers::pi;
    const auto phase = [](const BiquadCascade& f, double hz) {
        return std::arg(f.Response(hz, kRate));
    };
    EXPECT_NEAR(phase(ButterworthLowPass(2, 4.0, kRate), 4.0), -pi / 2.0, 1e-9);
    EXPECT_NEAR(std::cos(phase(ButterworthLowPass(4, 4.0, kRate), 4.0)), -1.0, 1e-12);
    EXPECT_NEAR(phase(ButterworthLowPass(6, 4.0, kRate), 4.0), pi / 2.0, 1e-9);  // -3 pi / 2
    EXPECT_NEAR(phase(ButterworthHighPass(2, 4.0, kRate), 4.0), pi / 2.0, 1e-9);
}

TEST(Butterworth, LowAndHighPassArePowerComplementary) {
    for (int order : {2, 4, 6}) {
        const BiquadCascade low = ButterworthLowPass(order, 4.0, kRate);
        const BiquadCascade high = ButterworthHighPass(order, 4.0, kRate);
        for (double hz : {0.1, 0.5, 1.0, 3.0, 4.0, 5.0, 10.0, 50.0, 400.0}) {
            const double sum =
                std::norm(low.Response(hz, kRate)) + std::norm(high.Response(hz, kRate));
            EXPECT_NEAR(sum, 1.0, 1e-9) << order << " at " << hz;
        }
    }
}

TEST(Butterworth, FilterStreamsAsItsResponseSays) {
    // A 8 Hz sine through the fourth-order low-pass at 4 Hz comes out at 0.0624 of its size.
    BiquadCascade low = ButterworthLowPass(4, 4.0, kRate);
    double peak = 0.0;
    for (int n = 0; n < 8 * 4000; ++n) {
        const double y = low.Process(std::sin(2.0 * std::numbers::pi * 8.0 * n / kRate));
        if (n >= 4 * 4000) peak = std::max(peak, std::fabs(y));
    }
    EXPECT_NEAR(peak, 0.06237583316, 1e-5);
}

}  // namespace
}  // namespace wobblemeter
