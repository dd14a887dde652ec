// Decimal-only parsing of wobblemeter's numeric options.
#include "meter/number_options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace wobblemeter {

namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Digits from position i on; returns how many.
size_t Digits(std::string_view text, size_t& i) {
    const size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i - start;
}

std::optional<long long> ParseInteger(const std::string& text) {
    size_t end = 0;
    if (Digits(text, end) == 0 || end != text.size()) return std::nullopt;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0) return std::nullopt;
    return value;
}

// [+-] digits [. digits] [e [+-] digits], with a digit before or after the point: the forms
// strtod reads as decimal and nothing else.
std::optional<double> ParseReal(const std::string& text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t mantissa = Digits(text, i);
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += Digits(text, i);
    }
    if (mantissa == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (Digits(text, i) == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    const double value = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(value)) return std::nullopt;  // beyond the largest double
    return value;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

}  // namespace

CLI::Validator DecimalInteger(long long lowest, long long highest) {
    return CLI::Validator(
        [lowest, highest](std::string& text) -> std::string {
            const std::optional<long long> value = ParseInteger(text);
            if (!value || *value < lowest || *value > highest) {
                return "'" + text + "' is not allowed: give a whole number from " +
                       std::to_string(lowest) + " to " + std::to_string(highest);
            }
            text = std::to_string(*value);
            return {};
        },
        "INT");
}

CLI::Validator DecimalReal(double lowest, double highest, const std::string& unit) {
    return CLI::Validator(
        [lowest, highest, unit](std::string& text) -> std::string {
            const std::optional<double> value = ParseReal(text);
            if (!value || *value < lowest || *value > highest) {
                return "'" + text + "' is not allowed: give a decimal number of " + unit +
                       " from " + Number(lowest) + " to " + Number(highest);
            }
            // Seventeen digits give back the same double, in a form any conversion reads alike.
            char canonical[32];
            std::snprintf(canonical, sizeof canonical, "%.17g", *value);
            text = canonical;
            return {};
        },
        "NUMBER");
}

}  // namespace wobblemeter
