// The Windows programs' icon file and version statement, made from res/'s data: the icon's
// pixels decoded back from the .ico layout, and the version block's every field.
#include "res/windows/win_resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "res/resources.h"

namespace {

std::uint32_t Little(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes.at(at + static_cast<std::size_t>(i));
    return value;
}

TEST(WindowsIconFile, HoldsEveryImageOfTheGroupPixelForPixel) {
    const std::vector<std::uint8_t> ico = winres::IconFile(wobblegenAppIcon);
    EXPECT_EQ(Little(ico, 0, 2), 0u);  // reserved
    EXPECT_EQ(Little(ico, 2, 2), 1u);  // icon
    ASSERT_EQ(Little(ico, 4, 2), 2u);
    std::size_t end = 6 + 2 * 16;
    for (std::size_t n = 0; n < 2; ++n) {
        const IconImage& image = wobblegenAppIcon.images[n];
        SCOPED_TRACE(std::to_string(image.width) + " x " + std::to_string(image.height));
        const std::size_t entry = 6 + 16 * n;
        EXPECT_EQ(ico.at(entry), image.width);
        EXPECT_EQ(ico.at(entry + 1), image.height);
        EXPECT_EQ(Little(ico, entry + 4, 2), 1u);   // planes
        EXPECT_EQ(Little(ico, entry + 6, 2), 32u);  // bits per pixel
        const std::uint32_t size = Little(ico, entry + 8, 4);
        const std::uint32_t offset = Little(ico, entry + 12, 4);
        EXPECT_EQ(offset, end) << "images follow one another";
        end = offset + size;

        const auto w = static_cast<std::size_t>(image.width);
        const auto h = static_cast<std::size_t>(image.height);
        const std::size_t maskStride = (w + 31) / 32 * 4;
        EXPECT_EQ(size, 40 + 4 * w * h + maskStride * h);
        EXPECT_EQ(Little(ico, offset, 4), 40u);
        EXPECT_EQ(Little(ico, offset + 4, 4), w);
        EXPECT_EQ(Little(ico, offset + 8, 4), 2 * h);  // colour and mask
        EXPECT_EQ(Little(ico, offset + 14, 2), 32u);
        // Rows from the bottom up: BGRA, then the mask, 1 where transparent.
        const std::size_t pixels = offset + 40, mask = pixels + 4 * w * h;
        for (std::size_t y = 0; y < h; ++y) {
            for (std::size_t x = 0; x < w; ++x) {
                const char c = image.rows[y][x];
                const std::size_t row = h - 1 - y;
                const std::uint32_t bgra = Little(ico, pixels + 4 * (row * w + x), 4);
                const bool transparent =
                    (ico.at(mask + row * maskStride + x / 8) >> (7 - x % 8)) & 1;
                if (c == ' ') {
                    EXPECT_EQ(bgra >> 24, 0u) << x << "," << y;
                    EXPECT_TRUE(transparent) << x << "," << y;
                } else {
                    const int index = c <= '9' ? c - '0' : c - 'a' + 10;
                    EXPECT_EQ(bgra, 0xFF000000u | wobblegenAppIcon.palette->colors[index])
                        << x << "," << y;
                    EXPECT_FALSE(transparent) << x << "," << y;
                }
            }
        }
    }
    EXPECT_EQ(ico.size(), end);
}

TEST(WindowsVersionBlock, TheDialogProgramGetsEveryFieldOfTheBlock) {
    const std::string script =
        winres::VersionScript(*wobblegenResources.version, {"wobblegen", "another description"});
    for (const char* line : {
             "FILEVERSION 1,0,0,3\n",
             "PRODUCTVERSION 1,0,0,1\n",
             "FILETYPE 1\n",
             "        BLOCK \"040904B0\"\n",
             "VALUE \"CompanyName\", \"\"\n",
             "VALUE \"FileDescription\", \"wobblegen MFC Application\"\n",
             "VALUE \"FileVersion\", \"1, 0, 0, 3\"\n",
             "VALUE \"InternalName\", \"wobblegen\"\n",
             "VALUE \"LegalCopyright\", \"Copyright (C) 2026 the wobblegen developers\"\n",
             "VALUE \"LegalTrademarks\", \"\"\n",
             "VALUE \"OriginalFilename\", \"wobblegen.EXE\"\n",
             "VALUE \"ProductName\", \"wobblegen Application\"\n",
             "VALUE \"ProductVersion\", \"1, 0, 0, 1\"\n",
             "VALUE \"Translation\", 0x409, 1200\n",
         }) {
        EXPECT_NE(script.find(line), std::string::npos) << line << "in\n" << script;
    }
}

TEST(WindowsVersionBlock, AnotherProgramIsNamedAndTextIsQuoted) {
    constexpr VersionString kStrings[] = {
        {"InternalName", "tool"},
        {"OriginalFilename", "tool.EXE"},
        {"FileDescription", "the tool"},
        {"Comments", "say \"hi\" to C:\\temp"},
    };
    const VersionResource version = {{2, 1, 0, 7}, {2, 1, 0, 0}, VFT_APP, "080704E4", kStrings, 4};
    const std::string script = winres::VersionScript(version, {"other-cli", "the other one"});
    for (const char* line : {
             "FILEVERSION 2,1,0,7\n",
             "VALUE \"InternalName\", \"other-cli\"\n",
             "VALUE \"OriginalFilename\", \"other-cli.exe\"\n",
             "VALUE \"FileDescription\", \"the other one\"\n",
             "VALUE \"Comments\", \"say \"\"hi\"\" to C:\\\\temp\"\n",
             "VALUE \"Translation\", 0x807, 1252\n",
         }) {
        EXPECT_NE(script.find(line), std::string::npos) << line << "in\n" << script;
    }
}

}  // namespace
