// Drift and the wow/flutter split on synthetic deviation at a baseband rate.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "meter/engine/drift.h"
#include "meter/engine/wow_flutter.h"

namespace wobblemeter {
namespace {

constexpr double kRate = 5512.5;  // 44.1 kHz input
constexpr double kCarrier = 3150.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Feeds seconds of offset(t) (Hz) settled at settleAt, counting after the drift's settling time.
DriftMeter Drift(double seconds, double settleAt, const std::function<double(double)>& offset) {
    DriftMeter drift(kRate);
    drift.Settle(settleAt);
    for (int n = 0; n < static_cast<int>(seconds * kRate); ++n) {
        const double t = n / kRate;
        drift.Push(offset(t), t >= kDriftSettleSeconds);
    }
    return drift;
}

TEST(Drift, SlowRampReadsItsFallOverTheSpanAndTheSpeedErrorsAtItsEnds) {
    // The speed falls from +0.05 % to -0.05 % over 30 s, with 1 % of wow at 4 Hz on top.
    const double slope = -0.001 * kCarrier / 30.0;  // Hz per second
    const DriftMeter drift = Drift(30.0, 0.0005 * kCarrier, [&](double t) {
        return 0.0005 * kCarrier + slope * t + 0.01 * kCarrier * std::sin(kTwoPi * 4.0 * t);
    });
    // 24 s counted: 0.08 %, whatever the filter's lag.
    EXPECT_NEAR(drift.PeakToPeakPercent(kCarrier), 0.08, 0.0003);
    // The slow part lags the ramp by the low-pass's delay, 0.83 s.
    const SpeedErrorRange range = SpeedErrorRangeOf(drift, kCarrier, kCarrier);
    const double lag = 2.6131 / (kTwoPi * kDriftHz);
    EXPECT_NEAR(range.highPercent, 0.05 - 0.1 * (kDriftSettleSeconds - lag) / 30.0, 0.0003);
    EXPECT_NEAR(range.lowPercent, 0.05 - 0.1 * (30.0 - lag) / 30.0, 0.0003);
    // Mixed 10 Hz below the nominal, every offset is 10 Hz higher: the same speed errors.
    const DriftMeter shifted = Drift(30.0, 10.0, [&](double t) { return 10.0 + slope * t; });
    const SpeedErrorRange same = SpeedErrorRangeOf(shifted, kCarrier - 10.0, kCarrier);
    EXPECT_NEAR(same.highPercent - same.lowPercent, 0.08, 0.0003);
    EXPECT_NEAR(same.highPercent, -0.1 * (kDriftSettleSeconds - lag) / 30.0, 0.0003);
}

TEST(Drift, SlowSwingCountsWholeAndWowAboveTheBandHardlyAtAll) {
    // 0.2 % peak at 0.1 Hz: 0.4 % peak-to-peak.
    const DriftMeter swing =
        Drift(30.0, 0.0, [](double t) { return 0.002 * kCarrier * std::sin(kTwoPi * 0.1 * t); });
    EXPECT_NEAR(swing.PeakToPeakPercent(kCarrier), 0.4, 0.004);
    // 10 % of wow at 4 Hz, from any phase, settled at its mean.
    for (double phase : {0.0, 1.0, 2.0, 4.0}) {
        const DriftMeter drift = Drift(20.0, 0.0, [&](double t) {
            return 0.1 * kCarrier * std::sin(kTwoPi * 4.0 * t + phase);
        });
        EXPECT_LT(drift.PeakToPeakPercent(kCarrier), 0.008) << phase;
    }
    // Nothing counted: no drift, no range.
    DriftMeter idle(kRate);
    idle.Push(5.0, false);
    EXPECT_EQ(idle.PeakToPeakPercent(kCarrier), 0.0);
    EXPECT_EQ(SpeedErrorRangeOf(idle, kCarrier, kCarrier).highPercent, 0.0);
}

WowFlutterSplit Split(double seconds, const std::function<double(double)>& weighted) {
    WowFlutterSplit split(kRate);
    for (int n = 0; n < static_cast<int>(seconds * kRate); ++n) {
        const double t = n / kRate;
        split.Push(weighted(t), t >= 3.0);
    }
    return split;
}

TEST(WowFlutter, TonesBelowAndAboveFourHertzFallOnTheirOwnSide) {
    const WowFlutterSplit split = Split(20.0, [](double t) {
        return 3.0 * std::sin(kTwoPi * 1.0 * t) + 0.5 * std::sin(kTwoPi * 16.0 * t);
    });
    EXPECT_NEAR(split.Wow().Rms(), 3.0 / std::sqrt(2.0), 0.003 * 3.0);
    EXPECT_NEAR(split.Flutter().Rms(), 0.5 / std::sqrt(2.0), 0.003 * 0.5);
}

TEST(WowFlutter, PowersAddUpToTheWholeAndFourHertzSplitsEvenly) {
    const WowFlutterSplit even = Split(20.0, [](double t) { return std::sin(kTwoPi * 4.0 * t); });
    EXPECT_NEAR(even.Wow().Rms(), 0.5, 0.003);
    EXPECT_NEAR(even.Flutter().Rms(), 0.5, 0.003);
    // Tones near the split: each falls partly on both sides, but the powers add up.
    const WowFlutterSplit mixed = Split(20.0, [](double t) {
        return std::sin(kTwoPi * 2.5 * t) + 2.0 * std::sin(kTwoPi * 5.5 * t + 1.0) +
               0.5 * std::sin(kTwoPi * 3.7 * t + 2.0);
    });
    const double whole = (1.0 + 4.0 + 0.25) / 2.0;
    const double wow = mixed.Wow().Rms(), flutter = mixed.Flutter().Rms();
    EXPECT_NEAR(wow * wow + flutter * flutter, whole, 0.005 * whole);
    EXPECT_GT(wow, 0.3);
    EXPECT_GT(flutter, 1.0);
}

}  // namespace
}  // namespace wobblemeter
