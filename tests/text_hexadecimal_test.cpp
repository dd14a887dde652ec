// Tests of the hexadecimal reader: digits of either case only, within the maximum.
#include <gtest/gtest.h>

#include "text/hexadecimal.h"

namespace {

TEST(Hexadecimal, DigitsOfEitherCaseUpToTheMaximum) {
    unsigned long long value = 7;
    ASSERT_TRUE(ParseHexadecimal("040904B0", 0xFFFFFFFF, value));
    EXPECT_EQ(value, 0x040904B0u);
    ASSERT_TRUE(ParseHexadecimal("ffffffff", 0xFFFFFFFF, value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
    ASSERT_TRUE(ParseHexadecimal("0", 0xFFFFFFFF, value));
    EXPECT_EQ(value, 0u);
    for (const char* text : {"100000000", "0x10", "0X10", "", " 10", "10 ", "+10", "-10", "1g",
                             "10000000000000000000"}) {
        value = 7;
        EXPECT_FALSE(ParseHexadecimal(text, 0xFFFFFFFF, value)) << text;
        EXPECT_EQ(value, 7u) << text;
    }
}

}  // namespace
