// The mixer and decimators: the band plan for a rate and carrier, and the complex baseband of
// a tone (its frequency, level and input power), with lost input marked, in blocks of any size.
#include "meter/engine/baseband.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace wobblemeter {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

TEST(BandPlan, HalvesTheRateDownToAFewKilohertzAndStopsBeforeTheImage) {
    const std::optional<BandPlan> plan = PlanBand(44100.0, 3150.0, kDefaultPassHz);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->halvings, 3);
    EXPECT_DOUBLE_EQ(plan->basebandRate, 5512.5);
    EXPECT_DOUBLE_EQ(plan->passHz, 400.0);
    EXPECT_DOUBLE_EQ(plan->stopHz, 1000.0);
    // Halving down to 4000 Hz itself, and no further.
    const std::optional<BandPlan> even = PlanBand(32000.0, 3150.0, kDefaultPassHz);
    ASSERT_TRUE(even);
    EXPECT_EQ(even->halvings, 3);
    EXPECT_DOUBLE_EQ(even->basebandRate, 4000.0);
    // A wide band needs a faster baseband: ten times its half-width.
    const std::optional<BandPlan> wide = PlanBand(96000.0, 10000.0, 1500.0);
    ASSERT_TRUE(wide);
    EXPECT_DOUBLE_EQ(wide->basebandRate, 24000.0);
    // The band reaching half the rate, or the mixing image too close: no plan.
    EXPECT_FALSE(PlanBand(44100.0, 21800.0, 400.0));
    EXPECT_FALSE(PlanBand(44100.0, 21600.0, 400.0));  // the image 900 Hz from 0
    EXPECT_TRUE(PlanBand(44100.0, 21500.0, 400.0));   // 1100 Hz from 0
}

TEST(BandPlan, WidestPassIsTheLargestWholeBandThatPlans) {
    const double widest = WidestPass(44100.0, 3150.0);
    EXPECT_TRUE(PlanBand(44100.0, 3150.0, widest));
    EXPECT_FALSE(PlanBand(44100.0, 3150.0, widest + 1.0));
    EXPECT_GT(widest, kDefaultPassHz);
    EXPECT_EQ(WidestPass(44100.0, 22000.0), 0.0);
}

// A tone of amplitude a at hz, n samples at rate, from sample first on.
std::vector<float> Tone(double rate, double hz, double a, size_t n) {
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(a * std::cos(kTwoPi * hz * static_cast<double>(i) / rate));
    return x;
}

TEST(Baseband, ToneBesideTheMixingFrequencyTurnsAtItsOffsetAtHalfItsAmplitude) {
    const double rate = 44100.0;
    const BandPlan plan = *PlanBand(rate, 3150.0, kDefaultPassHz);
    Baseband b(rate, 3150.0, plan);
    EXPECT_EQ(b.Decimation(), 8);
    const std::vector<float> x = Tone(rate, 3250.0, 0.8, 44100);
    std::vector<std::complex<double>> z;
    std::vector<double> power;
    // Blocks of odd sizes: the oscillator and the filters carry on across them.
    for (size_t first = 0; first < x.size(); first += 1237) {
        const size_t n = std::min<size_t>(1237, x.size() - first);
        b.Push(x.data() + first, n, false);
        ASSERT_EQ(b.Samples().size(), 2 * b.Size());
        for (size_t i = 0; i < b.Size(); ++i) {
            z.emplace_back(b.Samples()[2 * i], b.Samples()[2 * i + 1]);
            power.push_back(b.Power()[i]);
            EXPECT_EQ(b.Lost()[i], 0);
        }
    }
    ASSERT_EQ(z.size(), 44100u / 8u);
    const auto warm = static_cast<size_t>(b.Warm());
    ASSERT_LT(warm, z.size() / 4);
    double powerSum = 0.0, stepSum = 0.0;
    for (size_t i = warm; i < z.size(); ++i) {
        ASSERT_NEAR(std::abs(z[i]), 0.4, 1e-4) << i;
        // +100 Hz: a step of 100 / 5512.5 of a turn each sample, give or take the jitter of
        // what remains of the image at 6400 Hz, 110 dB down.
        const double step = std::arg(z[i] * std::conj(z[i - 1])) / kTwoPi * plan.basebandRate;
        ASSERT_NEAR(step, 100.0, 0.01) << i;
        stepSum += step;
        powerSum += power[i];
    }
    EXPECT_NEAR(stepSum / static_cast<double>(z.size() - warm), 100.0, 1e-5);
    // The input's mean square: 0.8^2 / 2.
    EXPECT_NEAR(powerSum / static_cast<double>(z.size() - warm), 0.32, 1e-4);
}

TEST(Baseband, RejectsWhatLiesBeyondTheStopband) {
    // 3150 - 1200 Hz: beyond the stopband of 1000 Hz, 110 dB down.
    const double rate = 44100.0;
    Baseband b(rate, 3150.0, *PlanBand(rate, 3150.0, kDefaultPassHz));
    const std::vector<float> x = Tone(rate, 1950.0, 1.0, 44100);
    b.Push(x.data(), x.size(), false);
    double largest = 0.0;
    for (size_t i = static_cast<size_t>(b.Warm()); i < b.Size(); ++i)
        largest = std::max(largest, std::hypot(b.Samples()[2 * i], b.Samples()[2 * i + 1]));
    EXPECT_LT(largest, 0.5 * std::pow(10.0, -100.0 / 20.0));
}

TEST(Baseband, LostInputIsMarkedOnTheSamplesWhoseSpanItFallsIn) {
    const double rate = 44100.0;
    Baseband b(rate, 3150.0, *PlanBand(rate, 3150.0, kDefaultPassHz));
    const std::vector<float> x = Tone(rate, 3150.0, 0.5, 20);
    // 20 samples, 14 lost, 20 more: baseband samples of 8 input samples each.
    b.Push(x.data(), 20, false);
    std::vector<int> lost(b.Lost().begin(), b.Lost().end());
    b.Push(nullptr, 14, true);
    lost.insert(lost.end(), b.Lost().begin(), b.Lost().end());
    b.Push(x.data(), 20, false);
    lost.insert(lost.end(), b.Lost().begin(), b.Lost().end());
    // Input 0-7, 8-15 real; 16-23, 24-31 and 32-39 hold lost ones (20 to 33); 40-47 real.
    EXPECT_EQ(lost, (std::vector<int>{0, 0, 1, 1, 1, 0}));
}

}  // namespace
}  // namespace wobblemeter
