// Recordings as they come from a machine: hiss around the tone, a tone that stops part-way,
// drop-outs, and large slow wow. The tone is our generator's 30 s default (1 % at 4 Hz on
// 3150 Hz, 44.1 kHz, 16 bit) unless a test says otherwise.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "meter/meter.h"
#include "tests/meter/meter_test_util.h"

namespace wobblemeter {
namespace {

using wobblemeter_test::ReadSamples;
using wobblemeter_test::ScratchDir;
using wobblemeter_test::WriteSamples;
using wobblemeter_test::WriteTone;

constexpr int kRate = 44100;
constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr double kTwoSigma = 0.99692;
constexpr double kRms = 0.70711;

class MeterGaps : public ::testing::Test {
protected:
    MeterGaps() {
        WriteTone(dir_.Path("tone.wav"), kRate, 3150.0, 1.0, 4.0, 30.0);
        SF_INFO info;
        tone_ = ReadSamples(dir_.Path("tone.wav"), info);
    }
    // Measures samples written as a 16-bit WAV file.
    MeterResult Measure(const std::vector<double>& samples) {
        const std::string path = dir_.Path("take.wav");
        WriteSamples(path, kRate, 1, kWav16, samples);
        return MeasureFile(path, {});
    }
    std::string ErrorOf(const std::vector<double>& samples) {
        try {
            const MeterResult r = Measure(samples);
            ADD_FAILURE() << "measured: " << r.weightedPeakPercent << " % over "
                          << r.measuredSeconds << " s";
        } catch (const MeterError& e) {
            return e.what();
        }
        return {};
    }
    // Scales the samples from second `from` for `seconds` by gain.
    std::vector<double> Scaled(double from, double seconds, double gain) const {
        std::vector<double> s = tone_;
        const auto first = static_cast<size_t>(from * kRate);
        const auto last = std::min(s.size(), static_cast<size_t>((from + seconds) * kRate));
        for (size_t i = first; i < last; ++i) s[i] *= gain;
        return s;
    }
    // The same at gain from second `from` for `seconds`, eased in before and out after over
    // `edge` s (a raised cosine), as the level of a tape's drop-out fades rather than steps.
    std::vector<double> Dipped(double from, double seconds, double gain, double edge) const {
        std::vector<double> s = tone_;
        for (size_t i = 0; i < s.size(); ++i) {
            const double t = static_cast<double>(i) / kRate;
            // 0 at the dip's outer ends, 1 where it is at its full depth.
            const double into = std::min(t - (from - edge), from + seconds + edge - t) / edge;
            if (into <= 0.0) continue;
            const double depth = into >= 1.0 ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * into);
            s[i] *= 1.0 - (1.0 - gain) * depth;
        }
        return s;
    }
    std::vector<double> Hiss(double seconds) {
        std::normal_distribution<double> gauss(0.0, 0.01);
        std::vector<double> s(static_cast<size_t>(seconds * kRate));
        for (double& x : s) x = gauss(random_);
        return s;
    }
    // The default tone's readings, within their tolerances.
    static void ExpectDefaultReadings(const MeterResult& r) {
        EXPECT_NEAR(r.weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
        EXPECT_NEAR(r.unweightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
        EXPECT_NEAR(r.weightedRmsPercent, kRms, 0.01 * kRms);
        EXPECT_NEAR(r.carrierHz, 3150.0, 0.005);
        EXPECT_NEAR(r.speedErrorPercent, 0.0, 0.001);
        EXPECT_NEAR(r.modulationHz, 4.0, 0.02);
    }

    ScratchDir dir_;
    std::vector<double> tone_;
    std::mt19937 random_{11};
};

TEST_F(MeterGaps, ToneThatStopsIsMeasuredOverItsStretch) {
    for (double gain : {0.0, std::pow(10.0, -50.0 / 20.0)}) {
        SCOPED_TRACE(gain);
        const MeterResult r = Measure(Scaled(10.0, 20.0, gain));
        ExpectDefaultReadings(r);
        EXPECT_NEAR(r.measuredSeconds, 10.0 - kSettleSeconds, 0.1);
        EXPECT_EQ(r.dropouts, 0);
    }
}

TEST_F(MeterGaps, ToneThatStopsTooSoonIsRefusedSayingWhere) {
    const std::string message = ErrorOf(Scaled(7.0, 23.0, 0.0));
    EXPECT_NE(message.find("the tone stops at 7.0 s"), std::string::npos) << message;
}

TEST_F(MeterGaps, LongestStretchIsMeasured) {
    // 8 s of tone, 2 s of silence, 20 s of tone.
    const MeterResult r = Measure(Scaled(8.0, 2.0, 0.0));
    ExpectDefaultReadings(r);
    EXPECT_NEAR(r.startSeconds, 10.0 + kSettleSeconds, 0.1);
    EXPECT_NEAR(r.measuredSeconds, 20.0 - kSettleSeconds, 0.1);
}

TEST_F(MeterGaps, HissBeforeOrAfterTheToneIsLeftOut) {
    std::vector<double> before = Hiss(3.0);
    before.insert(before.end(), tone_.begin(), tone_.end());
    const MeterResult leading = Measure(before);
    ExpectDefaultReadings(leading);
    EXPECT_NEAR(leading.startSeconds, 3.0 + kSettleSeconds, 0.1);

    std::vector<double> after = tone_;
    const std::vector<double> tail = Hiss(3.0);
    after.insert(after.end(), tail.begin(), tail.end());
    const MeterResult trailing = Measure(after);
    ExpectDefaultReadings(trailing);
    EXPECT_NEAR(trailing.measuredSeconds, 30.0 - kSettleSeconds, 0.1);
}

TEST_F(MeterGaps, DropOutsAreBridgedCountedAndLeftOut) {
    // 50 ms to nothing, then a 10 ms dip to -60 dB, both at 15 s.
    for (const auto& [seconds, gain] : {std::pair{0.05, 0.0}, std::pair{0.01, 0.001}}) {
        SCOPED_TRACE(seconds);
        const MeterResult r = Measure(Scaled(15.0, seconds, gain));
        ExpectDefaultReadings(r);
        EXPECT_EQ(r.dropouts, 1);
        EXPECT_LT(r.measuredSeconds, 27.0 - seconds);
    }
    std::vector<double> twice = Scaled(12.0, 0.05, 0.0);
    for (size_t i = 20 * kRate; i < 20 * kRate + kRate / 20; ++i) twice[i] = 0.0;
    EXPECT_EQ(Measure(twice).dropouts, 2);
}

// The tone counts as gone where it falls 20 dB below its level over the recording: a 50 ms dip
// 1.5 dB beyond that is a drop-out, one 1.5 dB short of it is not.
TEST_F(MeterGaps, ADipIsADropOutFromTwentyDecibelsBelowTheTonesLevel) {
    for (const auto& [decibels, dropouts] : {std::pair{-21.5, 1}, std::pair{-18.5, 0}}) {
        SCOPED_TRACE(decibels);
        const MeterResult r = Measure(Dipped(15.0, 0.05, std::pow(10.0, decibels / 20.0), 0.005));
        EXPECT_EQ(r.dropouts, dropouts);
        EXPECT_NEAR(r.weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
    }
}

TEST_F(MeterGaps, TenPercentOfSlowWowIsMeasured) {
    for (double modHz : {0.5, 0.2}) {
        SCOPED_TRACE(modHz);
        const std::string path = dir_.Path("wow.wav");
        WriteTone(path, kRate, 3150.0, 10.0, modHz, 30.0);
        const MeterResult r = MeasureFile(path, {});
        EXPECT_NEAR(r.carrierHz, 3150.0, 0.1);
        EXPECT_NEAR(r.modulationHz, modHz, 0.01);
        ASSERT_FALSE(r.lines.empty());
        EXPECT_NEAR(r.lines.front().percent, 10.0, 0.2);
    }
}

}  // namespace
}  // namespace wobblemeter
