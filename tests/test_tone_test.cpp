// Tests of the test-tone generator: golden samples, block writes, degenerate lengths, argument
// checks, and a measurement of the frequency modulation actually written.
#include "synth/test_tone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "wave/wave_header.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Tone {
    int rate = 44100;
    double center = 3150.0;
    double level = 1.0;
    double mod = 4.0;
    double duration = 30.0;
};

// Bytes written for a tone, with the size of every write call.
struct Written {
    std::vector<unsigned char> bytes;
    std::vector<size_t> writes;
};

Written Write(const Tone& tone) {
    RecordingStream stream;
    ::testing::internal::CaptureStdout();  // the header summary
    EXPECT_EQ(
        WriteTestTone(stream.file(), tone.rate, tone.center, tone.level, tone.mod, tone.duration),
        0);
    ::testing::internal::GetCapturedStdout();
    return {stream.bytes(), stream.writeSizes()};
}

std::vector<int16_t> Samples(const Written& written) {
    std::vector<int16_t> samples;
    for (size_t i = 44; i + 1 < written.bytes.size(); i += 2) {
        samples.push_back(static_cast<int16_t>(written.bytes[i] | (written.bytes[i + 1] << 8)));
    }
    return samples;
}

TEST(TestTone, DefaultSignalStartsWithGoldenSamples) {
    Tone tone;
    tone.duration = 0.01;
    const std::vector<int16_t> samples = Samples(Write(tone));
    ASSERT_GE(samples.size(), 12u);
    const std::vector<int16_t> first(samples.begin(), samples.begin() + 12);
    EXPECT_EQ(first, (std::vector<int16_t>{7109, 12810, 15973, 15973, 12809, 7108, -1, -7110,
                                           -12810, -15974, -15973, -12808}));
}

TEST(TestTone, DefaultFileHasHeaderSizeAndBlockPattern) {
    const Written written = Write(Tone{});
    EXPECT_EQ(written.bytes.size(), 2646044u);
    const std::vector<unsigned char> header(written.bytes.begin(), written.bytes.begin() + 44);
    EXPECT_EQ(header, (std::vector<unsigned char>{
                          0x52, 0x49, 0x46, 0x46, 0x14, 0x60, 0x28, 0x00, 0x57, 0x41, 0x56,
                          0x45, 0x66, 0x6D, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                          0x01, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x88, 0x58, 0x01, 0x00, 0x02,
                          0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0xF0, 0x5F, 0x28, 0x00}));
    // 13 header items, then 161 full blocks of 16384 bytes and a final 4088 samples.
    if (RecordingStream::kRecordsWrites) {
        ASSERT_EQ(written.writes.size(), 13u + 161u + 1u);
        for (size_t i = 13; i < 13 + 161; ++i) ASSERT_EQ(written.writes[i], 16384u) << i;
        EXPECT_EQ(written.writes.back(), 8176u);
    }
    const std::vector<int16_t> samples = Samples(written);
    int16_t lowest = 0;
    int16_t highest = 0;
    for (int16_t s : samples) {
        lowest = std::min(lowest, s);
        highest = std::max(highest, s);
    }
    EXPECT_GE(lowest, -16384);
    EXPECT_LE(highest, 16384);
    EXPECT_GT(highest, 16380);
}

TEST(TestTone, ExactlyOneBlockNeedsNoFinalWrite) {
    Tone tone;
    tone.rate = 8192;
    tone.duration = 1.0;
    const Written written = Write(tone);
    if (RecordingStream::kRecordsWrites) {
        ASSERT_EQ(written.writes.size(), 14u);
        EXPECT_EQ(written.writes.back(), 16384u);
    }
    EXPECT_EQ(written.bytes.size(), 44u + 16384u);
}

