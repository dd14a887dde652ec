// Readings of test tones from our own generator, 30 s long, against the values the meter must
// give: for 3150 Hz at 44.1 kHz and 3000 Hz at 48 kHz, as 16-bit, 24-bit and float files.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "meter/dsp/flat_band.h"
#include "meter/dsp/weighting.h"
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

// Tolerances are the meter's precision on these files (relative): the weighted reading of the
// default tone is 0.99692 within 0.0001. Below 0.1 % the 16-bit steps show.
TEST_P(MeterAccuracy, FourHertzReadsTwoSigmaAndRmsOfTheLevel) {
    const struct {
        double level, weighted, unweighted;
    } cases[] = {
        {0.01, 4e-4, 1.2e-3}, {0.1, 1e-4, 2.5e-4}, {1.0, 1e-4, 2.5e-4}, {10.0, 1e-4, 2.5e-4}};
    for (const auto& c : cases) {
        SCOPED_TRACE("level " + std::to_string(c.level));
        const MeterResult r = MeasureTone(c.level, 4.0);
        EXPECT_NEAR(r.weightedPeakPercent, kTwoSigma * c.level, c.weighted * c.level);
        EXPECT_NEAR(r.unweightedPeakPercent, kTwoSigma * c.level, c.unweighted * c.level);
        // 27 s hold no whole number of periods: the RMS reads 0.05 % high.
        EXPECT_NEAR(r.weightedRmsPercent, kRms * c.level, 7e-4 * kRms * c.level);
    }
}

