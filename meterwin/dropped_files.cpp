// Dropped text as local paths (RFC 8089 file URIs, RFC 2483 uri-lists).
#include "meterwin/dropped_files.h"

#include <optional>
#include <string_view>

namespace wobblemeter {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%20" and the like as their bytes; nothing where an escape is malformed.
std::optional<std::string> PercentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<std::string> PathOfLine(std::string_view line) {
    if (line.empty() || line[0] == '#') return std::nullopt;
    if (line[0] == '/') return std::string(line);
    constexpr std::string_view kScheme = "file:";
    if (line.substr(0, kScheme.size()) != kScheme) return std::nullopt;
    std::string_view rest = line.substr(kScheme.size());
    if (rest.substr(0, 2) == "//") {
        // An authority: only this machine's.
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost") return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest[0] != '/') return std::nullopt;
    std::optional<std::string> path = PercentDecoded(rest);
    // A path that decodes to a NUL byte names no file.
    if (path && path->find('\0') != std::string::npos) return std::nullopt;
    return path;
}

}  // namespace

std::vector<std::string> DroppedPaths(const std::string& text) {
    std::vector<std::string> paths;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (const auto path = PathOfLine(line)) paths.push_back(*path);
        start = end + 1;
    }
    return paths;
}

}  // namespace wobblemeter