TEST(TestTone, ZeroDurationOrZeroRateGivesHeaderOnly) {
    Tone shortTone;
    shortTone.duration = 0.0;
    const Written empty = Write(shortTone);
    EXPECT_EQ(empty.bytes.size(), 44u);
    EXPECT_EQ(WaveHeader.dataSize, 0);
    EXPECT_EQ(WaveHeader.chunkSize, 36);

    Tone noRate;
    noRate.rate = 0;
    const Written header = Write(noRate);
    EXPECT_EQ(header.bytes.size(), 44u);
    EXPECT_EQ(WaveHeader.sampleRate, 0);
    EXPECT_EQ(WaveHeader.avgBytesPerSec, 0);
}

TEST(TestTone, LevelZeroAndModulationZeroGiveTheSamePureSine) {
    Tone flat;
    flat.level = 0.0;
    flat.duration = 2.0;
    Tone still;
    still.mod = 0.0;
    still.level = 5.0;
    still.duration = 2.0;
    const std::vector<int16_t> a = Samples(Write(flat));
    const std::vector<int16_t> b = Samples(Write(still));
    EXPECT_EQ(a, b);
    ASSERT_EQ(a.size(), 88200u);
    // Against a closed-form sine: the accumulated phase may differ in its last bits.
    for (size_t i = 0; i < a.size(); ++i) {
        const double cycles = static_cast<double>(i + 1) * 3150.0 / 44100.0;
        const double expected = std::round(16384.0 * std::sin(2.0 * kPi * cycles));
        ASSERT_LE(std::fabs(a[i] - expected), 1.0) << "sample " << i;
    }
}

// Zero crossings, interpolated linearly, give the instantaneous frequency of each cycle; a
// least-squares fit of centre + a sin + b cos at the modulation frequency must explain it.
TEST(TestTone, DefaultSignalSwingsOnePercentAtFourHertz) {
    const std::vector<int16_t> s = Samples(Write(Tone{}));
    std::vector<double> crossings;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            const double fraction = -s[i - 1] / static_cast<double>(s[i] - s[i - 1]);
            crossings.push_back((static_cast<double>(i - 1) + fraction) / 44100.0);
        }
    }
    ASSERT_GT(crossings.size(), 94000u);
    // Fit f(t) = c + a sin(w t) + b cos(w t) by normal equations over (1, sin, cos).
    auto fit = [&](double modHz, double& c, double& amplitude) {
        double m[3][4] = {};
        for (size_t k = 1; k < crossings.size(); ++k) {
            const double t = 0.5 * (crossings[k] + crossings[k - 1]);
            const double f = 1.0 / (crossings[k] - crossings[k - 1]);
            const double basis[3] = {1.0, std::sin(2 * kPi * modHz * t),
                                     std::cos(2 * kPi * modHz * t)};
            for (int r = 0; r < 3; ++r) {
                for (int q = 0; q < 3; ++q) m[r][q] += basis[r] * basis[q];
                m[r][3] += basis[r] * f;
            }
        }
        for (int p = 0; p < 3; ++p) {  // Gauss-Jordan on a well-conditioned 3x3
            for (int r = 0; r < 3; ++r) {
                if (r == p) continue;
                const double factor = m[r][p] / m[p][p];
                for (int q = 0; q < 4; ++q) m[r][q] -= factor * m[p][q];
            }
        }
        c = m[0][3] / m[0][0];
        const double a = m[1][3] / m[1][1];
        const double b = m[2][3] / m[2][2];
        amplitude = std::hypot(a, b);
    };
    double center = 0.0;
    double swing = 0.0;
    fit(4.0, center, swing);
    EXPECT_NEAR(center, 3150.0, 0.1);
    EXPECT_NEAR(swing, 31.5, 0.3);  // 1 % of 3150 Hz
    double otherCenter = 0.0;
    double otherSwing = 0.0;
    fit(3.9, otherCenter, otherSwing);
    EXPECT_LT(otherSwing, 3.0);  // the swing is at 4 Hz, not near it
}

