// Files dropped on the window: the text a drag-and-drop delivers (a text/uri-list of file:
// URIs, or plain paths, one a line) as local paths.
#pragma once

#include <string>
#include <vector>

namespace wobblemeter {

// The local paths named in text, in order: "file:" URIs percent-decoded (with an empty host or
// "localhost"), absolute paths as they are. Comments ("#"), other schemes and hosts are left
// out.
std::vector<std::string> DroppedPaths(const std::string& text);

}  // namespace wobblemeter
