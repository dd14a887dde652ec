// The portable decimal conversions (the web build's) held to <charconv>'s over the same golden
// and random cases, so that the two builds print and read every number alike.
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "text/decimal_convert.h"

namespace {

namespace charconv = decimal_convert::charconv;
namespace portable = decimal_convert::portable;
using decimal_convert::ReadStatus;

// Values whose shortest text takes either form, with its edges: ties of length, powers of two
// (where the interval that reads back is lopsided), the extremes and subnormals.
std::vector<double> EdgeValues() {
    std::vector<double> values = {0.1,
                                  0.5,
                                  1.0,
                                  100.0,
                                  1e5,
                                  123456.0,
                                  1e-4,
                                  0.001,
                                  1e21,
                                  1e22,
                                  1e23,
                                  5e-324,
                                  2.2250738585072014e-308,
                                  1.7976931348623157e308,
                                  24347.8869,
                                  33.333333333333336,
                                  1.2345678901234568e20,
                                  9007199254740993.0,
                                  0.30000000000000004,
                                  4.35,
                                  1e15,
                                  1e16,
                                  123456789012.0};
    for (int power = -1074; power <= 1023; ++power) values.push_back(std::ldexp(1.0, power));
    for (int power = -20; power <= 25; ++power) values.push_back(std::pow(10.0, power));
    const std::size_t count = values.size();
    for (std::size_t i = 0; i < count; ++i) {
        values.push_back(std::nextafter(values[i], 0.0));
        values.push_back(-values[i]);
    }
    return values;
}

// Doubles of every size: random bit patterns, finite only.
std::vector<double> RandomValues(std::size_t count) {
    std::mt19937_64 random(20261210);
    std::vector<double> values;
    while (values.size() < count) {
        const std::uint64_t bits = random();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isfinite(value)) values.push_back(value);
    }
    return values;
}

TEST(PortableDecimal, ShortestAndSignificantTextAsCharconvWritesThem) {
    std::vector<double> values = EdgeValues();
    for (double value : RandomValues(6000)) values.push_back(value);
    for (double value : {0.0, -0.0, std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()})
        values.push_back(value);
    for (double value : values) {
        ASSERT_EQ(portable::Shortest(value), charconv::Shortest(value)) << value;
        for (int precision : {1, 4, 7, 17})
            ASSERT_EQ(portable::Significant(value, precision),
                      charconv::Significant(value, precision))
                << value << " to " << precision;
    }
    EXPECT_EQ(portable::Shortest(std::numeric_limits<double>::quiet_NaN()), "nan");
}

TEST(PortableDecimal, ShortestTextReadsBackToTheSameDouble) {
    for (double value : RandomValues(5000)) {
        const std::string text = portable::Shortest(value);
        double back = 0.0;
        ASSERT_EQ(portable::ReadReal(text.data(), text.data() + text.size(), back), ReadStatus::kOk)
            << text;
        ASSERT_EQ(back, value) << text;
    }
}

// Texts of the decimal grammar and beside it ("inf" and "nan", which <charconv> reads, never
// reach either: text/decimal.cpp refuses them first).
TEST(PortableDecimal, ReadsAsCharconvReadsIncludingItsRangeAndRefusals) {
    std::vector<std::string> texts = {"0",        "-0",       "1.5",
                                      ".5",       "5.",       "-007.5e01",
                                      "1e400",    "-1e400",   "1e-400",
                                      "4.9e-324", "2e-324",   "1.7976931348623157e308",
                                      "1.8e308",  "0.1e-320", "123456789012345678901234567890",
                                      "1e",       "e5",       "1.5x",
                                      "--1",      "1e+5",     "1E-5",
                                      "0x10",     " 1",       "1 ",
                                      "",         "+1",       "+.5",
                                      "-",        ".",        "-e5"};
    for (double value : RandomValues(3000)) texts.push_back(charconv::Shortest(value));
    for (const std::string& text : texts) {
        double a = -99.0, b = -99.0;
        const ReadStatus expected = charconv::ReadReal(text.data(), text.data() + text.size(), a);
        ASSERT_EQ(portable::ReadReal(text.data(), text.data() + text.size(), b), expected) << text;
        if (expected == ReadStatus::kOk) {
            ASSERT_EQ(std::signbit(a), std::signbit(b)) << text;
        }
        ASSERT_EQ(a, b) << text;
    }
}

// LC_NUMERIC switched to a locale whose decimal point is a comma, compiled by localedef from
// the system's locale sources into a folder of the test's own (LOCPATH); "C" again and the
// folder removed on the way out. Active() is false where localedef or the sources are missing.
class CommaLocale {
public:
    CommaLocale() {
        char folder[] = "/tmp/wobblegen-locale-XXXXXX";
        if (mkdtemp(folder) == nullptr) return;
        folder_ = folder;
        const std::string command =
            "localedef -i de_DE -f UTF-8 '" + folder_ + "/de_DE.UTF-8' >/dev/null 2>&1";
        // localedef's status 1 is a warning: whether the locale was written decides.
        if (std::system(command.c_str()) == -1) return;
        setenv("LOCPATH", folder_.c_str(), 1);
        active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr &&
                  std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    }
    ~CommaLocale() {
        std::setlocale(LC_NUMERIC, "C");
        unsetenv("LOCPATH");
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    bool Active() const { return active_; }

private:
    std::string folder_;
    bool active_ = false;
};

// Under a locale of decimal commas, set by the program or a library it calls, numbers are still
// read and written with a point, as <charconv> does, and a comma is refused.
TEST(PortableDecimal, ReadsAndWritesAPointUnderALocaleOfDecimalCommas) {
    const CommaLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "no de_DE locale could be compiled (localedef)";
    std::vector<double> values = {0.1, 1.5, -24347.8869, 1e-7, 1.7976931348623157e308};
    for (double value : RandomValues(300)) values.push_back(value);
    for (double value : values) {
        const std::string text = portable::Shortest(value);
        ASSERT_EQ(text, charconv::Shortest(value)) << value;
        ASSERT_EQ(portable::Significant(value, 6), charconv::Significant(value, 6)) << value;
        double back = 0.0;
        ASSERT_EQ(portable::ReadReal(text.data(), text.data() + text.size(), back), ReadStatus::kOk)
            << text;
        ASSERT_EQ(back, value) << text;
    }
    for (const std::string text : {"1,5", "1.5,", ","}) {
        double value = -99.0;
        EXPECT_EQ(portable::ReadReal(text.data(), text.data() + text.size(), value),
                  ReadStatus::kInvalid)
            << text;
        EXPECT_EQ(value, -99.0) << text;
    }
}

}  // namespace
