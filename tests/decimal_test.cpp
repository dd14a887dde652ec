// Tests of the decimal number rules every option and field shares: leading zeros are zeros,
// no other base, no infinities, and printed values that read back exactly.
#include "text/decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

TEST(DecimalWhole, LeadingZerosAreZerosAndTheMaximumIsInclusive) {
    unsigned long long value = 7;
    ASSERT_TRUE(ParseDecimalWhole("044100", 2147483647, value));
    EXPECT_EQ(value, 44100u);
    ASSERT_TRUE(ParseDecimalWhole("010", 2147483647, value));
    EXPECT_EQ(value, 10u);
    ASSERT_TRUE(ParseDecimalWhole("2147483647", 2147483647, value));
    EXPECT_EQ(value, 2147483647u);
    ASSERT_TRUE(ParseDecimalWhole(" 0 ", 2147483647, value));
    EXPECT_EQ(value, 0u);
    for (const char* text : {"2147483648", "0x10", "0X10", "08x", "-1", "+1", "1e3", "1.0", "",
                             "18446744073709551616"}) {
        value = 7;
        EXPECT_FALSE(ParseDecimalWhole(text, 2147483647, value)) << text;
        EXPECT_EQ(value, 7u) << text;
    }
}

TEST(DecimalReal, LeadingZerosAreZerosAndOtherSpellingsAreRefused) {
    double value = -99.0;
    ASSERT_TRUE(ParseDecimalReal("044100", value));
    EXPECT_EQ(value, 44100.0);
    ASSERT_TRUE(ParseDecimalReal("-007.5e01", value));
    EXPECT_EQ(value, -75.0);
    for (const char* text :
         {"0x10", "0x1p3", "inf", "-inf", "infinity", "nan", "NAN(1)", "1e400", "1,5", "4abc"}) {
        value = -99.0;
        EXPECT_FALSE(ParseDecimalReal(text, value)) << text;
        EXPECT_EQ(value, -99.0) << text;
    }
    // Beyond the double range in digits alone, without point or exponent: refused too.
    std::string huge(401, '0');
    huge[0] = '1';
    EXPECT_FALSE(ParseDecimalReal(huge.c_str(), value));
    EXPECT_EQ(value, -99.0);
}

TEST(PlainDecimal, DigitsAndOnePointAsWrittenAndNothingElse) {
    double value = -99.0;
    ASSERT_TRUE(ParsePlainDecimal("45", value));
    EXPECT_EQ(value, 45.0);
    ASSERT_TRUE(ParsePlainDecimal("078.00", value));
    EXPECT_EQ(value, 78.0);
    ASSERT_TRUE(ParsePlainDecimal("33.333", value));
    EXPECT_EQ(value, 33.333);
    ASSERT_TRUE(ParsePlainDecimal(".5", value));
    EXPECT_EQ(value, 0.5);
    ASSERT_TRUE(ParsePlainDecimal("45.", value));
    EXPECT_EQ(value, 45.0);
    for (const char* text : {"", " 45", "45 ", "\t45", "45\n", "+45", "-45", "4.5e1", "45e0",
                             "0x2D", "inf", "nan", ".", "4..5", "4.5.", "45x", "1,5"}) {
        value = -99.0;
        EXPECT_FALSE(ParsePlainDecimal(text, value)) << text;
        EXPECT_EQ(value, -99.0) << text;
    }
}

TEST(DecimalFormat, ShortestTextReadsBackExactly) {
    EXPECT_EQ(FormatShortest(0.1), "0.1");
    EXPECT_EQ(FormatShortest(-1e-05), "-1e-05");
    EXPECT_EQ(FormatShortest(1e300), "1e+300");
    EXPECT_EQ(FormatShortest(24347.8869), "24347.8869");
    EXPECT_EQ(FormatShortest(std::nextafter(0.5, 0.0)), "0.49999999999999994");
}

}  // namespace
