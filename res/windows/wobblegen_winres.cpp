// wobblegen-winres: writes the icon file or the version statement that the Windows programs'
// resource scripts include. Usage: wobblegen-winres icon FILE
//                                  wobblegen-winres version NAME DESCRIPTION FILE
#include <cstdio>
#include <string>

#include "res/resources.h"
#include "res/windows/win_resources.h"

namespace {

bool WriteFile(const char* path, const void* data, std::size_t size) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    bool written = false;
    const char* path = nullptr;
    if (command == "icon" && argc == 3) {
        path = argv[2];
        const std::vector<std::uint8_t> icon = winres::IconFile(wobblegenAppIcon);
        written = WriteFile(path, icon.data(), icon.size());
    } else if (command == "version" && argc == 5) {
        path = argv[4];
        const std::string script =
            "#pragma code_page(65001)\n" +
            winres::VersionScript(*wobblegenResources.version, {argv[2], argv[3]});
        written = WriteFile(path, script.data(), script.size());
    } else {
        std::fprintf(stderr,
                     "usage: wobblegen-winres icon FILE\n"
                     "       wobblegen-winres version NAME DESCRIPTION FILE\n");
        return 2;
    }
    if (!written) {
        std::fprintf(stderr, "wobblegen-winres: cannot write %s\n", path);
        return 1;
    }
    return 0;
}
