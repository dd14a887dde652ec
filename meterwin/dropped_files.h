// Files dropped on the window: the text a drag-and-drop delivers (a text/uri-list of file:
// URIs, or plain paths, one a line) as local paths.
#pragma once

#include <string>
#include <vector>

namespace wobblemeter {

// The files of this machine named in text, in order: "file://" URIs percent-decoded (with an
// empty host or "localhost"), absolute paths as they are, each only where a file (not a
// directory) is there. Comments ("#"), other schemes and hosts, and names of nothing are left
// out. Reads the first 64 KiB of text, lines of up to 12 KiB, and returns up to 16 files.
std::vector<std::string> DroppedPaths(const std::string& text);

}  // namespace wobblemeter
