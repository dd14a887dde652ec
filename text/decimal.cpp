// Reading and printing decimal numbers independently of the C locale: the grammar here, the
// conversions in decimal_convert.h (<charconv>'s where it has them, else the portable ones).
#include "text/decimal.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "text/decimal_convert.h"

namespace {

#if WOBBLEGEN_DECIMAL_PORTABLE
namespace convert = decimal_convert::portable;
#else
namespace convert = decimal_convert::charconv;
#endif
using decimal_convert::ReadStatus;

// White space as in the C locale: blank, tab, line feed, vertical tab, form feed, return.
bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The text without the white space around it.
std::string Trimmed(const char* text) {
    const char* begin = text;
    while (*begin != '\0' && IsBlank(*begin)) ++begin;
    const char* end = begin + std::strlen(begin);
    while (end > begin && IsBlank(end[-1])) --end;
    return std::string(begin, end);
}

// Number of digits at p.
std::size_t Digits(const std::string& s, std::size_t p) {
    std::size_t n = 0;
    while (p + n < s.size() && IsDigit(s[p + n])) ++n;
    return n;
}

// Whether a decimal number whose digits (without point) are digits, pointAt of them before
// the point, times ten to the exponent text (optional sign, digits) is at least 1 in
// magnitude. Used to tell an overflow from an underflow, which <charconv> reports alike.
bool AtLeastOne(const std::string& digits, std::size_t pointAt, const std::string& exponent) {
    const std::size_t lead = digits.find_first_not_of('0');
    if (lead == std::string::npos) return false;
    // Power of ten of the leading significant digit, saturated far beyond the double range.
    constexpr long long kFar = 1'000'000'000;
    long long power = static_cast<long long>(pointAt) - static_cast<long long>(lead) - 1;
    long long e = 0;
    const bool negative = !exponent.empty() && exponent[0] == '-';
    for (char c : exponent)
        if (IsDigit(c) && e < kFar) e = e * 10 + (c - '0');
    power += negative ? -e : e;
    return power >= 0;
}

}  // namespace

bool ParseDecimalWhole(const char* text, unsigned long long max, unsigned long long& value) {
    const std::string s = Trimmed(text);
    if (s.empty() || Digits(s, 0) != s.size()) return false;
    unsigned long long result = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), result, 10);
    if (error != std::errc{} || end != s.data() + s.size() || result > max) return false;
    value = result;
    return true;
}

bool ParseDecimalReal(const char* text, double& value) {
    // [+-] digits [. digits] [e [+-] digits], or with the digits only after the point.
    const std::string s = Trimmed(text);
    std::size_t p = 0;
    const bool negative = p < s.size() && s[p] == '-';
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    const std::size_t number = p;
    const std::size_t whole = Digits(s, p);
    p += whole;
    std::size_t fraction = 0;
    if (p < s.size() && s[p] == '.') {
        fraction = Digits(s, p + 1);
        p += 1 + fraction;
    }
    if (whole + fraction == 0) return false;
    const std::size_t mantissaEnd = p;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        std::size_t q = p + 1;
        if (q < s.size() && (s[q] == '+' || s[q] == '-')) ++q;
        const std::size_t exponent = Digits(s, q);
        if (exponent == 0) return false;
        p = q + exponent;
    }
    if (p != s.size()) return false;

    // from_chars takes no '+'; the grammar above leaves it nothing but plain decimal.
    double result = 0.0;
    const char* first = s.data() + (negative ? number - 1 : number);
    const ReadStatus status = convert::ReadReal(first, s.data() + s.size(), result);
    if (status == ReadStatus::kOutOfRange) {
        // Beyond the double range is no number here; too small for it reads as zero.
        std::string digits = s.substr(number, whole);
        if (fraction > 0) digits += s.substr(number + whole + 1, fraction);
        const std::string exponent = mantissaEnd < s.size() ? s.substr(mantissaEnd + 1) : "";
        if (AtLeastOne(digits, whole, exponent)) return false;
        result = negative ? -0.0 : 0.0;
    } else if (status != ReadStatus::kOk) {
        return false;
    }
    if (!std::isfinite(result)) return false;
    value = result;
    return true;
}

bool ParsePlainDecimal(const char* text, double& value) {
    const std::size_t length = std::strlen(text);
    const std::string s(text, length);
    const std::size_t whole = Digits(s, 0);
    std::size_t end = whole;
    std::size_t fraction = 0;
    if (end < s.size() && s[end] == '.') {
        fraction = Digits(s, end + 1);
        end += 1 + fraction;
    }
    // Digits and a point only: the blanks, sign and exponent ParseDecimalReal takes end here.
    if (whole + fraction == 0 || end != s.size()) return false;
    return ParseDecimalReal(text, value);
}

std::string FormatShortest(double value) {
    return convert::Shortest(value);
}

std::string FormatSignificant(double value, int digits) {
    const int precision = digits < 1 ? 1 : (digits > 17 ? 17 : digits);
    return convert::Significant(value, precision);
}
