// Checks of wobblemeter's numeric options: plain decimal numbers within a range, whatever the
// command-line library would otherwise accept (octal "010", hexadecimal "0x10", "inf", "nan").
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace wobblemeter {

// A whole decimal number from lowest (at least 0) to highest: "010" is 10. Digits only (no
// sign, no exponent). The text is handed on without leading zeros, which the library would take
// for an octal prefix.
CLI::Validator DecimalInteger(long long lowest, long long highest);

// A finite decimal number from lowest to highest, such as "3150", "3150.5", "0.5" or "3.15e3";
// `unit` ("Hz") names what it counts in the message. Hexadecimal, "inf" and "nan" are refused.
CLI::Validator DecimalReal(double lowest, double highest, const std::string& unit);

// A finite decimal number above 0, as DecimalReal.
CLI::Validator DecimalPositive(const std::string& unit);

}  // namespace wobblemeter
