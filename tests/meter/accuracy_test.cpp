// Readings of test tones from our own generator, 30 s long, against the values the meter must
// give: for 3150 Hz at 44.1 kHz and 3000 Hz at 48 kHz, as 16-bit, 24-bit and float files.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "meter/meter.h"
#include "tests/meter/meter_test_util.h"

namespace wobblemeter {
namespace {

using wobblemeter_test::Reencode;
using wobblemeter_test::ScratchDir;
using wobblemeter_test::WriteTone;

struct Variant {
    const char* name;
    int rate;
    double carrierHz;
    int format;  // 0: the generator's own 16-bit file
};

void PrintTo(const Variant& v, std::ostream* os) {
    *os << v.name;
}

// sin(0.95 x 90 degrees): two-sigma of a sinusoidal deviation over its peak.
constexpr double kTwoSigma = 0.99692;
constexpr double kRms = 0.70711;

class MeterAccuracy : public ::testing::TestWithParam<Variant> {
protected:
    MeterResult MeasureTone(double level, double modHz) {
        const Variant& v = GetParam();
        const std::string name = "tone-" + std::to_string(level) + "-" + std::to_string(modHz);
        const std::string raw = dir_.Path(name + ".wav");
        WriteTone(raw, v.rate, v.carrierHz, level, modHz, 30.0);
        if (v.format == 0) return MeasureFile(raw, {});
        const std::string converted = dir_.Path(name + "-converted.wav");
        Reencode(raw, converted, v.format);
        return MeasureFile(converted, {});
    }

private:
    ScratchDir dir_;
};

TEST_P(MeterAccuracy, FourHertzReadsTwoSigmaAndRmsOfTheLevel) {
    for (double level : {0.01, 0.1, 1.0, 10.0}) {
        SCOPED_TRACE("level " + std::to_string(level));
        const MeterResult r = MeasureTone(level, 4.0);
        EXPECT_NEAR(r.weightedPeakPercent, kTwoSigma * level, 0.01 * kTwoSigma * level);
        EXPECT_NEAR(r.unweightedPeakPercent, kTwoSigma * level, 0.01 * kTwoSigma * level);
        EXPECT_NEAR(r.weightedRmsPercent, kRms * level, 0.01 * kRms * level);
    }
}

TEST_P(MeterAccuracy, WeightingScalesTheReadingAwayFromFourHertz) {
    const struct {
        double modHz, weighted, tolerance;
    } cases[] = {{0.8, 0.0499, 0.02}, {20.0, 0.0506, 0.02}, {0.2, 0.00296, 0.10}};
    for (const auto& c : cases) {
        SCOPED_TRACE("modulation " + std::to_string(c.modHz) + " Hz");
        const MeterResult r = MeasureTone(0.1, c.modHz);
        EXPECT_NEAR(r.weightedPeakPercent, c.weighted, c.tolerance * c.weighted);
    }
}

TEST_P(MeterAccuracy, PureToneReadsNoFlutter) {
    const MeterResult r = MeasureTone(0.0, 4.0);
    EXPECT_LT(r.weightedPeakPercent, 0.001);
    EXPECT_LT(r.unweightedPeakPercent, 0.001);
    EXPECT_TRUE(std::isnan(r.modulationHz)) << r.modulationHz << " Hz";
    EXPECT_TRUE(r.lines.empty());
}

TEST_P(MeterAccuracy, DefaultSignalGivesCarrierSpeedAndModulation) {
    const MeterResult r = MeasureTone(1.0, 4.0);
    EXPECT_NEAR(r.carrierHz, GetParam().carrierHz, 0.005);
    EXPECT_DOUBLE_EQ(r.nominalHz, GetParam().carrierHz);
    EXPECT_NEAR(r.speedErrorPercent, 0.0, 0.001);
    EXPECT_NEAR(r.modulationHz, 4.0, 0.02);
    EXPECT_NEAR(r.durationSeconds, 30.0, 1e-9);
    EXPECT_GE(r.measuredSeconds, 25.0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MeterAccuracy,
    ::testing::Values(Variant{"Wav16At44100", 44100, 3150.0, 0},
                      Variant{"Wav16At48000", 48000, 3000.0, 0},
                      Variant{"Wav24At44100", 44100, 3150.0, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
                      Variant{"FloatAt44100", 44100, 3150.0, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                      Variant{"Wav24At48000", 48000, 3000.0, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
                      Variant{"FloatAt48000", 48000, 3000.0, SF_FORMAT_WAV | SF_FORMAT_FLOAT}),
    [](const ::testing::TestParamInfo<Variant>& param) { return std::string(param.param.name); });

// Speed error, nominal carrier and channel choice.
class MeterReadings : public ::testing::Test {
protected:
    ScratchDir dir_;
};

TEST_F(MeterReadings, FastToneShowsItsSpeedErrorAgainstTheNearerStandardCarrier) {
    const std::string path = dir_.Path("fast.wav");
    WriteTone(path, 44100, 3165.75, 0.1, 4.0, 12.0);  // 0.5 % fast
    const MeterResult r = MeasureFile(path, {});
    EXPECT_DOUBLE_EQ(r.nominalHz, 3150.0);
    EXPECT_NEAR(r.speedErrorPercent, 0.5, 0.001);

    MeterOptions options;
    options.nominalHz = 3000.0;
    EXPECT_NEAR(MeasureFile(path, options).speedErrorPercent, 5.525, 0.001);
    options.carrierHz = 3160.0;  // mixing a little off the tone changes nothing
    const MeterResult given = MeasureFile(path, options);
    EXPECT_NEAR(given.carrierHz, 3165.75, 0.005);
    EXPECT_NEAR(given.weightedPeakPercent, r.weightedPeakPercent, 1e-4);
}

TEST_F(MeterReadings, CarrierFarFromBothStandardsHasNoSpeedErrorUnlessGivenItsNominal) {
    const std::string path = dir_.Path("kilohertz.wav");
    WriteTone(path, 44100, 1000.0, 0.1, 4.0, 12.0);
    const MeterResult r = MeasureFile(path, {});
    EXPECT_NEAR(r.carrierHz, 1000.0, 0.005);
    EXPECT_TRUE(std::isnan(r.nominalHz));
    EXPECT_TRUE(std::isnan(r.speedErrorPercent));
    MeterOptions options;
    options.nominalHz = 1000.0;
    EXPECT_NEAR(MeasureFile(path, options).speedErrorPercent, 0.0, 0.001);
    // 14 % below 3000 Hz still counts as a slow 3000 Hz tone.
    WriteTone(path, 44100, 2580.0, 0.1, 4.0, 12.0);
    EXPECT_NEAR(MeasureFile(path, {}).speedErrorPercent, -14.0, 0.001);
}

TEST_F(MeterReadings, LowestAndHighestSampleRatesReadAlike) {
    for (int rate : {8000, 384000}) {
        SCOPED_TRACE(rate);
        const std::string path = dir_.Path("rate.wav");
        WriteTone(path, rate, 3150.0, 0.5, 4.0, 12.0);
        const MeterResult r = MeasureFile(path, {});
        EXPECT_EQ(r.sampleRate, rate);
        EXPECT_NEAR(r.weightedPeakPercent, kTwoSigma * 0.5, 0.01 * kTwoSigma * 0.5);
        EXPECT_NEAR(r.carrierHz, 3150.0, 0.005);
    }
}

TEST_F(MeterReadings, ChannelOptionPicksTheChannel) {
    const std::string mono = dir_.Path("mono.wav");
    WriteTone(mono, 48000, 3000.0, 0.5, 4.0, 10.0);
    SF_INFO info;
    const std::vector<double> tone = wobblemeter_test::ReadSamples(mono, info);
    std::vector<double> stereo(2 * tone.size(), 0.0);  // silence left, tone right
    for (size_t i = 0; i < tone.size(); ++i) stereo[2 * i + 1] = tone[i];
    const std::string path = dir_.Path("stereo.wav");
    wobblemeter_test::WriteSamples(path, 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, stereo);

    MeterOptions options;
    options.channel = 2;
    const MeterResult r = MeasureFile(path, options);
    EXPECT_EQ(r.channels, 2);
    EXPECT_NEAR(r.weightedPeakPercent, kTwoSigma * 0.5, 0.01 * kTwoSigma * 0.5);
    options.channel = 1;
    EXPECT_THROW(MeasureFile(path, options), MeterError);
    options.channel = 3;
    EXPECT_THROW(MeasureFile(path, options), MeterError);
}

TEST_F(MeterReadings, SpectrumAndTracesCoverTheMeasuredSpan) {
    const std::string path = dir_.Path("tone.wav");
    WriteTone(path, 44100, 3150.0, 0.3, 10.0, 15.0);
    const MeterResult r = MeasureFile(path, {});
    ASSERT_FALSE(r.lines.empty());
    EXPECT_NEAR(r.lines.front().hz, 10.0, 0.02);
    EXPECT_NEAR(r.lines.front().percent, 0.3, 0.02);
    ASSERT_FALSE(r.spectrumHz.empty());
    EXPECT_GE(r.spectrumHz.front(), 0.1);
    EXPECT_LE(r.spectrumHz.back(), 200.0);
    ASSERT_FALSE(r.unweighted.high.empty());
    const double end = r.unweighted.startSeconds +
                       r.unweighted.stretchSeconds * static_cast<double>(r.unweighted.high.size());
    EXPECT_NEAR(end - r.unweighted.startSeconds, r.measuredSeconds,
                2 * r.unweighted.stretchSeconds + 0.01);
    float highest = 0.0f;
    for (float v : r.unweighted.high) highest = std::max(highest, v);
    EXPECT_NEAR(highest, 0.3, 0.01);
}

}  // namespace
}  // namespace wobblemeter
