// The window's quasi-peak, wow and flutter figures: over the counted samples of the last window
// seconds, kept in blocks of 10 ms.
#include "meter/engine/window_figures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace wobblemeter {
namespace {

constexpr double kRate = 4000.0;  // baseband samples a second: blocks of 40 samples

TEST(WindowFigures, ReadTheLargestNeedleAndTheRmsOfTheCountedSamples) {
    WindowFigures f(4000, kRate);
    EXPECT_EQ(f.QuasiPeak(), 0.0);
    EXPECT_EQ(f.WowRms(), 0.0);
    EXPECT_EQ(f.FlutterRms(), 0.0);
    // Half the samples at wow 3 and flutter 1, half at wow 1 and flutter 7; skipped ones,
    // whatever they would have held, count nowhere.
    for (int i = 0; i < 2000; ++i) {
        f.Push(i == 700 ? 2.5 : 0.5, i % 2 == 0 ? 3.0 : 1.0, i % 2 == 0 ? 1.0 : 7.0);
        f.Skip();
    }
    EXPECT_DOUBLE_EQ(f.QuasiPeak(), 2.5);
    EXPECT_NEAR(f.WowRms(), std::sqrt(5.0), 1e-12);
    EXPECT_NEAR(f.FlutterRms(), 5.0, 1e-12);
}

TEST(WindowFigures, SamplesOlderThanTheWindowAndItsLastBlockDropOut) {
    // A window of 1 s: 100 blocks of 40 samples, and the one being filled.
    WindowFigures f(4000, kRate);
    for (int i = 0; i < 4000; ++i) f.Push(9.0, 4.0, 4.0);
    EXPECT_DOUBLE_EQ(f.QuasiPeak(), 9.0);
    // Smaller figures for a second less half a block: the window's first block, one of the
    // old ones, reaches back further than the window while the last block fills.
    for (int i = 0; i < 3980; ++i) f.Push(1.0, 2.0, 0.0);
    EXPECT_DOUBLE_EQ(f.QuasiPeak(), 9.0);
    EXPECT_NEAR(f.WowRms(), std::sqrt((40 * 16.0 + 3980 * 4.0) / 4020.0), 1e-12);
    // The last block full: the old block drops out whole.
    for (int i = 0; i < 20; ++i) f.Push(1.0, 2.0, 0.0);
    EXPECT_DOUBLE_EQ(f.QuasiPeak(), 1.0);
    EXPECT_NEAR(f.WowRms(), 2.0, 1e-12);
    EXPECT_EQ(f.FlutterRms(), 0.0);
}

TEST(WindowFigures, ClearForgetsEverySample) {
    WindowFigures f(400, kRate);
    for (int i = 0; i < 100; ++i) f.Push(5.0, 5.0, 5.0);
    f.Clear();
    EXPECT_EQ(f.QuasiPeak(), 0.0);
    EXPECT_EQ(f.WowRms(), 0.0);
    f.Push(0.25, 1.0, 2.0);
    EXPECT_DOUBLE_EQ(f.QuasiPeak(), 0.25);
    EXPECT_DOUBLE_EQ(f.FlutterRms(), 2.0);
}

}  // namespace
}  // namespace wobblemeter
