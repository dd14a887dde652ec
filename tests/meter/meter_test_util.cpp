// Scratch files and test tones for the meter tests.
#include "tests/meter/meter_test_util.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "synth/test_tone.h"

namespace wobblemeter_test {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wobblemeter-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteTone(const std::string& path, int rate, double carrierHz, double levelPercent,
               double modHz, double seconds) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    const int written = WriteTestTone(file, rate, carrierHz, levelPercent, modHz, seconds);
    ASSERT_EQ(std::fclose(file), 0);
    ASSERT_EQ(written, 0) << path;
}

std::vector<double> ReadSamples(const std::string& path, SF_INFO& info) {
    info = {};
    SNDFILE* in = sf_open(path.c_str(), SFM_READ, &info);
    if (in == nullptr) throw std::runtime_error("cannot read " + path);
    std::vector<double> samples(static_cast<size_t>(info.frames) *
                                static_cast<size_t>(info.channels));
    sf_readf_double(in, samples.data(), info.frames);
    sf_close(in);
    return samples;
}

void WriteSamples(const std::string& path, int rate, int channels, int format,
                  const std::vector<double>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
    const auto frames = static_cast<sf_count_t>(samples.size() / static_cast<size_t>(channels));
    EXPECT_EQ(sf_writef_double(out, samples.data(), frames), frames);
    sf_close(out);
}

std::vector<double> SwingSamples(const SwingTone& tone) {
    const auto n = static_cast<size_t>(tone.seconds * tone.rate);
    std::vector<double> samples(n);
    // The carrier's phase in cycles, kept below one so that it loses no precision over a long
    // file; the modulation's phase integrated in closed form.
    const double swing = tone.carrierHz * tone.deviationPercent / 100.0 / (2.0 * M_PI * tone.modHz);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / tone.rate;
        const double carrier = tone.carrierHz * t;
        const double cycles = carrier - std::floor(carrier);
        const double mod = swing * (std::cos(tone.modPhase) -
                                    std::cos(2.0 * M_PI * tone.modHz * t + tone.modPhase));
        double jump = 0.0;
        bool silent = false;
        for (const Dropout& d : tone.dropouts) {
            if (t >= d.startSeconds + d.seconds)
                jump += tone.dropoutJump;
            else if (t >= d.startSeconds)
                silent = true;
        }
        samples[i] =
            silent
                ? 0.0
                : 0.5 * std::sin(2.0 * M_PI * cycles + tone.startPhase + jump + 2.0 * M_PI * mod);
    }
    return samples;
}

void Reencode(const std::string& from, const std::string& to, int format) {
    SF_INFO info;
    const std::vector<double> samples = ReadSamples(from, info);
    WriteSamples(to, info.samplerate, info.channels, format, samples);
}

}  // namespace wobblemeter_test
