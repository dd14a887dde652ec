// The parse and display rules of dialog data exchange, and dialog-unit conversion.
#include <gtest/gtest.h>

#include <cstring>

#include "afx/afxwin.h"

namespace {

TEST(DataExchangeParse, UnsignedTakesDecimalDigitsWithBlanksAround) {
    UINT value = 7;
    ASSERT_TRUE(afx::ParseUnsigned("44100", value));
    EXPECT_EQ(value, 44100u);
    ASSERT_TRUE(afx::ParseUnsigned(" \t48000 ", value));
    EXPECT_EQ(value, 48000u);
    ASSERT_TRUE(afx::ParseUnsigned("0", value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(afx::ParseUnsigned("4294967295", value));
    EXPECT_EQ(value, 4294967295u);
    ASSERT_TRUE(afx::ParseUnsigned("000012", value));
    EXPECT_EQ(value, 12u);
}

TEST(DataExchangeParse, UnsignedRejectsSignsFractionsOverflowAndEmptyText) {
    for (const char* text : {"-1", "+5", "2.5", "4294967296", "99999999999999999999", "", "   ",
                             "1e3", "0x10", "12 34", "44100Hz"}) {
        UINT value = 7;
        EXPECT_FALSE(afx::ParseUnsigned(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, 7u) << "a failed parse must leave the value alone: " << text;
    }
}

TEST(DataExchangeParse, DoubleTakesDecimalNotation) {
    const struct {
        const char* text;
        double value;
    } cases[] = {{"4", 4.0},
                 {"-1.5", -1.5},
                 {"+2", 2.0},
                 {".5", 0.5},
                 {"5.", 5.0},
                 {"1e3", 1000.0},
                 {"2.5E-2", 0.025},
                 {" 3150\t", 3150.0},
                 {"1e-400", 0.0},
                 // Too small for a double reads as zero, however far below; in range is kept.
                 {"-1e-400", -0.0},
                 {"0.001e-99999999999999999999", 0.0},
                 {"1000e-310", 1e-307},
                 {"0.1e309", 1e308},
                 {"\n\v\f\r7 ", 7.0}};
    for (const auto& c : cases) {
        double value = -99.0;
        ASSERT_TRUE(afx::ParseDouble(c.text, value)) << c.text;
        EXPECT_DOUBLE_EQ(value, c.value) << c.text;
    }
}

TEST(DataExchangeParse, DoubleRejectsWhatIsNoDecimalNumber) {
    for (const char* text : {"",
                             " ",
                             "abc",
                             "30s",
                             "1..2",
                             ".",
                             "-",
                             "e5",
                             "1e",
                             "1e+",
                             "inf",
                             "nan",
                             "0x1p3",
                             "1e999",
                             "3,5",
                             "1 2",
                             "-1e999",
                             "0.001e400",
                             "1e99999999999999999999",
                             "++1",
                             "1e1.5"}) {
        double value = -99.0;
        EXPECT_FALSE(afx::ParseDouble(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, -99.0) << text;
    }
}

TEST(DataExchangeFormat, DoubleShowsGeneralNotationWithoutSuperfluousZeros) {
    EXPECT_EQ(afx::FormatDouble(4.0), "4");
    EXPECT_EQ(afx::FormatDouble(3150.0), "3150");
    EXPECT_EQ(afx::FormatDouble(0.1), "0.1");
    EXPECT_EQ(afx::FormatDouble(-2.5), "-2.5");
    EXPECT_EQ(afx::FormatDouble(1e-7), "1e-07");
    EXPECT_EQ(afx::FormatDouble(1e20), "1e+20");
}

TEST(DialogUnits, AreAQuarterOfTheAverageLetterAndAnEighthOfTheHeight) {
    const afx::FontMetrics font{7.0, 16};
    const afx::PixelRect r = AfxMapDialogRect(font, 4, 8, 40, 12);
    EXPECT_EQ(r.x, 7);
    EXPECT_EQ(r.y, 16);
    EXPECT_EQ(r.width, 70);
    EXPECT_EQ(r.height, 24);
    // Fractions round to the nearest pixel: 1 unit of a 6.2 px average is 1.55 px.
    const afx::PixelRect f = AfxMapDialogRect({6.2, 13}, 1, 1, 3, 3);
    EXPECT_EQ(f.x, 2);
    EXPECT_EQ(f.y, 2);
    EXPECT_EQ(f.width, 5);
    EXPECT_EQ(f.height, 5);
}

TEST(CStringBuffer, GetBufferKeepsTheTextAndReleaseBufferTakesEdits) {
    CString s = "test.wav";
    char* buffer = s.GetBuffer(1024);
    EXPECT_STREQ(buffer, "test.wav");
    buffer[4] = '\0';
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_TRUE(s == "test");
    s = static_cast<const char*>(s);  // assignment from its own text
    EXPECT_TRUE(s == "test");
}

TEST(CStringBuffer, ReleaseBufferStopsAtTheEndOfTheBuffer) {
    CString s = "ab";
    char* buffer = s.GetBuffer(4);  // room for 4 characters and the terminator
    buffer[2] = 'c';
    s.ReleaseBuffer(100);
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_TRUE(s == "abc");

    buffer = s.GetBuffer(3);
    std::memset(buffer, 'x', 5);  // no terminator left
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_TRUE(s == "xxxx");
}

}  // namespace