// Away from 4 Hz the reading follows the weighting filter's curve (its prototype), which
// weighting_test.cpp holds against the standard's table.
TEST_P(MeterAccuracy, WeightingScalesTheReadingAwayFromFourHertz) {
    const struct {
        double modHz, tolerance;
    } cases[] = {{0.8, 5e-4}, {20.0, 5e-4}, {0.2, 2e-3}};  // 0.2 Hz: 5.4 periods in 27 s
    for (const auto& c : cases) {
        SCOPED_TRACE("modulation " + std::to_string(c.modHz) + " Hz");
        const double expected = kTwoSigma * 0.1 * std::pow(10.0, AnalogWeightingDb(c.modHz) / 20.0);
        const MeterResult r = MeasureTone(0.1, c.modHz);
        EXPECT_NEAR(r.weightedPeakPercent, expected, c.tolerance * expected);
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

// Each second's figures are shares of the tone's own carrier, also when it is mixed 0.5 % off
// (a carrier given for a tape that runs fast): they read as when the carrier is found.
TEST_F(MeterReadings, EachSecondsFiguresAreSharesOfTheTonesCarrierWhenMixedOffIt) {
    const std::string path = dir_.Path("fast.wav");
    WriteTone(path, 44100, 3165.75, 0.1, 4.0, 12.0);
    auto seconds = [&](double carrierHz) {
        std::vector<SecondReading> measured;
        MeterOptions options;
        options.carrierHz = carrierHz;
        options.onSecond = [&](const SecondReading& s) {
            if (s.state == MeterState::kMeasuring) measured.push_back(s);
        };
        MeasureFile(path, options);
        return measured;
    };
    const std::vector<SecondReading> found = seconds(0.0), mixedOff = seconds(3150.0);
    ASSERT_GE(found.size(), 3u);
    ASSERT_EQ(mixedOff.size(), found.size());
    for (size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(found[i].timeSeconds);
        EXPECT_NEAR(found[i].weightedPeakPercent, kTwoSigma * 0.1, 0.001);
        EXPECT_NEAR(mixedOff[i].weightedPeakPercent, found[i].weightedPeakPercent, 5e-5);
        EXPECT_NEAR(mixedOff[i].weightedRmsPercent, found[i].weightedRmsPercent, 5e-5);
    }
}

// A slow, wide swing (0.1 Hz, 8 %: a speed that drifts) keeps the first blocks' centres apart:
// the carrier is found over the first 10 s, a whole cycle, and the swing is followed to its
// extremes. Half a cycle would put the mixer 5 % off and the swing beyond what it can follow.
TEST_F(MeterReadings, ASlowWideSwingIsCentredOverItsFirstTenSecondsAndFollowed) {
    const std::string path = dir_.Path("slow.wav");
    WriteTone(path, 48000, 3150.0, 8.0, 0.1, 20.0);
    const MeterResult r = MeasureFile(path, {});
    EXPECT_DOUBLE_EQ(r.nominalHz, 3150.0);
    EXPECT_NEAR(r.speedErrorLowPercent, -8.0, 0.005);
    EXPECT_NEAR(r.speedErrorHighPercent, 8.0, 0.005);
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

// Flutter like noise: the deviation is the sum of 200 sines of random frequency (10 to 40 Hz)
// and phase, close to Gaussian, so its two-sigma is about 1.96 times its RMS where a sine's is
// 1.41. The expected readings come from that deviation itself, passed exactly through the
// weighting filter and the flat band (their steady-state response at the demodulated rate of a
// 44.1 kHz file), over the span the meter reports it read.
TEST_F(MeterReadings, NoiseLikeFlutterReadsTheTwoSigmaOfItsDeviation) {
    constexpr int kRate = 44100;
    constexpr double kCarrierHz = 3150.0, kSeconds = 30.0, kRmsPercent = 0.1;
    constexpr size_t kLines = 200;
    constexpr int kStep = 4;              // audio samples per step of the deviation
    constexpr double kBaseband = 5512.5;  // the filters' rate for 44.1 kHz input
    constexpr int kExpectedEvery = 10;    // steps between samples of the expected readings
    const double stepSeconds = kStep / static_cast<double>(kRate);

    std::mt19937 random(2026);
    std::uniform_real_distribution<double> hz(10.0, 40.0), phase(0.0, 2.0 * M_PI);
    const BiquadCascade weighting = MakeWeightingFilter(kBaseband);
    const BiquadCascade band = MakeFlatBandFilter(kBaseband);
    const double amplitude = kRmsPercent * std::sqrt(2.0 / kLines);
    // Each line as a rotating phasor, and its filters' responses.
    std::vector<std::complex<double>> line(kLines), turn(kLines), w(kLines), u(kLines);
    for (size_t i = 0; i < kLines; ++i) {
        const double f = hz(random);
        line[i] = std::polar(amplitude, phase(random));
        turn[i] = std::polar(1.0, 2.0 * M_PI * f * stepSeconds);
        w[i] = weighting.Response(f, kBaseband);
        u[i] = band.Response(f, kBaseband);
    }
    const auto steps = static_cast<size_t>(kSeconds / stepSeconds);
    std::vector<double> deviation(steps + 1), weighted, unweighted;
    for (size_t k = 0; k <= steps; ++k) {
        double d = 0.0, dw = 0.0, du = 0.0;
        const bool sampled = k % kExpectedEvery == 0;
        for (size_t i = 0; i < kLines; ++i) {
            d += line[i].imag();
            if (sampled) {
                dw += (w[i] * line[i]).imag();
                du += (u[i] * line[i]).imag();
            }
            line[i] *= turn[i];
        }
        deviation[k] = d;
        if (sampled) {
            weighted.push_back(dw);
            unweighted.push_back(du);
        }
    }
    // The tone: its frequency follows the deviation, interpolated between steps.
    std::vector<double> samples(static_cast<size_t>(kSeconds * kRate));
    double cycles = 0.0;
    for (size_t n = 0; n < samples.size(); ++n) {
        const size_t k = n / kStep;
        const double within = static_cast<double>(n % kStep) / kStep;
        const double d = deviation[k] + within * (deviation[k + 1] - deviation[k]);
        samples[n] = 0.5 * std::sin(2.0 * M_PI * cycles);
        cycles += kCarrierHz * (1.0 + d / 100.0) / kRate;
        cycles -= std::floor(cycles);
    }
    const std::string path = dir_.Path("noise.wav");
    wobblemeter_test::WriteSamples(path, kRate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, samples);
    const MeterResult r = MeasureFile(path, {});

    // The expected readings over the span the meter read.
    const double every = kExpectedEvery * stepSeconds;
    const auto first = static_cast<size_t>(std::ceil(r.startSeconds / every));
    const auto last = std::min(weighted.size(),
                               static_cast<size_t>((r.startSeconds + r.measuredSeconds) / every));
    ASSERT_LT(first + 1000, last);
    auto twoSigma = [&](const std::vector<double>& v) {
        std::vector<double> magnitude;
        for (size_t k = first; k < last; ++k) magnitude.push_back(std::fabs(v[k]));
        std::sort(magnitude.begin(), magnitude.end());
        return magnitude[static_cast<size_t>(0.95 * static_cast<double>(magnitude.size()))];
    };
    double squares = 0.0;
    for (size_t k = first; k < last; ++k) squares += weighted[k] * weighted[k];
    const double rms = std::sqrt(squares / static_cast<double>(last - first));
    const double weightedTwoSigma = twoSigma(weighted);
    ASSERT_GT(weightedTwoSigma / rms, 1.85) << "the test signal is not noise-like";

    EXPECT_NEAR(r.weightedPeakPercent, weightedTwoSigma, 0.005 * weightedTwoSigma);
    EXPECT_NEAR(r.unweightedPeakPercent, twoSigma(unweighted), 0.005 * twoSigma(unweighted));
    EXPECT_NEAR(r.weightedRmsPercent, rms, 0.003 * rms);
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

// The older standards' and the split figures of a steady 4 Hz swing, and a 200 Hz line, read
// through the whole meter.
TEST_F(MeterReadings, QuasiPeakSplitAndDriftOfASteadySwingAndALineAtTwoHundredHertz) {
    const std::string path = dir_.Path("four.wav");
    WriteTone(path, 48000, 3000.0, 0.1, 4.0, 15.0);
    const MeterResult r = MeasureFile(path, {});
    EXPECT_NEAR(r.weightedQuasiPeakPercent, 0.1, 0.001);  // a 4 Hz sine reads its peak
    EXPECT_NEAR(std::hypot(r.wowRmsPercent, r.flutterRmsPercent), r.weightedRmsPercent, 1e-5);
    EXPECT_NEAR(r.wowRmsPercent, r.flutterRmsPercent, 0.002);  // 4 Hz lies on the split
    EXPECT_LT(r.driftPercent, 0.002);
    EXPECT_NEAR(r.speedErrorLowPercent, 0.0, 0.001);
    EXPECT_NEAR(r.speedErrorHighPercent, 0.0, 0.001);

    WriteTone(path, 44100, 3150.0, 0.1, 200.0, 15.0);
    const MeterResult fast = MeasureFile(path, {});
    ASSERT_FALSE(fast.lines.empty());
    EXPECT_NEAR(fast.lines.front().hz, 200.0, 0.05);
    EXPECT_NEAR(fast.lines.front().percent, 0.1, 0.001);
    EXPECT_NEAR(fast.unweightedPeakPercent, 0.0997, 0.001);
}

// A test record at 45 rpm on a platter 0.3 % fast, off centre: the tone swings 0.1 % once per
// revolution of the fast platter, and a little at 6 Hz that does not repeat with it.
TEST_F(MeterReadings, PlatterSpeedFoldsTheDeviationOntoTheRevolution) {
    constexpr int kRate = 44100;
    constexpr double kCarrierHz = 3150.0 * 1.003, kSeconds = 40.0;
    const double rotationHz = 0.75 * 1.003;
    std::vector<double> samples(static_cast<size_t>(kSeconds * kRate));
    double cycles = 0.0;
    for (size_t n = 0; n < samples.size(); ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double d =
            0.1 * std::cos(2.0 * M_PI * rotationHz * t) + 0.02 * std::sin(2.0 * M_PI * 6.0 * t);
        samples[n] = 0.5 * std::sin(2.0 * M_PI * cycles);
        cycles += kCarrierHz * (1.0 + d / 100.0) / kRate;
        cycles -= std::floor(cycles);
    }
    const std::string path = dir_.Path("record.wav");
    wobblemeter_test::WriteSamples(path, kRate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, samples);

    EXPECT_EQ(MeasureFile(path, {}).revolution.rpm, 0.0);
    MeterOptions options;
    options.rpm = 45.0;
    const MeterResult r = MeasureFile(path, options);
    EXPECT_EQ(r.revolution.rpm, 45.0);
    EXPECT_NEAR(r.revolution.rotationHz, rotationHz, 1e-4);
    EXPECT_NEAR(r.revolution.revolutions, r.measuredSeconds * rotationHz, 0.01);
    EXPECT_NEAR(r.revolution.oncePercent, 0.1, 0.001);
    // Where the peak falls: angle 0 is where the readings start, and the flat band shifts the
    // swing's phase a little.
    const double expectedAngle =
        -std::arg(MakeFlatBandFilter(5512.5).Response(rotationHz, 5512.5)) -
        2.0 * M_PI * rotationHz * r.startSeconds;
    // Within 3 degrees: the demodulator's own delay of a few milliseconds.
    EXPECT_NEAR(std::remainder(r.revolution.onceAngle - expectedAngle, 2.0 * M_PI), 0.0, 0.05);
    EXPECT_NEAR(r.revolution.remainingRmsPercent, 0.02 / std::sqrt(2.0), 0.001);
    ASSERT_EQ(r.revolution.meanPercent.size(), 72u);
    EXPECT_NEAR(*std::max_element(r.revolution.meanPercent.begin(), r.revolution.meanPercent.end()),
                0.1, 0.005);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_EQ(r.lines.front().revolutionHarmonic, 1);
}

// Tones written here, starting at any phase of the carrier and of the swing: the meter's
// residual is what a technician subtracts from every deck, so it may not depend on where the
// recording happens to start.
class MeterFloor : public ::testing::Test {
protected:
    MeterResult Measure(const wobblemeter_test::SwingTone& tone) {
        const std::string path = dir_.Path("swing.wav");
        wobblemeter_test::WriteSamples(path, tone.rate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                       wobblemeter_test::SwingSamples(tone));
        return MeasureFile(path, {});
    }

    ScratchDir dir_;
};

TEST_F(MeterFloor, CleanToneReadsNothingInAnyFigureFromAnyStartingPhase) {
    // Every quadrant of the carrier's first baseband sample, both signs of the first samples.
    for (const double phase : {0.0, 0.5, 2.0, 3.3, 4.7, 5.5, -0.8}) {
        SCOPED_TRACE("start phase " + std::to_string(phase));
        wobblemeter_test::SwingTone tone;
        tone.startPhase = phase;
        const MeterResult r = Measure(tone);
        for (const double reading :
             {r.weightedPeakPercent, r.unweightedPeakPercent, r.weightedRmsPercent,
              r.unweightedRmsPercent, r.weightedQuasiPeakPercent, r.wowRmsPercent,
              r.flutterRmsPercent, r.driftPercent}) {
            EXPECT_LT(reading, 5e-4);
        }
        EXPECT_LT(std::fabs(r.speedErrorPercent), 1e-4);
    }
}

TEST_F(MeterFloor, SmallSwingsReadTheirSizeFromANegativeStart) {
    const struct { double percent, tolerance; } cases[] = {{0.001, 0.02}, {0.003, 0.01}};
    for (const auto& c : cases) {
        for (const double phase : {-0.8, 2.4}) {
            SCOPED_TRACE(std::to_string(c.percent) + " % from phase " + std::to_string(phase));
            wobblemeter_test::SwingTone tone;
            tone.startPhase = phase;
            tone.modPhase = phase;
            tone.deviationPercent = c.percent;
            const MeterResult r = Measure(tone);
            const double twoSigma = kTwoSigma * c.percent;
            EXPECT_NEAR(r.weightedPeakPercent, twoSigma, c.tolerance * twoSigma);
            EXPECT_NEAR(r.unweightedPeakPercent, twoSigma, c.tolerance * twoSigma);
            // The detector's sag at 4 Hz: the quasi-peak reads the peak within a per cent.
            EXPECT_NEAR(r.weightedQuasiPeakPercent, c.percent, c.tolerance * c.percent);
        }
    }
}

TEST_F(MeterFloor, WowAndFlutterShareOutTheRmsOfEveryWindowAndOfTheWhole) {
    // 0.55 Hz: a 5 s window holds fewer than three periods, where the filtered parts' power
    // alone would not add up to the window's.
    wobblemeter_test::SwingTone tone;
    tone.deviationPercent = 0.055;
    tone.modHz = 0.55;
    tone.startPhase = -0.8;
    const std::string path = dir_.Path("wow.wav");
    wobblemeter_test::WriteSamples(path, tone.rate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                   wobblemeter_test::SwingSamples(tone));
    MeterOptions options;
    options.windowSeconds = 5.0;
    int measured = 0;
    options.onSecond = [&](const SecondReading& s) {
        if (s.state != MeterState::kMeasuring) return;
        ++measured;
        EXPECT_NEAR(std::hypot(s.wowRmsPercent, s.flutterRmsPercent), s.weightedRmsPercent,
                    1e-3 * s.weightedRmsPercent);
        EXPECT_LE(s.wowRmsPercent, s.weightedRmsPercent);
        EXPECT_LE(s.flutterRmsPercent, s.weightedRmsPercent);
    };
    const MeterResult r = MeasureFile(path, options);
    EXPECT_GT(measured, 20);
    EXPECT_NEAR(std::hypot(r.wowRmsPercent, r.flutterRmsPercent), r.weightedRmsPercent,
                1e-3 * r.weightedRmsPercent);
    EXPECT_GT(r.wowRmsPercent, 100.0 * r.flutterRmsPercent);
}

// Drop-outs bridged by the demodulator: the drift and the speed error's range a stretch reads
// through them are those of the same tone without them, whatever the swing, wherever the gaps
// fall, also where the carrier's phase restarts after a gap.
TEST_F(MeterFloor, DropOutsAddNothingToDriftOrTheSpeedErrorsRange) {
    const struct {
        double percent, modHz;
    } swings[] = {{0.1, 4.0}, {1.0, 1.0}, {1.0, 4.0}, {1.0, 17.0}, {1.0, 200.0}};
    for (const auto& swing : swings) {
        wobblemeter_test::SwingTone tone;
        tone.seconds = 20.0;
        tone.startPhase = 2.4;
        tone.modPhase = 0.7;
        tone.deviationPercent = swing.percent;
        tone.modHz = swing.modHz;
        const MeterResult clean = Measure(tone);
        tone.dropouts = {{9.31, 0.02}, {12.777, 0.05}, {16.05, 0.1}};
        for (const double jump : {0.0, 2.0}) {
            SCOPED_TRACE(std::to_string(swing.percent) + " % at " + std::to_string(swing.modHz) +
                         " Hz, phase jump " + std::to_string(jump));
            tone.dropoutJump = jump;
            const MeterResult r = Measure(tone);
            EXPECT_EQ(r.dropouts, 3);
            EXPECT_NEAR(r.driftPercent, clean.driftPercent, 1e-3);
            EXPECT_NEAR(r.speedErrorLowPercent, clean.speedErrorLowPercent, 1e-3);
            EXPECT_NEAR(r.speedErrorHighPercent, clean.speedErrorHighPercent, 1e-3);
        }
    }
}

// A tone at constant speed reads its speed in every second it fills, from any phase: the first
// and the last second of each stretch too, around a gap after which the phase restarts and in
// a last second cut short; a second with too little tone in it is left empty.
TEST_F(MeterFloor, EverySecondOfAConstantToneReadsItsSpeedAtTheEdgesOfItsStretchesToo) {
    for (const auto& [rate, carrierHz] : {std::pair{48000, 3150.0}, std::pair{44100, 3000.0}}) {
        SCOPED_TRACE(carrierHz);
        wobblemeter_test::SwingTone tone;
        tone.rate = rate;
        tone.carrierHz = carrierHz;
        tone.startPhase = -0.8;
        tone.seconds = 21.2;
        // Tone from 0.37 s to 10.97 s, again from 12.8 s (0.2 s of its second), to 21.2 s.
        tone.dropouts = {{0.0, 0.37}, {10.97, 1.83}};
        tone.dropoutJump = 1.9;
        const std::string path = dir_.Path("steady.wav");
        wobblemeter_test::WriteSamples(path, tone.rate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                       wobblemeter_test::SwingSamples(tone));
        MeterOptions options;
        std::vector<double> errors;
        options.onSecond = [&](const SecondReading& s) { errors.push_back(s.speedErrorPercent); };
        const MeterResult r = MeasureFile(path, options);
        ASSERT_EQ(errors.size(), 22u);
        for (size_t second = 0; second < errors.size(); ++second) {
            SCOPED_TRACE("second " + std::to_string(second));
            const bool filled = (second <= 10) || (second >= 13 && second <= 20);
            if (filled)
                EXPECT_NEAR(errors[second], 0.0, 1e-3);
            else
                EXPECT_TRUE(std::isnan(errors[second])) << errors[second];
        }
        EXPECT_NEAR(r.speedErrorLowPercent, 0.0, 1e-3);
        EXPECT_NEAR(r.speedErrorHighPercent, 0.0, 1e-3);
    }
}

}  // namespace
}  // namespace wobblemeter
