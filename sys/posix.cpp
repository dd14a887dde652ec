// The POSIX side of the platform seam: standard descriptors, signals and output files.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "sys/std_streams.h"

namespace {

constexpr int kStandardDescriptors = 3;  // standard input, output and error
bool g_closedAtStart[kStandardDescriptors] = {};

}  // namespace

void EnsureStandardStreams() {
    for (int fd = 0; fd < kStandardDescriptors; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        g_closedAtStart[fd] = true;
        // The lowest free descriptor is fd, as every lower one is open by now. Read-only for
        // all three: reading gives end of file, writing fails.
        const int opened = ::open("/dev/null", O_RDONLY);
        if (opened >= 0 && opened != fd) {  // cannot happen, but never leave a stray
            ::close(opened);
        }
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

bool StandardStreamWasClosed(StandardStream stream) {
    const int fd = static_cast<int>(stream);
    return fd >= 0 && fd < kStandardDescriptors && g_closedAtStart[fd];
}
