// Output files of wobblemeter (the plot): opened early, written whole or removed.
#include "meter/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "meter/meter.h"

namespace wobblemeter {

namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as any program's new file

MeterError CannotWrite(const std::string& what, const std::string& path, int error) {
    return MeterError("cannot write " + what + " " + path + ": " + std::strerror(error));
}

}  // namespace

OutputFile::OutputFile(const std::string& path, const std::string& what)
    : path_(path), what_(what) {
    // Not truncated here: should the measurement fail, an existing file stays as it was.
    fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0 && errno == ENOENT) {
        fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        created_ = fd_ >= 0;
    }
    if (fd_ < 0) throw CannotWrite(what_, path, errno);
    struct stat status {};
    regular_ = fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
    char resolved[PATH_MAX];
    target_ = realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) close(fd_);
    if (!done_ && created_) unlink(target_.c_str());
}

void OutputFile::Write(const std::string& bytes) {
    int error = 0;
    size_t written = 0;
    while (error == 0 && written < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + written, bytes.size() - written);
        if (n > 0)
            written += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR)
            error = errno;
    }
    // A longer file that was there before is cut to the new length.
    if (error == 0 && regular_ && ftruncate(fd_, static_cast<off_t>(bytes.size())) != 0)
        error = errno;
    // The file system may report a full disk only when the file is closed.
    if (close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    done_ = true;
    if (error != 0) {
        Remove();
        throw CannotWrite(what_, path_, error);
    }
}

void OutputFile::Remove() {
    if (regular_) unlink(target_.c_str());
}

}  // namespace wobblemeter
