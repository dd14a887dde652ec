// wobblegen-icon-png: writes an image of the application icon group as an RGBA PNG file,
// the desktop icon installed into the hicolor theme. Usage: wobblegen-icon-png SIZE FILE
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "afx/afxres.h"
#include "res/resources.h"
#include "text/decimal.h"

namespace {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void Chunk(std::vector<std::uint8_t>& png, const char* type,
           const std::vector<std::uint8_t>& data) {
    PutBig32(png, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    PutBig32(png, Crc32(body.data(), body.size()));
}

// A zlib stream of stored (uncompressed) deflate blocks: an icon is a few kilobytes.
std::vector<std::uint8_t> ZlibStored(const std::vector<std::uint8_t>& raw) {
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::size_t pos = 0;
    do {
        const std::size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        const bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n & 0xFF));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n & 0xFF));
        z.push_back(static_cast<std::uint8_t>((~n >> 8) & 0xFF));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                 raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(z, (b << 16) | a);
    return z;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: wobblegen-icon-png SIZE FILE\n");
        return 2;
    }
    // Anything but a whole number looks for a 0 x 0 image, of which there is none.
    unsigned long long parsed = 0;
    const int size = ParseDecimalWhole(argv[1], std::numeric_limits<int>::max(), parsed)
                         ? static_cast<int>(parsed)
                         : 0;
    const IconImage* image = nullptr;
    for (std::size_t i = 0; i < wobblegenAppIcon.imageCount; ++i)
        if (wobblegenAppIcon.images[i].width == size) image = &wobblegenAppIcon.images[i];
    if (image == nullptr) {
        std::fprintf(stderr, "wobblegen-icon-png: no %d x %d image in the icon group\n", size,
                     size);
        return 1;
    }

    std::vector<std::uint8_t> raw;  // filter byte 0, then RGBA per pixel, row by row
    for (int y = 0; y < image->height; ++y) {
        raw.push_back(0);
        const std::string row = image->rows[y];
        for (int x = 0; x < image->width; ++x) {
            const char c = row[static_cast<std::size_t>(x)];
            if (c == ' ') {
                raw.insert(raw.end(), {0, 0, 0, 0});
                continue;
            }
            const int index = c <= '9' ? c - '0' : c - 'a' + 10;
            const std::uint32_t rgb = wobblegenAppIcon.palette->colors[index];
            raw.insert(raw.end(),
                       {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                        static_cast<std::uint8_t>(rgb), 255});
        }
    }

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBig32(header, static_cast<std::uint32_t>(image->width));
    PutBig32(header, static_cast<std::uint32_t>(image->height));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, deflate, no interlace
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", ZlibStored(raw));
    Chunk(png, "IEND", {});

    FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "wobblegen-icon-png: cannot open %s\n", argv[2]);
        return 1;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "wobblegen-icon-png: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
