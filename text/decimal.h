// Decimal numbers as every option and field of the tools reads them, and as their messages
// print them. Independent of the C locale: the decimal point is always '.'.
#pragma once

#include <string>

// A whole decimal number: digits only, leading zeros being just zeros ("044100" is 44100),
// with white space around it ignored; no sign, point, exponent or base prefix. False, and
// value untouched, for anything else or a number above max.
bool ParseDecimalWhole(const char* text, unsigned long long max, unsigned long long& value);

// A finite decimal number: [+-] digits [. digits] [e [+-] digits], or with the digits only
// after the point, white space around it ignored. Never hexadecimal, "inf" or "nan"; beyond
// the double range is refused, too small for it reads as zero. False, and value untouched,
// for anything else.
bool ParseDecimalReal(const char* text, double& value);

// A plain decimal number exactly as written: digits with at most one point ("45", "33.33",
// "45.0", ".5", "45."), nothing around them: no white space, sign, exponent or base prefix.
// For values that name something ("--rpm 45") rather than measure it. False, and value
// untouched, for anything else.
bool ParsePlainDecimal(const char* text, double& value);

// The shortest text that reads back as exactly value ("0.1", "1e+300", "24347.8869").
std::string FormatShortest(double value);

// value to at most `digits` significant digits (1 to 17), as %g prints it, whatever the locale:
// FormatSignificant(1234.56, 4) is "1235", FormatSignificant(1e300, 4) "1e+300". "inf", "-inf"
// and "nan" for what is not finite.
std::string FormatSignificant(double value, int digits);
