// The meter's table of messages: one row per name, in order, each formatting as its callers
// format it; and the refusals users meet most, whole, with their status, from the code that
// meets them.
#include "meter/message.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "meter/meter.h"
#include "meter/output/csv_log.h"
#include "tests/meter/meter_test_util.h"

namespace wobblemeter {
namespace {

TEST(MessageTable, HoldsOneRowPerNameInTheNamesOrder) {
    for (int i = 0; i < static_cast<int>(Msg::kCount); ++i) {
        const Msg id = static_cast<Msg>(i);
        EXPECT_EQ(EntryOf(id).id, id) << "row " << i;
        EXPECT_NE(std::string(EntryOf(id).text), "") << "row " << i;
    }
}

TEST(MessageTable, RefusesTheCountAsAName) {
    EXPECT_THROW(EntryOf(Msg::kCount), std::out_of_range);
}

TEST(MessageTable, FillsInTheArgumentsOfARow) {
    EXPECT_EQ(Text(Msg::kRecordingTooShort, 2.5, 8.0),
              "the recording is too short: 2.50 s of tone, at least 8.00 s needed");
}

TEST(MeterErrorFromTable, SaysTheRowsWordsAndExitsWithItsStatus) {
    const MeterError error(Msg::kToneStops, 12.25, 4.0, 8.0);
    EXPECT_STREQ(error.what(),
                 "the tone stops at 12.2 s: its longest stretch holds 4.0 s of tone, at least "
                 "8.0 s needed");
    EXPECT_EQ(error.id(), Msg::kToneStops);
    EXPECT_EQ(error.status(), 1);
}

TEST(MeterErrorFromTable, WordsOutsideTheTableFailWithStatusOne) {
    const MeterError error("libsndfile: unknown format");
    EXPECT_STREQ(error.what(), "libsndfile: unknown format");
    EXPECT_EQ(error.status(), 1);
}

TEST(MessageFormat, KeepsTextLongerThanAnyFixedBuffer) {
    const std::string path(2000, 'a');
    EXPECT_EQ(Format("cannot read %s: gone", path.c_str()), "cannot read " + path + ": gone");
}

// A name shown in a message: one line, no control reaching the terminal, letters as they are.
TEST(QuotedName, EscapesControlsAndBytesNotUtf8AndLeavesLettersAndBackslashes) {
    EXPECT_EQ(QuotedName("evil\nwobblemeter: good.wav: forged.wav"),
              "evil\\nwobblemeter: good.wav: forged.wav");
    EXPECT_EQ(QuotedName("a\tb\rc"), "a\\tb\\rc");
    EXPECT_EQ(QuotedName("\x1b[31mred\x7f\x01"), "\\x1B[31mred\\x7F\\x01");
    EXPECT_EQ(QuotedName(std::string_view("nul\0end", 7)), "nul\\x00end");
    // C1 controls (CSI) written in UTF-8, a stray continuation byte, a truncated sequence, an
    // overlong slash.
    EXPECT_EQ(QuotedName("\xc2\x9b"
                         "2J \x80 \xe2\x82 \xc0\xaf"),
              "\\xC2\\x9B2J \\x80 \\xE2\\x82 \\xC0\\xAF");
    EXPECT_EQ(QuotedName("C:\\takes\\Plattenspieler \u00fc\u00df \u97f3 \U0001f3b5.wav"),
              "C:\\takes\\Plattenspieler \u00fc\u00df \u97f3 \U0001f3b5.wav");
    // The first and last code points of each length pass (U+0080 is a C1 control); the one below
    // each first, written a byte longer, is overlong.
    EXPECT_EQ(QuotedName("\u0080\u07ff \u0800\uffff \U00010000\U0010ffff"),
              "\\xC2\\x80\u07ff \u0800\uffff \U00010000\U0010ffff");
    // The C1 controls end at U+009F; U+00A0 (no-break space) is shown.
    EXPECT_EQ(QuotedName("\u009f\u00a0"), "\\xC2\\x9F\u00a0");
    EXPECT_EQ(QuotedName("\xc1\xbf \xe0\x9f\xbf \xf0\x8f\xbf\xbf"),
              "\\xC1\\xBF \\xE0\\x9F\\xBF \\xF0\\x8F\\xBF\\xBF");
    const std::string once = QuotedName("a\n\x1b\xff");
    EXPECT_EQ(QuotedName(once), once);
}

TEST(ElidedName, KeepsTheFirstAndLastCharactersOfALongNameOnUtf8Boundaries) {
    EXPECT_EQ(ElidedName("abcdefg", 3), "abcdefg");
    EXPECT_EQ(ElidedName("abcdefgh", 3), "abc\u2026fgh");
    // Counted in characters: each of these takes two or three bytes.
    EXPECT_EQ(ElidedName("\u00e4\u00f6\u00fc\u00df\u97f3\u00e9\u00e8", 2),
              "\u00e4\u00f6\u2026\u00e9\u00e8");
    const std::string path = "/home/u/" + std::string(3026, 'x') + "/take.wav";
    const std::string elided = ElidedName(path);
    EXPECT_EQ(elided,
              "/home/u/" + std::string(32, 'x') + "\u2026" + std::string(31, 'x') + "/take.wav");
}

using wobblemeter_test::ScratchDir;
using wobblemeter_test::WriteSamples;
using wobblemeter_test::WriteTone;

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

// A refusal as a user meets it: its words, its status and its row.
struct Refusal {
    std::string what;
    int status = -1;
    Msg id = Msg::kCount;
};

Refusal RefusalOf(const std::string& path, const MeterOptions& options = {}) {
    try {
        const MeterResult r = MeasureFile(path, options);
        ADD_FAILURE() << path << " was measured: " << r.weightedPeakPercent << " %";
    } catch (const MeterError& e) {
        return {e.what(), e.status(), e.id()};
    }
    return {};
}

std::vector<double> Sine(int rate, double hz, double seconds, double level = 0.5) {
    std::vector<double> s(static_cast<size_t>(rate * seconds));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = level * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate);
    return s;
}

class MeterRefusal : public ::testing::Test {
protected:
    void ExpectRefusal(const Refusal& got, const std::string& what, Msg id) {
        EXPECT_EQ(got.what, what);
        EXPECT_EQ(got.status, 1) << got.what;
        EXPECT_EQ(got.id, id) << got.what;
    }
    ScratchDir dir_;
};

TEST_F(MeterRefusal, ARecordingTooShortSaysHowMuchToneItHasAndNeeds) {
    const std::string path = dir_.Path("short.wav");
    WriteTone(path, 44100, 3150.0, 1.0, 4.0, 3.0);
    ExpectRefusal(RefusalOf(path),
                  "the recording is too short: 3.00 s of tone, at least 8.02 s needed",
                  Msg::kRecordingTooShort);
}

TEST_F(MeterRefusal, NoSteadyToneNamesWhatItFoundInstead) {
    // Two tones of one level 20 Hz apart: the level falls at their beat.
    std::vector<double> two = Sine(44100, 3150.0, 12.0, 0.25);
    const std::vector<double> other = Sine(44100, 3170.0, 12.0, 0.25);
    for (size_t i = 0; i < two.size(); ++i) two[i] += other[i];
    const std::string beat = dir_.Path("beat.wav");
    WriteSamples(beat, 44100, 1, kWav16, two);
    ExpectRefusal(RefusalOf(beat),
                  "no steady tone: two tones, at 3150.0 and 3170.0 Hz, beat with each other (the "
                  "level falls by more than 20 dB 20 times a second)",
                  Msg::kTwoTonesBeat);

    // Noise: no line stands out of it.
    std::vector<double> noise(441000);
    uint32_t state = 12345;
    for (double& x : noise) {
        state = state * 1664525u + 1013904223u;  // a fixed sequence on every platform
        x = 0.2 * (static_cast<double>(state >> 8) / 16777216.0 - 0.5);
    }
    const std::string hiss = dir_.Path("noise.wav");
    WriteSamples(hiss, 44100, 1, kWav16, noise);
    ExpectRefusal(RefusalOf(hiss),
                  "no steady tone: the strongest line, near 16482.2 Hz, carries only 23 % of the "
                  "signal's power and does not stand out of the noise",
                  Msg::kNoLineStandsOut);

    // A tone that stops before it held long enough, then silence.
    std::vector<double> stops = Sine(44100, 3150.0, 5.0);
    stops.resize(15 * 44100, 0.0);
    const std::string stopped = dir_.Path("stops.wav");
    WriteSamples(stopped, 44100, 1, kWav16, stops);
    ExpectRefusal(RefusalOf(stopped),
                  "the tone stops at 5.0 s: its longest stretch holds 5.0 s of tone, at least 8.0 "
                  "s needed",
                  Msg::kToneStops);
}

TEST_F(MeterRefusal, ACarrierOutOfRangeSaysTheRange) {
    const std::string hum = dir_.Path("hum.wav");
    WriteSamples(hum, 44100, 1, kWav16, Sine(44100, 100.0, 10.0));
    ExpectRefusal(RefusalOf(hum),
                  "the strongest tone, at 100.0 Hz, lies outside the carrier range 500 to 20000 Hz",
                  Msg::kStrongestOutsideRange);
    MeterOptions options;
    options.carrierHz = 499.99;
    ExpectRefusal(RefusalOf(hum, options), "the carrier 499.99 Hz lies outside 500 to 20000 Hz",
                  Msg::kCarrierOutsideRange);
}

TEST_F(MeterRefusal, AChannelThatDoesNotExistSaysHowManyThereAre) {
    const std::string path = dir_.Path("mono.wav");
    WriteTone(path, 44100, 3150.0, 1.0, 4.0, 1.0);
    MeterOptions options;
    options.channel = 3;
    ExpectRefusal(RefusalOf(path, options), "channel 3 does not exist: the file has 1",
                  Msg::kNoSuchChannel);
}

TEST_F(MeterRefusal, ATruncatedFileSaysHowMuchIsMissingInNumber) {
    const std::string whole = dir_.Path("whole.wav");
    WriteTone(whole, 44100, 3150.0, 1.0, 4.0, 2.0);
    const auto size = std::filesystem::file_size(whole);
    const std::string cut = dir_.Path("cut.wav");
    std::filesystem::copy_file(whole, cut);
    std::filesystem::resize_file(cut, size - 1);
    ExpectRefusal(RefusalOf(cut),
                  "the file is truncated: 1 byte of the audio its header declares is missing",
                  Msg::kTruncatedByte);
    std::filesystem::resize_file(cut, size - 1000);
    ExpectRefusal(RefusalOf(cut),
                  "the file is truncated: 1000 bytes of the audio its header declares are missing",
                  Msg::kTruncatedBytes);
}

TEST_F(MeterRefusal, ASampleRateOutsideTheRangeSaysTheRange) {
    const std::string path = dir_.Path("slow.wav");
    WriteSamples(path, 4000, 1, kWav16, Sine(4000, 1000.0, 10.0));
    ExpectRefusal(RefusalOf(path), "the sample rate 4000 Hz is outside 8000 to 384000 Hz",
                  Msg::kRateOutsideRange);
}

TEST_F(MeterRefusal, ALogThatCannotBeWrittenSaysWhereAndWhy) {
    const std::string path = dir_.Path("missing/log.csv");
    try {
        CsvLog log(path);
        ADD_FAILURE() << "a log was made in a missing directory";
    } catch (const MeterError& e) {
        ExpectRefusal({e.what(), e.status(), e.id()},
                      "cannot write the log " + path + ": No such file or directory",
                      Msg::kCannotWriteLog);
    }
}

}  // namespace
}  // namespace wobblemeter
