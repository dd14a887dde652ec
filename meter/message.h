// One-line messages of the meter: printf-style formatting, and numbers printed with enough
// digits to differ from the limit they are compared with.
#pragma once

#include <cstdio>
#include <string>

namespace wobblemeter {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// value with `decimals` decimals, or more (up to 9) where fewer would print it as limit prints.
std::string DistinctFrom(double value, double limit, int decimals);

}  // namespace wobblemeter
