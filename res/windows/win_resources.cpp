// The icon file and the version statement of the Windows programs, from res/'s data.
#include "res/windows/win_resources.h"

#include <cstdio>

#include "text/hexadecimal.h"

namespace {

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

constexpr unsigned kIconDirSize = 6;        // reserved, type, count
constexpr unsigned kIconEntrySize = 16;     // per image
constexpr unsigned kBitmapHeaderSize = 40;  // BITMAPINFOHEADER

// One image as an icon resource stores it: BITMAPINFOHEADER (twice the height: colour and
// mask), the BGRA rows from the bottom up, then the 1-bit mask rows, each padded to 32 bits.
std::vector<std::uint8_t> IconBitmap(const IconImage& image, const IconPalette& palette) {
    const auto width = static_cast<std::uint32_t>(image.width);
    const auto height = static_cast<std::uint32_t>(image.height);
    const std::uint32_t maskStride = (width + 31) / 32 * 4;
    std::vector<std::uint8_t> out;
    Put32(out, kBitmapHeaderSize);
    Put32(out, width);
    Put32(out, 2 * height);
    Put16(out, 1);   // planes
    Put16(out, 32);  // bits per pixel
    Put32(out, 0);   // BI_RGB
    Put32(out, (4 * width + maskStride) * height);
    for (int i = 0; i < 4; ++i) Put32(out, 0);  // resolution, colours used and important

    std::vector<std::uint8_t> mask;
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> maskRow(maskStride, 0);
        for (int x = 0; x < image.width; ++x) {
            const char c = image.rows[y][x];
            if (c == ' ') {
                out.insert(out.end(), {0, 0, 0, 0});
                maskRow[static_cast<std::size_t>(x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
                continue;
            }
            const int index = c <= '9' ? c - '0' : c - 'a' + 10;
            const std::uint32_t rgb = palette.colors[index & 15];
            out.insert(out.end(),
                       {static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
                        static_cast<std::uint8_t>(rgb >> 16), 0xFF});
        }
        mask.insert(mask.end(), maskRow.begin(), maskRow.end());
    }
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

// A string in a resource script: quotes doubled, backslashes escaped.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += "\"\"";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out + "\"";
}

std::string Numbers(const WORD (&parts)[4]) {
    return std::to_string(parts[0]) + "," + std::to_string(parts[1]) + "," +
           std::to_string(parts[2]) + "," + std::to_string(parts[3]);
}

}  // namespace

std::vector<std::uint8_t> winres::IconFile(const IconGroup& group) {
    std::vector<std::vector<std::uint8_t>> bitmaps;
    for (std::size_t i = 0; i < group.imageCount; ++i)
        bitmaps.push_back(IconBitmap(group.images[i], *group.palette));

    std::vector<std::uint8_t> out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // an icon, not a cursor
    Put16(out, static_cast<unsigned>(group.imageCount));
    auto offset = static_cast<std::uint32_t>(kIconDirSize + kIconEntrySize * group.imageCount);
    for (std::size_t i = 0; i < group.imageCount; ++i) {
        const IconImage& image = group.images[i];
        // Width and height 0 stand for 256.
        out.push_back(static_cast<std::uint8_t>(image.width & 0xFF));
        out.push_back(static_cast<std::uint8_t>(image.height & 0xFF));
        out.push_back(0);  // no palette
        out.push_back(0);  // reserved
        Put16(out, 1);     // planes
        Put16(out, 32);    // bits per pixel
        Put32(out, static_cast<std::uint32_t>(bitmaps[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(bitmaps[i].size());
    }
    for (const auto& bitmap : bitmaps) out.insert(out.end(), bitmap.begin(), bitmap.end());
    return out;
}

std::string winres::VersionScript(const VersionResource& version, const Program& program) {
    // The block name is 8 hexadecimal digits: language, then code page. res/'s data always
    // names it so; anything else would leave the translation 0, 0 (the tests compare it).
    constexpr unsigned long long kMaxBlock = 0xFFFFFFFF;
    unsigned long long block = 0;
    ParseHexadecimal(version.stringBlock, kMaxBlock, block);
    char translation[40];
    std::snprintf(translation, sizeof translation, "0x%llX, %llu", block >> 16, block & 0xFFFF);

    std::string out;
    out += "1 VERSIONINFO\n";
    out += "FILEVERSION " + Numbers(version.fileVersion) + "\n";
    out += "PRODUCTVERSION " + Numbers(version.productVersion) + "\n";
    out += "FILEFLAGSMASK 0x3F\n";  // VS_FFI_FILEFLAGSMASK
    out += "FILEFLAGS 0x0\n";       // a release build
    out += "FILEOS 0x40004\n";      // VOS_NT_WINDOWS32
    out += "FILETYPE " + std::to_string(version.fileType) + "\n";
    out += "FILESUBTYPE 0x0\n";
    out += "BEGIN\n";
    out += "    BLOCK \"StringFileInfo\"\n    BEGIN\n";
    out += "        BLOCK " + Quoted(version.stringBlock) + "\n        BEGIN\n";
    // The block describes the program its InternalName names; another one gets its own names.
    bool own = true;
    for (std::size_t i = 0; i < version.stringCount; ++i)
        if (std::string(version.strings[i].key) == "InternalName")
            own = program.name == version.strings[i].value;
    for (std::size_t i = 0; i < version.stringCount; ++i) {
        const std::string key = version.strings[i].key;
        std::string value = version.strings[i].value;
        if (!own && key == "InternalName") value = program.name;
        if (!own && key == "OriginalFilename") value = program.name + ".exe";
        if (!own && key == "FileDescription") value = program.description;
        out += "            VALUE " + Quoted(key) + ", " + Quoted(value) + "\n";
    }
    out += "        END\n    END\n";
    out += "    BLOCK \"VarFileInfo\"\n    BEGIN\n";
    out += std::string("        VALUE \"Translation\", ") + translation + "\n";
    out += "    END\nEND\n";
    return out;
}
