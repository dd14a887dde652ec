// Range checks of wobblemeter's numeric options, on the project's decimal parsing.
#include "meter/cli/number_options.h"

#include <charconv>

#include "meter/message.h"
#include "text/decimal.h"

namespace wobblemeter {

namespace {

// A limit for a message, without an exponent: "1000000", "0.5".
std::string Limit(double value) {
    char text[400];  // room for any double in fixed notation
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return error == std::errc{} ? std::string(text, end) : FormatShortest(value);
}

}  // namespace

CLI::Validator DecimalInteger(long long lowest, long long highest) {
    return CLI::Validator(
        [lowest, highest](std::string& text) -> std::string {
            unsigned long long value = 0;
            if (!ParseDecimalWhole(text.c_str(), static_cast<unsigned long long>(highest), value) ||
                static_cast<long long>(value) < lowest) {
                return Text(Msg::kNotWholeNumberInRange, text.c_str(), lowest, highest);
            }
            text = std::to_string(value);
            return {};
        },
        "INT");
}

CLI::Validator DecimalReal(double lowest, double highest, const std::string& unit) {
    return CLI::Validator(
        [lowest, highest, unit](std::string& text) -> std::string {
            double value = 0.0;
            if (!ParseDecimalReal(text.c_str(), value) || value < lowest || value > highest) {
                return Text(Msg::kNotDecimalInRange, text.c_str(), unit.c_str(),
                            Limit(lowest).c_str(), Limit(highest).c_str());
            }
            text = FormatShortest(value);  // reads back as exactly value
            return {};
        },
        "NUMBER");
}

CLI::Validator DecimalPositive(const std::string& unit) {
    return CLI::Validator(
        [unit](std::string& text) -> std::string {
            double value = 0.0;
            if (!ParseDecimalReal(text.c_str(), value) || !(value > 0.0))
                return Text(Msg::kNotPositiveDecimal, text.c_str(), unit.c_str());
            text = FormatShortest(value);
            return {};
        },
        "NUMBER");
}

}  // namespace wobblemeter
