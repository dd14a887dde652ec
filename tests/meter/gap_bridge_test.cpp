// The drop-out bridge: a swing carried on through the gap, where a straight line would cut across
// it; the line where the history is too short to predict from.
#include "meter/engine/gap_bridge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace wobblemeter {
namespace {

constexpr double kRate = 6000.0;  // baseband samples a second

// 1 % of wow at 17 Hz on 3150 Hz, Hz, at sample n, with a little noise of its own.
double Swing(size_t n) {
    const double t = static_cast<double>(n) / kRate;
    return 0.02 + 31.5 * std::sin(2.0 * std::numbers::pi * 17.0 * t + 0.3) +
           2e-4 * std::sin(1.7e4 * t * t);
}

TEST(GapBridge, CarriesASwingThroughAGapAcrossWhichALineCuts) {
    OffsetHistory history;
    for (size_t n = 0; n < 2 * OffsetHistory::kLength; ++n) history.Push(Swing(n));
    std::vector<double> past, bridge;
    history.CopyTo(past);
    ASSERT_EQ(past.size(), OffsetHistory::kLength);
    EXPECT_EQ(past.back(), Swing(2 * OffsetHistory::kLength - 1));
    const size_t first = 2 * OffsetHistory::kLength, gap = 780;  // 0.13 s
    BridgeGap(past, Swing(first + gap), gap, bridge);
    ASSERT_EQ(bridge.size(), gap);
    // What the drift's low-pass sees of it: the area between the bridge and the swing.
    double area = 0.0, line = 0.0, worst = 0.0;
    for (size_t k = 0; k < gap; ++k) {
        const double truth = Swing(first + k);
        const double straight = past.back() + (Swing(first + gap) - past.back()) *
                                                  static_cast<double>(k + 1) / (gap + 1.0);
        area += (bridge[k] - truth) / kRate;
        line += (straight - truth) / kRate;
        worst = std::max(worst, std::fabs(bridge[k] - truth));
    }
    EXPECT_GT(std::fabs(line), 0.1);  // Hz s: the line would move the drift by 0.005 %
    EXPECT_LT(std::fabs(area), 0.002);
    EXPECT_LT(worst, 0.05);
}

TEST(GapBridge, ShortHistoryGivesTheStraightLine) {
    OffsetHistory history;
    for (int n = 0; n < 100; ++n) history.Push(std::sin(0.1 * n));
    std::vector<double> past, bridge;
    history.CopyTo(past);
    ASSERT_EQ(past.size(), 100u);
    BridgeGap(past, 2.0, 3, bridge);
    ASSERT_EQ(bridge.size(), 3u);
    const double last = std::sin(9.9);
    for (size_t k = 0; k < 3; ++k)
        EXPECT_DOUBLE_EQ(bridge[k], last + (2.0 - last) * static_cast<double>(k + 1) / 4.0);
    history.Clear();
    history.CopyTo(past);
    BridgeGap(past, 2.0, 2, bridge);
    EXPECT_EQ(bridge, (std::vector<double>{2.0, 2.0}));
}

}  // namespace
}  // namespace wobblemeter
