// The three conversions text/decimal.cpp builds on, in two implementations: <charconv>'s, and a
// portable one on the C library for standard libraries without floating std::from_chars and
// std::to_chars (emscripten's). Both give the same results; the build picks one for decimal.cpp.
#pragma once

#include <string>

namespace decimal_convert {

enum class ReadStatus {
    kOk,
    kOutOfRange,  // beyond the double range, or too small for it to be anything but zero
    kInvalid,     // not a decimal number, or not all of [first, last) is one
};

// text/decimal_charconv.cpp: where <charconv> converts doubles.
namespace charconv {
// A decimal number [-] digits [. digits] [e [+-] digits] (no '+' in front, no white space)
// into value; value untouched unless kOk.
ReadStatus ReadReal(const char* first, const char* last, double& value);
// The shortest text that reads back as exactly value, fixed or exponent form, whichever is
// shorter (fixed on a tie): "0.1", "1e+300", "1e+05", "24347.8869". "inf", "-inf", "nan".
std::string Shortest(double value);
// value to `precision` significant digits (1 to 17) as "%.*g" prints it in the "C" locale.
std::string Significant(double value, int precision);
}  // namespace charconv

// text/decimal_portable.cpp: the same on strtod and snprintf, whatever the locale.
namespace portable {
ReadStatus ReadReal(const char* first, const char* last, double& value);
std::string Shortest(double value);
std::string Significant(double value, int precision);
}  // namespace portable

}  // namespace decimal_convert
