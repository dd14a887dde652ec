// Hexadecimal numbers where a format writes them so on purpose (a Windows version block's
// name, "040904B0"), never where a user gives a number: those are decimal (text/decimal.h).
#pragma once

// Hexadecimal digits only, either case ("040904B0", "ff"): no "0x" prefix, sign or white space.
// False, and value untouched, for anything else or a number above max.
bool ParseHexadecimal(const char* text, unsigned long long max, unsigned long long& value);
