// Reading hexadecimal numbers with <charconv>, which takes no prefix and ignores the C locale.
#include "text/hexadecimal.h"

#include <charconv>
#include <cstring>
#include <system_error>

bool ParseHexadecimal(const char* text, unsigned long long max, unsigned long long& value) {
    const char* end = text + std::strlen(text);
    // from_chars takes a leading '-' for signed types only, and no blanks, "0x" or '+'; an
    // empty text or one it stops short in is no number.
    unsigned long long result = 0;
    const auto [stop, error] = std::from_chars(text, end, result, 16);
    if (text == end || error != std::errc{} || stop != end || result > max) return false;
    value = result;
    return true;
}