// Each documented limit from both sides: the last value allowed and the first refused.
TEST(TestToneArguments, LimitsAreAllowedUpToTheirEdge) {
    const struct {
        int rate;
        double center, level, mod, duration;
        ToneArgument blamed;
    } cases[] = {
        {44100, 3150, 1, 4, 30, ToneArgument::kNone},
        {0, 3150, 1, 4, 1e300, ToneArgument::kNone},  // no frames at rate 0, however long
        {44100, -3150, -1, -4, 0, ToneArgument::kNone},
        {2147483647, 3150, 1, 4, 0, ToneArgument::kNone},
        {-1, 3150, 1, 4, 0, ToneArgument::kSampleRate},
        {44100, 3150, 1, 4, -0.0, ToneArgument::kNone},
        {44100, 3150, 1, 4, -1e-300, ToneArgument::kDuration},
        // 1073741805 frames is the largest count whose chunk size fits, and rounding half up
        // reaches it from just below.
        {1, 3150, 1, 4, 1073741805.0, ToneArgument::kNone},
        {1, 3150, 1, 4, 1073741805.49, ToneArgument::kNone},
        {1, 3150, 1, 4, 1073741805.5, ToneArgument::kDuration},
        {1, 3150, 1, 4, 1073741806.0, ToneArgument::kDuration},
        {44100, 3150, 1, 4, 24347.886746, ToneArgument::kNone},
        {44100, 3150, 1, 4, 24347.886747, ToneArgument::kDuration},
        // Phases stay below 1e300 cycles: |center| x (1 + |level| / 100) x duration (1 s here),
        // |mod| x duration.
        {44100, 9.9e299, 1, 4, 1, ToneArgument::kNone},
        {44100, 9.91e299, 1, 4, 1, ToneArgument::kCenterFrequency},
        {44100, 1, 9.9e301, 4, 1, ToneArgument::kNone},
        {44100, 1, 1e302, 4, 1, ToneArgument::kLevel},
        {44100, 3150, 1, 9.9e299, 1, ToneArgument::kNone},
        {44100, 3150, 1, -1e300, 1, ToneArgument::kModFrequency},
    };
    for (const auto& c : cases) {
        char message[256] = "";
        EXPECT_EQ(CheckTestToneArguments(c.rate, c.center, c.level, c.mod, c.duration, message,
                                         sizeof message),
                  c.blamed)
            << c.rate << " Hz, " << c.center << " Hz, " << c.level << " %, " << c.mod << " Hz, "
            << c.duration << " s: " << message;
    }
}

