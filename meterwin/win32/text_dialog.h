// A modal box that asks for one line of text (the report's note), on Win32.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace wobblemeter {

// Shows prompt over an edit field holding suggestion, with OK and Cancel, owned by owner (which
// is disabled meanwhile); the text on OK or Enter, nothing on Cancel, Escape or the close box.
std::optional<std::string> AskForLine(HWND owner, HFONT font, UINT dpi, const std::string& title,
                                      const std::string& prompt, const std::string& suggestion);

}  // namespace wobblemeter
