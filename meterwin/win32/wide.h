// UTF-8 (the meter's strings) and UTF-16 (the Win32 calls') at the window's seam with Windows.
#pragma once

#include <string>

namespace wobblemeter {

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
// The same, with the line ends Windows' controls and clipboard want: "\n" as "\r\n".
std::wstring WidenLines(const std::string& text);

}  // namespace wobblemeter
