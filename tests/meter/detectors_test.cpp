// The two-sigma and RMS detectors: the fine logarithmic histogram's quantile, and the sliding
// window's coarser one, where samples that do not count keep their place in time.
#include "meter/engine/detectors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace wobblemeter {
namespace {

TEST(LogHistogram, TwoSigmaOfASineIsItsLevelExceededFivePercentOfTheTime) {
    // |0.7 sin|: exceeded 5 % of the time at 0.7 sin(0.95 pi / 2) = 0.697844.
    LogHistogram h;
    EXPECT_EQ(h.Quantile(0.95), 0.0);
    for (int n = 0; n < 400000; ++n)
        h.Add(std::fabs(0.7 * std::sin(2.0 * std::numbers::pi * n / 4000.0 + 0.1)));
    EXPECT_EQ(h.Count(), 400000u);
    // Within the bins' 0.046 %.
    EXPECT_NEAR(h.Quantile(1.0 - kTwoSigmaExceeded), 0.697844, 0.0003);
    EXPECT_NEAR(h.Quantile(0.5), 0.7 * std::sin(0.5 * std::numbers::pi / 2.0), 0.0003);
}

TEST(LogHistogram, BinsSpanTenDecadesLogarithmically) {
    EXPECT_EQ(LogHistogram::Bin(0.0), 0);
    EXPECT_EQ(LogHistogram::Bin(1e-8), 0);
    // 5000 bins a decade from 1e-7: 1 lies at bin 35000, 10 at 40000.
    EXPECT_EQ(LogHistogram::Bin(1.0001), 35000);
    EXPECT_EQ(LogHistogram::Bin(10.001), 40000);
    EXPECT_EQ(LogHistogram::Bin(1e9), LogHistogram::kBins - 1);
    // Ten values, 1 to 10: the median lies between 5 and 6, read within the bin.
    LogHistogram h;
    for (int v = 1; v <= 10; ++v) h.Add(v);
    EXPECT_NEAR(h.Quantile(0.5), 5.0, 0.005);
    EXPECT_NEAR(h.Quantile(1.0), 10.0, 0.005);
}

TEST(WindowDetector, ReadsOnlyTheLastLengthSamplesAndSkippedOnesCountNowhere) {
    WindowDetector w(1000);
    const auto push = [&](double v) {
        w.Push(LogHistogram::Bin(v), LogHistogram::Bin(2.0 * v), v * v);
    };
    for (int i = 0; i < 1000; ++i) push(1.0);
    EXPECT_NEAR(w.WeightedTwoSigma(), 1.0, 0.005);  // coarse bins: 0.46 %
    EXPECT_NEAR(w.UnweightedTwoSigma(), 2.0, 0.01);
    EXPECT_NEAR(w.WeightedRms(), 1.0, 1e-9);
    // 900 of 3, then 100 skipped: the window holds 100 of 1 and 900 of 3, no more.
    for (int i = 0; i < 900; ++i) push(3.0);
    EXPECT_NEAR(w.WeightedRms(), std::sqrt((100.0 + 900.0 * 9.0) / 1000.0), 1e-6);
    for (int i = 0; i < 100; ++i) w.Skip();
    EXPECT_NEAR(w.WeightedRms(), 3.0, 1e-6);
    EXPECT_NEAR(w.WeightedTwoSigma(), 3.0, 0.015);
    EXPECT_EQ(w.Taken(), 2000u);
    w.Clear();
    EXPECT_EQ(w.Taken(), 0u);
    EXPECT_EQ(w.WeightedRms(), 0.0);
    EXPECT_EQ(w.WeightedTwoSigma(), 0.0);
}

}  // namespace
}  // namespace wobblemeter
