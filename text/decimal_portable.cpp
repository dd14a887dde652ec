// The decimal conversions on strtod and snprintf, for standard libraries whose <charconv> has no
// floating-point conversions: the same results as decimal_charconv.cpp (see decimal_convert.h),
// whatever the C locale's decimal point.
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text/decimal_convert.h"

namespace decimal_convert::portable {

namespace {

// Significant digits a double needs at most to read back exactly.
constexpr int kMostDigits = 17;

// The C locale's decimal point now ("." unless the program set another locale).
std::string LocalePoint() {
    const char* point = std::localeconv()->decimal_point;
    return point != nullptr && *point != '\0' ? point : ".";
}

// text with its first `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    if (from == to) return text;
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// A number's significant digits and the power of ten of the first: digits "15", power -1 is
// 0.15.
struct Digits {
    std::string digits;
    int power = 0;
};

// magnitude (finite, above zero) correctly rounded to `count` significant digits.
Digits Rounded(double magnitude, int count) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", count - 1, magnitude);
    Digits d;
    const char* p = text;
    for (; *p != '\0' && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') d.digits += *p;
    if (*p == 'e') d.power = std::atoi(p + 1);
    return d;
}

// The digits one unit in the last place up, as many of them: "199" -> "200", "99" -> "10" a
// power of ten higher.
Digits OneUp(const Digits& d) {
    Digits up = d;
    std::string& s = up.digits;
    std::size_t i = s.size();
    while (i > 0 && s[i - 1] == '9') s[--i] = '0';
    if (i == 0) {
        s.insert(s.begin(), '1');
        s.pop_back();
        ++up.power;
    } else {
        ++s[i - 1];
    }
    return up;
}

// The digits in exponent form, "1.5e-01", as C writes them: at least two exponent digits.
std::string ExponentForm(const Digits& d) {
    std::string text(1, d.digits[0]);
    if (d.digits.size() > 1) {
        text += '.';
        text.append(d.digits, 1);
    }
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "e%c%02d", d.power < 0 ? '-' : '+',
                  d.power < 0 ? -d.power : d.power);
    return text + exponent;
}

// The digits in fixed form: "150", "1.5", "0.015". A whole number of more digits than it
// needs to read back is written exactly, as <charconv> writes it: 1.2345678901234568e20 as
// "123456789012345683968".
std::string FixedForm(const Digits& d, double magnitude) {
    const std::size_t count = d.digits.size();
    if (d.power < 0) {
        std::string text = "0.";
        text.append(static_cast<std::size_t>(-d.power - 1), '0');
        text += d.digits;
        return text;
    }
    const std::size_t whole = static_cast<std::size_t>(d.power) + 1;
    if (whole > count) {
        char text[400];  // the largest double has 309 digits
        std::snprintf(text, sizeof text, "%.0f", magnitude);
        return text;
    }
    if (whole == count) return d.digits;
    std::string text = d.digits.substr(0, whole);
    text += '.';
    text.append(d.digits, whole);
    return text;
}

bool ReadsBack(const Digits& d, double magnitude) {
    const std::string text = ExponentForm(d);
    double value = 0.0;
    return ReadReal(text.data(), text.data() + text.size(), value) == ReadStatus::kOk &&
           value == magnitude;
}

// The fewest significant digits that read back as magnitude (finite, above zero): the
// correctly rounded ones, or their neighbour above. The texts that read back as a double lie
// in an interval around it, the same width either side but at a power of two, whose interval
// below is half as wide: only there can the nearest digits fail where others do not, and then
// only those above, in the wider half. Neither ends in a zero: the digits one fewer, the same
// number, would have read back first.
Digits ShortestDigits(double magnitude) {
    Digits d;
    for (int count = 1; count <= kMostDigits; ++count) {
        d = Rounded(magnitude, count);
        if (ReadsBack(d, magnitude)) break;
        const Digits up = OneUp(d);
        if (ReadsBack(up, magnitude)) return up;
    }
    return d;
}

}  // namespace

ReadStatus ReadReal(const char* first, const char* last, double& value) {
    // strtod reads more than decimal numbers (blanks, hexadecimal, "inf", "nan"): only the
    // decimal grammar's characters may reach it.
    if (first == last) return ReadStatus::kInvalid;
    for (const char* p = first; p != last; ++p)
        if (std::strchr("0123456789.-+eE", *p) == nullptr || *p == '\0')
            return ReadStatus::kInvalid;
    if (*first == '+') return ReadStatus::kInvalid;
    const std::string text = Replaced(std::string(first, last), ".", LocalePoint());
    char* end = nullptr;
    errno = 0;
    const double result = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return ReadStatus::kInvalid;
    // ERANGE comes with subnormal results too, which <charconv> reads as numbers.
    if (errno == ERANGE && (result == 0.0 || std::isinf(result))) return ReadStatus::kOutOfRange;
    value = result;
    return ReadStatus::kOk;
}

std::string Shortest(double value) {
    std::string text = std::signbit(value) ? "-" : "";
    if (std::isnan(value)) return text.append("nan");
    if (std::isinf(value)) return text.append("inf");
    if (value == 0.0) return text.append("0");
    const Digits d = ShortestDigits(std::fabs(value));
    const std::string fixed = FixedForm(d, std::fabs(value)), exponent = ExponentForm(d);
    return text.append(fixed.size() <= exponent.size() ? fixed : exponent);
}

std::string Significant(double value, int precision) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", precision, value);
    return Replaced(text, LocalePoint(), ".");
}

}  // namespace decimal_convert::portable
