// The plot's envelope builder: minimum and maximum over stretches that double in length when
// they run out, NaN taking its place in time without widening a stretch.
#include "meter/engine/envelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace wobblemeter {
namespace {

TEST(Envelope, EachStretchHoldsTheLowestAndHighestOfItsValuesScaled) {
    EnvelopeBuilder builder(3);
    for (double v : {1.0, -2.0, 0.5, 4.0, 3.0, 3.5, -1.0}) builder.Push(v);
    const Envelope e = builder.Read(1.5, 100.0, 10.0);
    EXPECT_DOUBLE_EQ(e.startSeconds, 1.5);
    EXPECT_DOUBLE_EQ(e.stretchSeconds, 0.03);
    ASSERT_EQ(e.low.size(), 3u);
    ASSERT_EQ(e.high.size(), 3u);
    EXPECT_FLOAT_EQ(e.low[0], -20.0f);
    EXPECT_FLOAT_EQ(e.high[0], 10.0f);
    EXPECT_FLOAT_EQ(e.low[1], 30.0f);
    EXPECT_FLOAT_EQ(e.high[1], 40.0f);
    // The last stretch, under way, holds what came so far.
    EXPECT_FLOAT_EQ(e.low[2], -10.0f);
    EXPECT_FLOAT_EQ(e.high[2], -10.0f);
}

TEST(Envelope, NoValueKeepsItsPlaceInTimeButWidensNothing) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    EnvelopeBuilder builder(2);
    for (double v : {none, 2.0, 5.0, none, none, none}) builder.Push(v);
    const Envelope e = builder.Read(0.0, 1.0, 1.0);
    ASSERT_EQ(e.low.size(), 3u);
    EXPECT_FLOAT_EQ(e.low[0], 2.0f);
    EXPECT_FLOAT_EQ(e.high[0], 2.0f);
    EXPECT_FLOAT_EQ(e.low[1], 5.0f);
    EXPECT_FLOAT_EQ(e.high[1], 5.0f);
    EXPECT_TRUE(std::isnan(e.low[2]));
    EXPECT_TRUE(std::isnan(e.high[2]));
}

TEST(Envelope, StretchesDoubleWhenTheyRunOutAndStillCoverEveryValue) {
    EnvelopeBuilder builder(1);
    // A ramp 0, 1, 2 ...: each stretch of the doubled envelope spans two of the old ones.
    const size_t n = kEnvelopeStretches + 2;
    for (size_t i = 0; i < n; ++i) builder.Push(static_cast<double>(i));
    EXPECT_EQ(builder.Stretches(), kEnvelopeStretches / 2 + 1);
    const Envelope e = builder.Read(0.0, 1000.0, 1.0);
    EXPECT_DOUBLE_EQ(e.stretchSeconds, 0.002);
    for (size_t i = 0; i < e.low.size(); ++i) {
        EXPECT_FLOAT_EQ(e.low[i], static_cast<float>(2 * i)) << i;
        EXPECT_FLOAT_EQ(e.high[i], static_cast<float>(std::min(2 * i + 1, n - 1))) << i;
    }
    // However long the input, the stretches stay bounded.
    for (size_t i = 0; i < 20 * kEnvelopeStretches; ++i) builder.Push(1.0);
    EXPECT_LE(builder.Stretches(), kEnvelopeStretches);
    EXPECT_GT(builder.Stretches(), kEnvelopeStretches / 2);
}

}  // namespace
}  // namespace wobblemeter
