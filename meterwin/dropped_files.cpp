// Dropped text as local paths (RFC 8089 file URIs, RFC 2483 uri-lists).
#include "meterwin/dropped_files.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace wobblemeter {

namespace {

// What a drop is read for: its first 64 KiB, lines of up to 12 KiB (a path of PATH_MAX bytes,
// percent-escaped), and the first 16 files found. A drop of anything else (a program's text, a
// file's bytes) costs no more than that, and checks no more paths on the disk.
constexpr size_t kMaxDropBytes = 64 * 1024;
constexpr size_t kMaxLineBytes = 3 * 4096;
constexpr size_t kMaxPaths = 16;

// A file, or a link to one, that is there to be read; not a directory or a device.
bool IsFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

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
    if (line.empty() || line[0] == '#' || line.size() > kMaxLineBytes) return std::nullopt;
    if (line[0] == '/') {
        if (line.find('\0') != std::string_view::npos) return std::nullopt;
        return std::string(line);
    }
    constexpr std::string_view kScheme = "file://";
    if (line.substr(0, kScheme.size()) != kScheme) return std::nullopt;
    // The authority: only this machine's.
    std::string_view rest = line.substr(kScheme.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost") return std::nullopt;
    rest.remove_prefix(slash);
    std::optional<std::string> path = PercentDecoded(rest);
    // A path that decodes to a NUL byte names no file.
    if (path && path->find('\0') != std::string::npos) return std::nullopt;
    return path;
}

}  // namespace

std::vector<std::string> DroppedPaths(const std::string& text) {
    std::vector<std::string> paths;
    const std::string_view read(text.data(), std::min(text.size(), kMaxDropBytes));
    size_t start = 0;
    while (start <= read.size() && paths.size() < kMaxPaths) {
        size_t end = read.find('\n', start);
        // A line the bound cuts is no path.
        if (end == std::string_view::npos && read.size() < text.size()) break;
        if (end == std::string_view::npos) end = read.size();
        std::string_view line = read.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto path = PathOfLine(line);
        if (path && IsFile(*path)) paths.push_back(*path);
        start = end + 1;
    }
    return paths;
}

}  // namespace wobblemeter
