// The stretch's mean frequency: over whole periods of the dominant modulation (a least-squares
// fit where values are missing), Hann-weighted without one, in bounded memory.
#include "meter/engine/mean_carrier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace wobblemeter {
namespace {

constexpr double kNoModulation = std::numeric_limits<double>::quiet_NaN();

// 3 Hz of offset and a swing of 40 Hz at swingHz, at rate values a second.
float Swing(int i, double rate, double swingHz) {
    return static_cast<float>(3.0 + 40.0 * std::sin(2.0 * std::numbers::pi * swingHz * i / rate));
}

TEST(MeanCarrier, MeansOverTheWholePeriodsOfTheModulationOnly) {
    // 10.5 periods of a 1 Hz swing: the half period left over would pull a plain mean 1.2 Hz up.
    const double rate = 100.0;
    MeanCarrier mean(rate);
    for (int i = 0; i < 1050; ++i) mean.Push(Swing(i, rate, 1.0), true);
    EXPECT_EQ(mean.Count(), 1050u);
    EXPECT_NEAR(mean.Mean(1.0), 3.0, 1e-4);
    // Fewer than two periods: Hann-weighted, as without a modulation.
    MeanCarrier short_(rate);
    for (int i = 0; i < 150; ++i) short_.Push(Swing(i, rate, 1.0), true);
    EXPECT_EQ(short_.Mean(1.0), short_.Mean(kNoModulation));
    EXPECT_GT(std::fabs(short_.Mean(1.0) - 3.0), 1.0);
}

TEST(MeanCarrier, MissingValuesNeitherCountNorBiasTheMeanOverPeriods) {
    const double rate = 100.0;
    MeanCarrier mean(rate);
    // Ten periods; in three of them the peaks of the swing are missing (and hold nonsense).
    for (int i = 0; i < 1000; ++i) {
        const bool missing = i % 100 >= 15 && i % 100 < 35 && i < 300;
        mean.Push(missing ? 1000.0f : Swing(i, rate, 1.0), !missing);
    }
    EXPECT_NEAR(mean.Mean(1.0), 3.0, 1e-4);
}

TEST(MeanCarrier, WithoutModulationAPartSwingIsHannWeighted) {
    // 2.5 periods of a slow swing: a plain mean would read 8.1 Hz.
    const double rate = 100.0;
    MeanCarrier mean(rate);
    for (int i = 0; i < 2500; ++i) mean.Push(Swing(i, rate, 0.1), true);
    EXPECT_NEAR(mean.Mean(kNoModulation), 3.0, 1.0);
    // Missing values count for nothing.
    MeanCarrier gappy(rate);
    for (int i = 0; i < 2000; ++i) gappy.Push(i % 7 == 0 ? -50.0f : 3.0f, i % 7 != 0);
    EXPECT_NEAR(gappy.Mean(kNoModulation), 3.0, 1e-6);
    EXPECT_EQ(MeanCarrier(rate).Mean(1.0), 0.0);
}

TEST(MeanCarrier, HalvesItsCopyAtTheCapAndStillMeansOverWholePeriods) {
    // 3 Hz offset plus a 1 Hz swing of 40 Hz, at 100 values a second, 2000 s.
    const double rate = 100.0;
    MeanCarrier bounded(rate, 4096), full(rate, size_t{1} << 20);
    for (int i = 0; i < 200000; ++i) {
        const float v = Swing(i, rate, 1.0);
        bounded.Push(v, true);
        full.Push(v, true);
    }
    EXPECT_LE(bounded.Count(), 4096u);
    EXPECT_GT(bounded.Count(), 2048u);
    EXPECT_NEAR(full.Mean(1.0), 3.0, 1e-4);
    EXPECT_NEAR(bounded.Mean(1.0), 3.0, 1e-3);
    // Without the modulation's frequency the Hann-weighted mean is close, not exact.
    EXPECT_NEAR(bounded.Mean(kNoModulation), 3.0, 0.05);
}

TEST(MeanCarrier, HalvedCopyWithMissingValuesStillFitsTheModulationAtItsRate) {
    // 80 s at 128 values a second into a cap of 2048: the copy halves thrice, to 16 values a
    // second. The peaks of the swing are missing in 20 of its periods, in runs of whole held
    // values.
    const double rate = 128.0;
    MeanCarrier mean(rate, 2048);
    for (int i = 0; i < 80 * 128; ++i) {
        const bool missing = i % 128 >= 16 && i % 128 < 48 && i < 20 * 128;
        mean.Push(missing ? 1000.0f : Swing(i, rate, 1.0), !missing);
    }
    EXPECT_EQ(mean.Count(), 1280u);
    EXPECT_NEAR(mean.Mean(1.0), 3.0, 1e-3);
}

TEST(MeanCarrier, HalvedValuesStandForTheValidOnesAmongThem) {
    // Pairs of a valid 3 and a missing 1000: halving keeps the 3.
    MeanCarrier mean(100.0, 8);
    for (int i = 0; i < 64; ++i) mean.Push(i % 2 == 0 ? 3.0f : 1000.0f, i % 2 == 0);
    EXPECT_LE(mean.Count(), 8u);
    EXPECT_NEAR(mean.Mean(kNoModulation), 3.0, 1e-6);
}

}  // namespace
}  // namespace wobblemeter
