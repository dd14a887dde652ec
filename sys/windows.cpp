// The Windows side of the platform seam: standard streams. The one file of the programs,
// besides the dialog backend's, that includes <windows.h>.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// The C library's descriptors over the system's handles.
#include <fcntl.h>
#include <io.h>

#include "sys/std_streams.h"

namespace {

constexpr int kStandardDescriptors = 3;  // standard input, output and error
bool g_closedAtStart[kStandardDescriptors] = {};

// A window program (the GUI subsystem), whose standard handles are missing whenever it is
// started from Explorer or a shortcut: its normal state, not lost output.
bool IsWindowProgram() {
    const auto* image = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

}  // namespace

// A missing standard handle gets the null device. In a console program, as on other systems,
// output and error are opened for reading only, so that what is written there fails and is
// noticed; a window program's output goes to the null device unnoticed.
void EnsureStandardStreams() {
    const int outputMode = IsWindowProgram() ? _O_WRONLY : _O_RDONLY;
    for (int fd = 0; fd < kStandardDescriptors; ++fd) {
        const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
        if (handle != INVALID_HANDLE_VALUE && handle != nullptr &&
            GetFileType(handle) != FILE_TYPE_UNKNOWN)
            continue;
        g_closedAtStart[fd] = true;
        const int opened = _open("NUL", fd == 0 ? _O_RDONLY : outputMode);
        if (opened >= 0 && opened != fd) {
            _dup2(opened, fd);
            _close(opened);
        }
    }
}

bool StandardStreamWasClosed(StandardStream stream) {
    const int fd = static_cast<int>(stream);
    return fd >= 0 && fd < kStandardDescriptors && g_closedAtStart[fd];
}
