// Recordings the meter cannot measure: each gives a MeterError whose one line says why.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>

#include "meter/meter.h"
#include "tests/meter/meter_test_util.h"

namespace wobblemeter {
namespace {

using wobblemeter_test::ScratchDir;
using wobblemeter_test::WriteSamples;
using wobblemeter_test::WriteTone;

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

class MeterBadInput : public ::testing::Test {
protected:
    // The message of the MeterError that measuring path gives; fails when there is none.
    std::string ErrorOf(const std::string& path, const MeterOptions& options = {}) {
        try {
            const MeterResult r = MeasureFile(path, options);
            ADD_FAILURE() << path << " was measured: " << r.weightedPeakPercent << " %";
        } catch (const MeterError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
            return message;
        }
        return {};
    }
    std::vector<double> Sine(int rate, double hz, double seconds) {
        std::vector<double> s(static_cast<size_t>(rate * seconds));
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = 0.5 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate);
        return s;
    }
    ScratchDir dir_;
};

TEST_F(MeterBadInput, FilesThatAreNotAudioOrMissing) {
    const std::string text = dir_.Path("notes.wav");
    std::ofstream(text) << "these are notes, not audio\n";
    EXPECT_NE(ErrorOf(text).find("not an audio file"), std::string::npos);
    EXPECT_NE(ErrorOf(dir_.Path("missing.wav")).find("cannot open it"), std::string::npos);
}

TEST_F(MeterBadInput, EmptyAndTruncatedFiles) {
    const std::string empty = dir_.Path("empty.wav");
    WriteSamples(empty, 44100, 1, kWav16, {});
    EXPECT_NE(ErrorOf(empty).find("the header declares no audio"), std::string::npos);
    // A recorder that stopped before it wrote the sizes: audio follows a data chunk of 0 bytes.
    const std::string tone = dir_.Path("tone.wav");
    WriteTone(tone, 44100, 3150.0, 1.0, 4.0, 6.0);
    std::fstream unfinished(tone, std::ios::in | std::ios::out | std::ios::binary);
    unfinished.seekp(40);  // the size of the data chunk of the generator's 44-byte header
    unfinished.write("\0\0\0\0", 4);
    unfinished.close();
    EXPECT_NE(ErrorOf(tone).find("the header declares no audio: an unfinished recording?"),
              std::string::npos);

    // A copy that stopped short, by most of a file or by the last byte or few.
    const std::string whole = dir_.Path("whole.wav");
    WriteTone(whole, 44100, 3150.0, 1.0, 4.0, 30.0);
    const auto size = std::filesystem::file_size(whole);
    const std::string cut = dir_.Path("cut.wav");
    for (const auto missing : {size - 2000000, std::uintmax_t{3}}) {
        SCOPED_TRACE(missing);
        std::filesystem::copy_file(whole, cut, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::resize_file(cut, size - missing);
        EXPECT_EQ(ErrorOf(cut), "the file is truncated: " + std::to_string(missing) +
                                    " bytes of the audio its header declares are missing");
    }
    std::filesystem::resize_file(cut, size - 1);  // half of the last sample
    EXPECT_EQ(ErrorOf(cut).rfind("the file is truncated: 1 ", 0), 0u);
}

TEST_F(MeterBadInput, SilenceShortToneAndNoise) {
    const std::string silent = dir_.Path("silent.wav");
    WriteSamples(silent, 44100, 1, kWav16, std::vector<double>(441000, 0.0));
    EXPECT_NE(ErrorOf(silent).find("silent"), std::string::npos);

    const std::string shortTone = dir_.Path("short.wav");
    WriteTone(shortTone, 44100, 3150.0, 1.0, 4.0, 4.9);
    EXPECT_NE(ErrorOf(shortTone).find("too short"), std::string::npos);
    // A single frame is audio too, far too short for a tone.
    const std::string one = dir_.Path("one.wav");
    WriteSamples(one, 44100, 1, kWav16, {0.1});
    EXPECT_EQ(ErrorOf(one), "no steady tone: the recording is too short to find one");

    std::mt19937 random(7);
    std::normal_distribution<double> gauss(0.0, 0.1);
    std::vector<double> noise(441000);
    for (double& x : noise) x = gauss(random);
    const std::string hiss = dir_.Path("noise.wav");
    WriteSamples(hiss, 44100, 1, kWav16, noise);
    EXPECT_NE(ErrorOf(hiss).find("no steady tone"), std::string::npos);
}

TEST_F(MeterBadInput, CarrierOutsideTheRange) {
    const std::string hum = dir_.Path("hum.wav");
    WriteSamples(hum, 44100, 1, kWav16, Sine(44100, 100.0, 10.0));
    EXPECT_NE(ErrorOf(hum).find("outside the carrier range"), std::string::npos);

    const std::string whistle = dir_.Path("whistle.wav");
    WriteSamples(whistle, 96000, 1, kWav16, Sine(96000, 22000.0, 10.0));
    EXPECT_NE(ErrorOf(whistle).find("outside the carrier range"), std::string::npos);

    MeterOptions options;
    options.carrierHz = 300.0;
    EXPECT_NE(ErrorOf(hum, options).find("outside"), std::string::npos);
}

TEST_F(MeterBadInput, SamplesThatAreNotNumbersAndUnsupportedRates) {
    std::vector<double> samples = Sine(44100, 3150.0, 10.0);
    samples[200000] = std::numeric_limits<double>::quiet_NaN();
    const std::string nan = dir_.Path("nan.wav");
    WriteSamples(nan, 44100, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, samples);
    EXPECT_NE(ErrorOf(nan).find("not audio"), std::string::npos);

    const std::string slow = dir_.Path("slow.wav");
    WriteSamples(slow, 4000, 1, kWav16, Sine(4000, 1000.0, 10.0));
    EXPECT_NE(ErrorOf(slow).find("sample rate"), std::string::npos);
}

TEST_F(MeterBadInput, BytesInMemoryThatAreNoAudioFile) {
    const unsigned char riff[] = {'R', 'I', 'F', 'F', 0xff, 0xff, 0xff, 0x7f,
                                  'W', 'A', 'V', 'E', 'f',  'm',  't',  ' '};
    EXPECT_THROW(MeasureMemory(riff, sizeof riff, {}), MeterError);
    EXPECT_THROW(MeasureMemory(riff, 0, {}), MeterError);
}

}  // namespace
}  // namespace wobblemeter
