// The measuring engine as a live source drives it: blocks of any size, lost input, a tone that
// comes and goes, finishing at any moment, and the readings of every second.
#include "meter/engine/engine.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "meter/output/csv_log.h"
#include "tests/meter/meter_test_util.h"

namespace wobblemeter {
namespace {

constexpr int kRate = 44100;
constexpr double kTwoSigma = 0.99692;

// The generator's default tone (3150 Hz, 1 % at 4 Hz), seconds long, as floats; another
// carrier and a gain (full scale 1) where given.
std::vector<float> Tone(double seconds, double level = 1.0, double carrierHz = 3150.0,
                        double gain = 1.0) {
    wobblemeter_test::ScratchDir dir;
    const std::string path = dir.Path("tone.wav");
    wobblemeter_test::WriteTone(path, kRate, carrierHz, level, 4.0, seconds);
    SF_INFO info;
    const std::vector<double> samples = wobblemeter_test::ReadSamples(path, info);
    std::vector<float> tone(samples.size());
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<float>(gain * samples[i]);
    return tone;
}

std::vector<float> Hiss(double seconds, unsigned stream) {
    std::mt19937 random(stream);
    std::normal_distribution<float> gauss(0.0f, 0.01f);
    std::vector<float> s(static_cast<size_t>(seconds * kRate));
    for (float& x : s) x = gauss(random);
    return s;
}

// Pushes samples in blocks whose sizes cycle through `blocks`.
void PushInBlocks(Engine& engine, const std::vector<float>& samples,
                  const std::vector<size_t>& blocks) {
    size_t done = 0;
    for (size_t b = 0; done < samples.size(); ++b) {
        const size_t n = std::min(blocks[b % blocks.size()], samples.size() - done);
        engine.Push(samples.data() + done, n);
        done += n;
    }
}

std::string FinishError(Engine& engine) {
    try {
        const MeterResult r = engine.Finish();
        ADD_FAILURE() << "measured " << r.weightedPeakPercent << " % over " << r.measuredSeconds;
    } catch (const MeterError& e) {
        return e.what();
    }
    return {};
}

void ExpectDefaultReadings(const MeterResult& r) {
    EXPECT_NEAR(r.weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
    EXPECT_NEAR(r.unweightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
    EXPECT_NEAR(r.carrierHz, 3150.0, 0.005);
    EXPECT_NEAR(r.modulationHz, 4.0, 0.02);
}

TEST(MeterEngine, BlockSizesDoNotChangeTheReadings) {
    const std::vector<float> tone = Tone(20.0);
    std::vector<MeterResult> results;
    for (const std::vector<size_t>& blocks :
         {std::vector<size_t>{4096}, {1, 7, 333, 65536, 2}, {1000000}}) {
        Engine engine(kRate, {});
        PushInBlocks(engine, tone, blocks);
        results.push_back(engine.Finish());
    }
    ExpectDefaultReadings(results[0]);
    for (size_t i = 1; i < results.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(results[i].weightedPeakPercent, results[0].weightedPeakPercent);
        EXPECT_DOUBLE_EQ(results[i].weightedRmsPercent, results[0].weightedRmsPercent);
        EXPECT_DOUBLE_EQ(results[i].carrierHz, results[0].carrierHz);
        EXPECT_DOUBLE_EQ(results[i].measuredSeconds, results[0].measuredSeconds);
    }
}

TEST(MeterEngine, LostInputKeepsItsPlaceAndIsBridgedLikeADropOut) {
    const std::vector<float> tone = Tone(30.0);
    // 10 ms lost at 15 s: the samples are missing, the time goes on.
    const size_t at = 15 * kRate, lost = kRate / 100;
    Engine engine(kRate, {});
    engine.Push(tone.data(), at);
    engine.PushLost(static_cast<long long>(lost));
    engine.Push(tone.data() + at + lost, tone.size() - at - lost);
    const MeterResult r = engine.Finish();
    ExpectDefaultReadings(r);
    EXPECT_EQ(r.dropouts, 1);
    EXPECT_EQ(r.overruns, 1);
    EXPECT_EQ(r.lostFrames, static_cast<long long>(lost));
    EXPECT_NEAR(r.durationSeconds, 30.0, 1e-9);
    EXPECT_LT(r.measuredSeconds, 27.0 - 0.01);

    // Lost for longer than a drop-out, the stretch ends: the longer one after it is read.
    Engine gap(kRate, {});
    gap.Push(tone.data(), 8 * kRate);
    gap.PushLost(2 * kRate);
    gap.Push(tone.data() + 10 * kRate, 20 * kRate);
    const MeterResult g = gap.Finish();
    ExpectDefaultReadings(g);
    EXPECT_EQ(g.dropouts, 0);
    EXPECT_NEAR(g.startSeconds, 10.0 + kSettleSeconds, 0.1);
}

TEST(MeterEngine, WaitsForTheToneAndStartsAfreshWhenItReturns) {
    // 15 s of hiss (a tape's leader), 8 s of tone, 3 s of hiss, 20 s of tone.
    const std::vector<float> tone = Tone(28.0);
    std::vector<float> take = Hiss(15.0, 1);
    take.insert(take.end(), tone.begin(), tone.begin() + 8 * kRate);
    const std::vector<float> gap = Hiss(3.0, 2);
    take.insert(take.end(), gap.begin(), gap.end());
    take.insert(take.end(), tone.begin() + 8 * kRate, tone.end());

    MeterOptions options;
    std::vector<SecondReading> seconds;
    options.onSecond = [&seconds](const SecondReading& r) { seconds.push_back(r); };
    Engine engine(kRate, options);
    PushInBlocks(engine, take, {4410});
    const MeterResult r = engine.Finish();
    ExpectDefaultReadings(r);
    EXPECT_NEAR(r.startSeconds, 26.0 + kSettleSeconds, 0.1);
    EXPECT_NEAR(r.measuredSeconds, 20.0 - kSettleSeconds, 0.1);

    ASSERT_EQ(seconds.size(), 46u);
    for (size_t s = 0; s < seconds.size(); ++s) {
        SCOPED_TRACE(s);
        EXPECT_EQ(seconds[s].timeSeconds, static_cast<double>(s));
        const bool present = (s >= 15 && s < 23) || s >= 26;
        // The seconds at either edge of a stretch hold part of it.
        const bool edge = s == 15 || s == 22 || s == 23 || s == 26 || s == 45;
        if (!edge) {
            EXPECT_EQ(seconds[s].tonePresent, present);
        }
        if (s < 14) {
            EXPECT_EQ(seconds[s].state, MeterState::kWaiting);
        }
        if (s == 24) {
            EXPECT_EQ(seconds[s].state, MeterState::kNoTone);
        }
        // Readings over the window only once the stretch has settled (3 s) and filled it (5 s),
        // and only of that stretch: the first one is too short for them.
        const bool windowFull = s >= 26 + 8;
        if (s != 33) {
            EXPECT_EQ(std::isfinite(seconds[s].weightedPeakPercent), windowFull)
                << seconds[s].weightedPeakPercent;
        }
        if (windowFull) {
            EXPECT_NEAR(seconds[s].weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
            EXPECT_NEAR(seconds[s].weightedRmsPercent, 0.70711, 0.01);
            EXPECT_NEAR(seconds[s].modulationHz, 4.0, 0.1);
            EXPECT_EQ(seconds[s].state, MeterState::kMeasuring);
        }
        if (present && !edge) {
            EXPECT_NEAR(seconds[s].speedErrorPercent, 0.0, 0.001);
        }
    }
    EXPECT_NEAR(seconds.back().sessionWeightedPeakPercent, r.weightedPeakPercent, 0.002);
}

TEST(MeterEngine, SearchesAfreshWhenTheToneReturnsAtAnotherCarrierAndLevel) {
    // A test record's bands: 12 s at 3150 Hz (0.5 % at 4 Hz), 2 s of groove hiss, then 20 s at
    // 3000 Hz (1 %) 30 dB quieter: outside the first band's gate, at a carrier of its own.
    const std::vector<float> first = Tone(12.0, 0.5);
    const std::vector<float> second = Tone(20.0, 1.0, 3000.0, 0.03);
    std::vector<float> take = first;
    const std::vector<float> gap = Hiss(2.0, 3);
    take.insert(take.end(), gap.begin(), gap.end());
    take.insert(take.end(), second.begin(), second.end());

    MeterOptions options;
    std::vector<SecondReading> seconds;
    options.onSecond = [&seconds](const SecondReading& r) { seconds.push_back(r); };
    Engine engine(kRate, options);
    PushInBlocks(engine, take, {4096, 441});
    EXPECT_EQ(engine.Latest().state, MeterState::kMeasuring);
    EXPECT_NEAR(engine.Latest().carrierHz, 3000.0, 0.05);
    const MeterResult r = engine.Finish();
    // The longer, later band is read, against its own nominal.
    EXPECT_NEAR(r.carrierHz, 3000.0, 0.005);
    EXPECT_DOUBLE_EQ(r.nominalHz, 3000.0);
    EXPECT_NEAR(r.weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
    EXPECT_NEAR(r.startSeconds, 14.0 + kSettleSeconds, 0.1);

    ASSERT_EQ(seconds.size(), 34u);
    for (size_t s = 0; s < seconds.size(); ++s) {
        SCOPED_TRACE(s);
        const SecondReading& at = seconds[s];
        if (s >= 1 && s < 11) {
            EXPECT_NEAR(at.carrierHz, 3150.0, 0.05);
        }
        if (s == 13) {
            EXPECT_EQ(at.state, MeterState::kNoTone);
        }
        if (s >= 15 && s < 33) {
            EXPECT_NEAR(at.carrierHz, 3000.0, 0.05);
            EXPECT_NEAR(at.speedErrorPercent, 0.0, 0.002);
        }
        // Each band's window figures come from that band alone: the first reads half the
        // second, and the second's window opens 8 s after it starts.
        if (s >= 8 && s < 12) {
            EXPECT_NEAR(at.weightedPeakPercent, 0.5 * kTwoSigma, 0.01);
        }
        if (s >= 12 && s < 22) {
            EXPECT_FALSE(std::isfinite(at.weightedPeakPercent)) << at.weightedPeakPercent;
        }
        if (s >= 23) {
            EXPECT_NEAR(at.weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
        }
        // The session's figure is the longest stretch's: the first band's until the second
        // outgrows it.
        if (s >= 10 && s < 20) {
            EXPECT_NEAR(at.sessionWeightedPeakPercent, 0.5 * kTwoSigma, 0.01);
        }
    }
    EXPECT_NEAR(seconds.back().sessionWeightedPeakPercent, r.weightedPeakPercent, 0.002);
    // Speed error along the whole span, each band against its own nominal.
    ASSERT_EQ(r.speedError.high.size(), 34u);
    EXPECT_NEAR(r.speedError.high[5], 0.0, 0.002);
    EXPECT_TRUE(std::isnan(r.speedError.high[13]));
    EXPECT_NEAR(r.speedError.high[25], 0.0, 0.002);
}

TEST(MeterEngine, LatestReadingsFollowTheInputBetweenTheSeconds) {
    const std::vector<float> tone = Tone(12.0);
    MeterOptions options;
    int secondsSeen = 0;
    options.onSecond = [&secondsSeen](const SecondReading&) { ++secondsSeen; };
    std::vector<TracePoint> trace;
    options.onTrace = [&trace](const TracePoint& p) { trace.push_back(p); };
    std::vector<WindowSpectrum> spectra;
    options.onSpectrum = [&spectra](const WindowSpectrum& w) { spectra.push_back(w); };
    Engine engine(kRate, options);
    EXPECT_EQ(engine.Latest().state, MeterState::kWaiting);
    const size_t half = kRate / 2;
    for (size_t done = 0; done < tone.size(); done += half) {
        engine.Push(tone.data() + done, std::min(half, tone.size() - done));
        const SecondReading now = engine.Latest();
        const double pushed = static_cast<double>(done + half) / kRate;
        SCOPED_TRACE(pushed);
        // The newest audio demodulated lags the input by the filters' delay only.
        if (pushed > 2.0) {
            EXPECT_LE(now.timeSeconds, pushed);
            EXPECT_GT(now.timeSeconds, pushed - 0.1);
            EXPECT_NEAR(now.carrierHz, 3150.0, 0.1);
        }
        if (pushed >= 8.5) {
            EXPECT_EQ(now.state, MeterState::kMeasuring);
            EXPECT_NEAR(now.weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
            // The modulation comes with the spectrum, once a second.
            if (pushed >= 9.5) {
                EXPECT_NEAR(now.modulationHz, 4.0, 0.1);
            }
        } else if (pushed >= 1.5 && pushed < 7.5) {
            EXPECT_EQ(now.state, MeterState::kSettling);
        }
    }
    EXPECT_EQ(secondsSeen, 11);  // the twelfth closes at Finish

    // The trace: a point every 20 ms from the filters' settling on, the tone's 1 % swing
    // between its lowest and highest values.
    ASSERT_GT(trace.size(), 400u);
    float lowest = 0.0f, highest = 0.0f;
    for (size_t i = 1; i < trace.size(); ++i) {
        EXPECT_NEAR(trace[i].timeSeconds - trace[i - 1].timeSeconds, kTracePointSeconds, 1e-3);
        if (trace[i].timeSeconds > 3.5) {
            EXPECT_FALSE(std::isnan(trace[i].weightedHigh)) << trace[i].timeSeconds;
            lowest = std::min(lowest, trace[i].unweightedLow);
            highest = std::max(highest, trace[i].unweightedHigh);
        }
    }
    EXPECT_NEAR(highest, 1.0, 0.02);
    EXPECT_NEAR(lowest, -1.0, 0.02);
    // The window's spectrum each second once the window is full: its largest line at 4 Hz.
    ASSERT_EQ(spectra.size(), 3u);
    EXPECT_DOUBLE_EQ(spectra.back().timeSeconds, 10.0);
    ASSERT_FALSE(spectra.back().lines.empty());
    EXPECT_NEAR(spectra.back().lines[0].hz, 4.0, 0.1);
    EXPECT_NEAR(spectra.back().lines[0].percent, 1.0, 0.05);
    EXPECT_EQ(spectra.back().hz.size(), spectra.back().percent.size());
}

TEST(MeterEngine, FinishesAtAnyMomentWithWhatItSaw) {
    const std::vector<float> tone = Tone(30.0);
    Engine early(kRate, {});
    early.Push(tone.data(), 12 * kRate);
    const MeterResult r = early.Finish();
    ExpectDefaultReadings(r);
    EXPECT_NEAR(r.durationSeconds, 12.0, 1e-9);
    EXPECT_NEAR(r.measuredSeconds, 12.0 - kSettleSeconds, 0.1);

    // Before the readings could form, and before the carrier was even found.
    Engine soon(kRate, {});
    soon.Push(tone.data(), 6 * kRate);
    EXPECT_NE(FinishError(soon).find("too short"), std::string::npos);
    Engine sooner(kRate, {});
    sooner.Push(tone.data(), kRate / 10);
    EXPECT_NE(FinishError(sooner).find("too short"), std::string::npos);
}

TEST(MeterEngine, WindowSetsWhenTheSecondsReadingsFormAndTheSpeedErrorIsKeptAlongTheSpan) {
    const std::vector<float> tone = Tone(20.0);
    MeterOptions options;
    options.windowSeconds = 10.0;
    std::vector<SecondReading> seconds;
    options.onSecond = [&seconds](const SecondReading& r) { seconds.push_back(r); };
    Engine engine(kRate, options);
    PushInBlocks(engine, tone, {4096});
    const MeterResult r = engine.Finish();
    ASSERT_EQ(seconds.size(), 20u);
    // Three seconds to settle (from the filters' first full sample, a few ms in) and ten of
    // window: the first figure closes second 13.
    EXPECT_FALSE(std::isfinite(seconds[12].weightedPeakPercent));
    EXPECT_NEAR(seconds[13].weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);

    ASSERT_EQ(r.speedError.low.size(), 20u);
    EXPECT_DOUBLE_EQ(r.speedError.stretchSeconds, 1.0);
    for (size_t s = 1; s < 19; ++s) EXPECT_NEAR(r.speedError.high[s], 0.0, 0.001) << s;
}

TEST(MeterEngine, CsvRowsHoldEveryFigureAndLeaveMissingOnesEmpty) {
    SecondReading r;
    r.timeSeconds = 7.0;
    r.carrierHz = 3150.12345;
    r.speedErrorPercent = -0.00001;
    r.weightedPeakPercent = 0.0997;
    r.unweightedPeakPercent = NAN;
    r.weightedRmsPercent = 0.0705;
    r.modulationHz = NAN;
    r.tonePresent = true;
    r.weightedQuasiPeakPercent = 0.1;
    r.flutterRmsPercent = 0.05;
    r.sessionDriftPercent = 0.0012346;
    EXPECT_EQ(CsvRow(r), "7,3150.1235,0.0000,0.099700,,0.070500,,1,0.100000,,0.050000,0.001235");
    EXPECT_EQ(std::string(kCsvHeader).substr(0, 25), "time (s),carrier (Hz),spe");
}

}  // namespace
}  // namespace wobblemeter