// The whole message: the value, the argument's name and what is allowed, with the longest
// duration printed in enough digits to differ from the rejected one.
TEST(TestToneArguments, BadValuesAreNamedWithWhatIsAllowed) {
    struct Case {
        int rate;
        double center, level, mod, duration;
        ToneArgument blamed;
        const char* message;
    };
    const double nan = std::nan("");
    const double inf = INFINITY;
    const Case cases[] = {
        {44100, nan, 1, 4, 30, ToneArgument::kCenterFrequency,
         "Center frequency nan is not allowed: it must be a finite number"},
        {44100, 3150, inf, 4, 30, ToneArgument::kLevel,
         "Level inf is not allowed: it must be a finite number"},
        {44100, 3150, 1, -inf, 30, ToneArgument::kModFrequency,
         "Modulation frequency -inf is not allowed: it must be a finite number"},
        {44100, 3150, 1, 4, nan, ToneArgument::kDuration,
         "Duration nan is not allowed: it must be a finite number"},
        {-1, 3150, 1, 4, 30, ToneArgument::kSampleRate,
         "Sample rate -1 Hz is not allowed: it must be 0 to 2147483647 Hz"},
        {44100, 3150, 1, 4, -0.00001, ToneArgument::kDuration,
         "Duration -1e-05 s is not allowed: it must be 0 s or more"},
        {1, 3150, 1, 4, 1073741806.0, ToneArgument::kDuration,
         "Duration 1073741806 s at 1 Hz gives 1073741806 samples: allowed are 0 to 1073741805 "
         "(1073741805 s at this rate)"},
        {44100, 3150, 1, 4, 24347.887, ToneArgument::kDuration,
         "Duration 24347.887 s at 44100 Hz gives 1073741817 samples: allowed are 0 to "
         "1073741805 (24347.88673 s at this rate)"},
        {2147483647, 3150, 1, 4, 0.5, ToneArgument::kDuration,
         "Duration 0.5 s at 2147483647 Hz gives 1073741824 samples: allowed are 0 to 1073741805 "
         "(0.4999999914 s at this rate)"},
        {44100, 3150, 1, 4, 1e300, ToneArgument::kDuration,
         "Duration 1e+300 s at 44100 Hz gives 4.41e+304 samples: allowed are 0 to 1073741805 "
         "(24347.88673 s at this rate)"},
        {44100, 1e300, 1, 4, 30, ToneArgument::kCenterFrequency,
         "Center frequency 1e+300 Hz at level 1 % over 30 s is too large: |center| x (1 + "
         "|level| / 100) x duration must stay below 1e+300 cycles"},
        {44100, 3150, 1e308, 4, 30, ToneArgument::kLevel,
         "Level 1e+308 % of 3150 Hz over 30 s is too large: |center| x (1 + |level| / 100) x "
         "duration must stay below 1e+300 cycles"},
        {44100, 1e200, 1e200, 4, 30, ToneArgument::kLevel,
         "Level 1e+200 % of 1e+200 Hz over 30 s is too large: |center| x (1 + |level| / 100) x "
         "duration must stay below 1e+300 cycles"},
        {44100, 3150, 1, 1e300, 30, ToneArgument::kModFrequency,
         "Modulation frequency 1e+300 Hz over 30 s is too large: |modulation| x duration must "
         "stay below 1e+300 cycles"},
    };
    for (const Case& c : cases) {
        char message[256] = "";
        EXPECT_EQ(CheckTestToneArguments(c.rate, c.center, c.level, c.mod, c.duration, message,
                                         sizeof message),
                  c.blamed)
            << c.message;
        EXPECT_STREQ(message, c.message);
    }
}

// rate x duration + 0.5, truncated toward zero: a product just below a whole number in binary
// (44100 x 0.7 is 30869.999999999996) rounds up to it, an exact half rounds up.
TEST(TestToneArguments, FrameCountRoundsHalfUp) {
    EXPECT_EQ(TestToneFrames(44100, 0.7), 30870);
    EXPECT_EQ(TestToneFrames(44100, 0.57), 25137);
    EXPECT_EQ(TestToneFrames(48000, 0.071), 3408);
    EXPECT_EQ(TestToneFrames(8000, 1.001), 8008);
    EXPECT_EQ(TestToneFrames(2, 0.25), 1);
    EXPECT_EQ(TestToneFrames(2, 0.2499), 0);
    EXPECT_EQ(TestToneFrames(44100, 30), 1323000);
}

TEST(TestToneArguments, GeneratorRejectsBeforeOpeningTheFile) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("wobblegen-test-" + std::to_string(std::random_device{}())))
                                 .string();
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(fwrite("keep", 1, 4, file), 4u);
    fclose(file);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(GenerateTestTone(44100, path.c_str(), 3150, 1, 4, -30), kTestToneRejected);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Opened"), std::string::npos);
    EXPECT_NE(out.find("Duration -30"), std::string::npos);
    file = fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    char kept[8] = "";
    EXPECT_EQ(fread(kept, 1, sizeof kept, file), 4u);
    fclose(file);
    std::filesystem::remove(path);
}

TEST(TestTone, FailedSampleWriteStopsAndReports) {
    if (!RecordingStream::kCanFail) GTEST_SKIP() << "no stream here fails on demand";
    RecordingStream stream(/*failAfterBytes=*/44 + 16384);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(WriteTestTone(stream.file(), 44100, 3150, 1, 4, 30), -1);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(stream.bytes().size(), 44u + 16384u);
}

}  // namespace
