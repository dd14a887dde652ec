// Tests of the header summary and the format-tag names.
#include <gtest/gtest.h>

#include "tests/test_support.h"
#include "wave/wave_header.h"

namespace {

TEST(WaveReport, DefaultHeaderPrintsNineLines) {
    ResetWaveHeader();
    SetSampleSize(16);
    SetSampleRate(44100);
    SetNumChannels(1);
    SetSampleCount(1323000);
    SetFormatTag(1);
    EXPECT_EQ(CaptureText(PrintWaveHeaderTo), kDefaultHeaderSummary);
}

TEST(WaveReport, ZeroHeaderPrintsZerosAndUnknownTag) {
    ResetWaveHeader();
    EXPECT_EQ(CaptureText(PrintWaveHeaderTo),
              "Chunk size = 0\n"
              "Format chunk size = 0\n"
              "Format tag is 0 = WAVE_FORMAT_UNKNOWN Microsoft\n"
              "Number of channels = 0\n"
              "Sample rate = 0\n"
              "Average bytes per second = 0\n"
              "BlockAlign = 0\n"
              "Sample size = 0\n"
              "Data size = 0\n");
}

TEST(WaveReport, NegativeFieldsPrintSigned) {
    ResetWaveHeader();
    SetFormatTag(0xFFFF);
    SetSampleSize(16);
    SetNumChannels(1);
    SetSampleCount(1073741824);
    const std::string text = CaptureText(PrintWaveHeaderTo);
    EXPECT_NE(text.find("Format tag is -1 = don't know\n"), std::string::npos);
    EXPECT_NE(text.find("Data size = -2147483648\n"), std::string::npos);
}

TEST(FormatTagNames, RegisteredTagsAreNamed) {
    EXPECT_STREQ(FormatTagText(0x0055), "WAVE_FORMAT_MPEGLAYER3");
    EXPECT_STREQ(FormatTagText(0x0003), "WAVE_FORMAT_IEEE_FLOAT");
    EXPECT_STREQ(FormatTagText(0x0025), "WAVE_FORMAT_APTX Audio Process Technology");
    EXPECT_STREQ(FormatTagText(0x1401), "WAVE_FORMAT_ISIAudio");
    EXPECT_STREQ(FormatTagText(0x2000), "WAVE_FORMAT_DVM");
}

TEST(FormatTagNames, GapsAndHighTagsAreUnknown) {
    EXPECT_STREQ(FormatTagText(0x0008), "don't know");
    EXPECT_STREQ(FormatTagText(0x7FFF), "don't know");
    EXPECT_STREQ(FormatTagText(static_cast<int16_t>(0xFFFF)), "don't know");
    EXPECT_STREQ(FormatTagText(static_cast<int16_t>(0x8001)), "don't know");
}

}  // namespace
