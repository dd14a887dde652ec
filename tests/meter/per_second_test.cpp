// Readings second by second: presence and mean carrier of each second of input, and the
// latest readings over the last ten tenths of a second, gaps in time counted as empty tenths.
#include "meter/engine/per_second.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace wobblemeter {
namespace {

constexpr int kSampleRate = 40000;
constexpr int kDecimation = 10;
constexpr double kRate = 4000.0;  // baseband samples a second: 400 a tenth
constexpr double kMixHz = 3150.0;

PerSecondSetup MakeSetup(long long firstFrame = 0) {
    PerSecondSetup s;
    s.sampleRate = kSampleRate;
    s.firstFrame = firstFrame;
    s.decimation = kDecimation;
    s.basebandRate = kRate;
    s.mixHz = kMixHz;
    s.nominalHz = kMixHz;
    return s;
}

// A demodulator that never sees a sample: no stretch, so no readings over the window.
class PerSecondTest : public ::testing::Test {
protected:
    Demodulator idle_{MakeStretchSetup(kRate, 0.0), 400.0, 10, nullptr};
    std::vector<SecondReading> readings_;
    PerSecond Make(long long firstFrame = 0) {
        return PerSecond(MakeSetup(firstFrame), idle_,
                         [this](const SecondReading& r) { readings_.push_back(r); });
    }
    // The sample at index, usable, and its offset counted.
    static void Offset(PerSecond& p, long long index, double hz) {
        p.Push(index, true);
        p.Counted(hz, false, Deviation{});
    }
};

TEST_F(PerSecondTest, EachSecondReadsItsPresenceAndMeanCarrier) {
    PerSecond p = Make();
    // The last sample of the first second stands out: it belongs to that second.
    for (long long n = 0; n < 4000; ++n) Offset(p, n, n == 3999 ? 1002.0 : 2.0);
    // The next second has the tone in only 40 % of its samples: absent.
    for (long long n = 4000; n < 8000; ++n) {
        if (n % 10 < 4)
            Offset(p, n, 5.0);
        else
            p.Push(n, false);
    }
    // The next in exactly half of them: present.
    for (long long n = 8000; n < 12000; ++n) {
        if (n % 2 == 0)
            Offset(p, n, 4.0);
        else
            p.Push(n, false);
    }
    for (long long n = 12000; n < 14000; ++n) Offset(p, n, -1.0);
    EXPECT_EQ(readings_.size(), 3u);
    p.End();
    ASSERT_EQ(readings_.size(), 4u);
    EXPECT_EQ(readings_[0].timeSeconds, 0.0);
    EXPECT_TRUE(readings_[0].tonePresent);
    EXPECT_NEAR(readings_[0].carrierHz, 3152.25, 1e-9);
    EXPECT_NEAR(readings_[0].speedErrorPercent, 100.0 * 2.25 / 3150.0, 1e-9);
    EXPECT_EQ(readings_[1].timeSeconds, 1.0);
    EXPECT_FALSE(readings_[1].tonePresent);
    EXPECT_TRUE(std::isnan(readings_[1].carrierHz));
    EXPECT_TRUE(readings_[2].tonePresent);
    EXPECT_NEAR(readings_[2].carrierHz, 3154.0, 1e-9);
    // The half second under way when the input ended.
    EXPECT_EQ(readings_[3].timeSeconds, 3.0);
    EXPECT_NEAR(readings_[3].carrierHz, 3149.0, 1e-9);
    EXPECT_EQ(readings_[3].state, MeterState::kSettling);
}

TEST_F(PerSecondTest, SecondsCountFromTheInputsStart) {
    // Baseband sample 0 is input frame 50000 (1.25 s): the first second emitted is second 1.
    PerSecond p = Make(50000);
    for (long long n = 0; n < 4000; ++n) Offset(p, n, 1.0);
    ASSERT_EQ(readings_.size(), 1u);
    EXPECT_EQ(readings_[0].timeSeconds, 1.0);
    EXPECT_DOUBLE_EQ(p.Latest().timeSeconds, (50000 + 4000 * kDecimation) / 40000.0);
}

TEST_F(PerSecondTest, LatestSpeedErrorHoldsStillUnderOneHertzWow) {
    // 1 % of wow at 1 Hz: the last ten tenths always hold one whole period.
    PerSecond p = Make();
    double low = 1e9, high = -1e9;
    for (long long n = 0; n < 5 * 4000; ++n) {
        Offset(p, n, 31.5 * std::sin(2.0 * std::numbers::pi * static_cast<double>(n) / kRate));
        if (n < 4400) continue;
        const SecondReading r = p.Latest();
        ASSERT_TRUE(r.tonePresent);
        low = std::min(low, r.speedErrorPercent);
        high = std::max(high, r.speedErrorPercent);
    }
    EXPECT_NEAR(low, 0.0, 1e-9);
    EXPECT_NEAR(high, 0.0, 1e-9);
}

TEST_F(PerSecondTest, LatestCountsTenthsWithoutSamplesAsEmpty) {
    // Tenth k holds an offset of k Hz; tenths 10 to 12 hold no sample at all.
    PerSecond p = Make();
    for (long long tenth : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 14})
        for (long long n = 400 * tenth; n < 400 * (tenth + 1); ++n)
            Offset(p, n, static_cast<double>(tenth));
    p.Push(400 * 15, true);
    // The last ten tenths: 5 to 9, three empty ones, 13 and 14.
    const SecondReading r = p.Latest();
    EXPECT_TRUE(r.tonePresent);
    EXPECT_NEAR(r.carrierHz, kMixHz + (5 + 6 + 7 + 8 + 9 + 13 + 14) / 7.0, 1e-9);
}

TEST_F(PerSecondTest, LatestNamesNoCarrierWhileTheToneIsAbsent) {
    // A second with the tone in 40 % of its samples, their offsets counted: absent, as the
    // second's own reading says, so the live carrier and speed error are unknown.
    PerSecond p = Make();
    for (long long n = 0; n < 4000; ++n) {
        if (n % 10 < 4)
            Offset(p, n, 5.0);
        else
            p.Push(n, false);
    }
    const SecondReading r = p.Latest();
    EXPECT_FALSE(r.tonePresent);
    EXPECT_TRUE(std::isnan(r.carrierHz)) << r.carrierHz;
    EXPECT_TRUE(std::isnan(r.speedErrorPercent)) << r.speedErrorPercent;
    EXPECT_EQ(r.state, MeterState::kNoTone);
}

}  // namespace
}  // namespace wobblemeter
