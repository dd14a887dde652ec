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

}  // namespace

// A program started without a console or redirection (a window program from Explorer, say)
// has no standard handles at all: that is its normal state, not lost output, so its output
// and error go to the null device, writable. A descriptor that was there and fails later is
// noticed as on other systems.
void EnsureStandardStreams() {
    for (int fd = 0; fd < kStandardDescriptors; ++fd) {
        const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
        if (handle != INVALID_HANDLE_VALUE && handle != nullptr &&
            GetFileType(handle) != FILE_TYPE_UNKNOWN)
            continue;
        g_closedAtStart[fd] = true;
        const int opened = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
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
