// Checks that what was written to standard output or standard error arrived; the same on every
// platform, on top of the C streams.
#include "sys/std_streams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool StandardStreamIntact(StandardStream stream, std::string* reason) {
    FILE* file = stream == StandardStream::kError ? stderr : stdout;
    errno = 0;
    const bool flushed = std::fflush(file) == 0;
    const int error = errno;
    if (flushed && !std::ferror(file)) return true;
    if (reason != nullptr) {
        if (StandardStreamWasClosed(stream)) {
            *reason = "it was closed";
        } else if (!flushed && error != 0) {
            *reason = std::strerror(error);
        } else {
            *reason = "a write to it failed";  // earlier, and nothing is left to retry
        }
    }
    return false;
}
