// The decimal conversions on <charconv>, which ignores the C locale: see decimal_convert.h.
#include <charconv>
#include <system_error>

#include "text/decimal_convert.h"

namespace decimal_convert::charconv {

ReadStatus ReadReal(const char* first, const char* last, double& value) {
    double result = 0.0;
    const auto [end, error] = std::from_chars(first, last, result, std::chars_format::general);
    if (error == std::errc::result_out_of_range) return ReadStatus::kOutOfRange;
    if (error != std::errc{} || end != last) return ReadStatus::kInvalid;
    value = result;
    return ReadStatus::kOk;
}

std::string Shortest(double value) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc{} ? std::string(text, end) : std::string();
}

std::string Significant(double value, int precision) {
    char text[64];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, precision);
    return error == std::errc{} ? std::string(text, end) : std::string();
}

}  // namespace decimal_convert::charconv
