// The POSIX side of the platform seam: standard descriptors, input files, output files written
// under a temporary name, the signals that must not leave an unfinished file behind, terminals,
// the program's name, thread names, the allocator, whether two names are one file, the file-size
// limit and requests to stop; shared libraries loaded at run time, standard error filtered by
// thread, and the local time.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sys/clock.h"
#include "sys/input_file.h"
#include "sys/library.h"
#include "sys/output_file.h"
#include "sys/process.h"
#include "sys/same_file.h"
#include "sys/std_streams.h"
#include "sys/terminal.h"

// ---- Input files ----------------------------------------------------------------------------

bool IsPipeOrSocket(const char* path) {
    struct stat info = {};
    return ::stat(path, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

// ---- Standard streams -----------------------------------------------------------------------

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

// ---- Output files ---------------------------------------------------------------------------

namespace {

// Symbolic links followed at most, as the kernel does (ELOOP beyond).
constexpr int kMaxLinks = 40;
// Characters of the target's name kept in the temporary name, which adds 8; names are limited
// to 255 bytes.
constexpr std::size_t kMaxNameInTemporary = 200;
constexpr mode_t kNewFileMode = 0666;  // less the umask, as fopen creates files
constexpr mode_t kPermissionBits = 07777;

// Signals that end the process by default and must remove the unfinished output first.
constexpr int kInterruptions[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGXCPU, SIGPIPE};

enum class Placement {
    kNone,     // no output file open
    kReplace,  // written under a temporary name, renamed over the target when complete
    kInPlace,  // a regular file written in place: emptied on failure
    kDevice,   // not a regular file: left alone on failure
};

struct OutputState {
    FILE* file = nullptr;
    Placement placement = Placement::kNone;
    std::string target;       // the final target, links followed
    std::string temporary;    // kReplace: the name being written
    bool created = false;     // kInPlace: the file did not exist before
    int keptDescriptor = -1;  // kInPlace: a duplicate, to empty the file after the close
};
OutputState g_output;

// What the signal handler undoes: set and cleared only while the signals are blocked.
const char* volatile g_removeOnSignal = nullptr;
volatile sig_atomic_t g_emptyOnSignal = -1;

sigset_t InterruptionSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kInterruptions) sigaddset(&set, signal);
    return set;
}

// Holds the interruptions back for its lifetime, so that the handler never sees half an update.
class InterruptionsHeld {
public:
    InterruptionsHeld() {
        const sigset_t set = InterruptionSet();
        ::sigprocmask(SIG_BLOCK, &set, &saved_);
    }
    ~InterruptionsHeld() { ::sigprocmask(SIG_SETMASK, &saved_, nullptr); }
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

private:
    sigset_t saved_;
};

// Only async-signal-safe calls: remove or empty the unfinished output, then end the process
// as the signal would have without this handler.
void OnInterruption(int signal) {
    const char* remove = g_removeOnSignal;
    if (remove != nullptr) ::unlink(remove);
    if (g_emptyOnSignal >= 0) (void)::ftruncate(g_emptyOnSignal, 0);
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(signal, &standard, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);  // only when the default action did not end the process
}

// Once per process. A signal that is ignored or caught already (nohup, a background job, a
// host program's own handler) is left as it is.
void InstallInterruptionHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction handler = {};
    handler.sa_handler = OnInterruption;
    handler.sa_mask = InterruptionSet();
    for (const int signal : kInterruptions) {
        struct sigaction current;
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            ::sigaction(signal, &handler, nullptr);
        }
    }
    // Beyond the file-size limit a write fails with EFBIG and the failure is handled like a
    // full disk, instead of the process ending with a partial file.
    struct sigaction current;
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, nullptr);
    }
}

// The directory part of path with its final '/', or "" for a name in the current directory.
std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file path finally names: symbolic links followed, a relative link taken from its own
// directory. Where the chain ends in nothing, that name; where it cannot be read, or loops,
// the last name reached, whose opening then fails as it would for fopen.
std::string FinalTarget(const std::string& path) {
    std::string current = path;
    for (int links = 0; links < kMaxLinks; ++links) {
        struct stat info;
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::vector<char> buffer(static_cast<std::size_t>(info.st_size) + 2);
        const ssize_t length = ::readlink(current.c_str(), buffer.data(), buffer.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return current;
        const std::string link(buffer.data(), static_cast<std::size_t>(length));
        current = link[0] == '/' ? link : DirectoryOf(current) + link;
    }
    return current;
}

mode_t Umask() {
#ifdef __EMSCRIPTEN__
    // The browser's in-memory file system has no umask: its stub answers 0777, which left
    // the files we write there unreadable (mode 000) to the page that exports them.
    constexpr mode_t kUsualUmask = 022;
    return kUsualUmask;
#else
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
#endif
}

// A temporary file beside target with the permissions the target has (or a new file would
// get); its descriptor, or -1 with errno set.
int CreateTemporaryBeside(const std::string& target, const struct stat* existing) {
    std::string name =
        DirectoryOf(target) + "." + NameOf(target).substr(0, kMaxNameInTemporary) + ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return -1;
    g_output.temporary = name;
    g_removeOnSignal = g_output.temporary.c_str();
    if (existing != nullptr) {
        // Owner first: changing it clears set-user-ID bits. Not allowed for most users, and
        // then the file is theirs, as any file they write.
        if (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid()) {
            (void)::fchown(fd, existing->st_uid, existing->st_gid);
        }
        ::fchmod(fd, existing->st_mode & kPermissionBits);
    } else {
        ::fchmod(fd, kNewFileMode & ~Umask());
    }
    return fd;
}

void ForgetOutput() {
    g_removeOnSignal = nullptr;
    g_emptyOnSignal = -1;
    if (g_output.keptDescriptor >= 0) ::close(g_output.keptDescriptor);
    g_output = OutputState{};
}

// After the stream is closed: removes or empties what was written.
void UndoOutput() {
    InterruptionsHeld held;
    switch (g_output.placement) {
        case Placement::kReplace:
            ::unlink(g_output.temporary.c_str());
            break;
        case Placement::kInPlace:
            (void)::ftruncate(g_output.keptDescriptor, 0);
            if (g_output.created) ::unlink(g_output.target.c_str());
            break;
        case Placement::kDevice:
        case Placement::kNone:
            break;
    }
    ForgetOutput();
}

}  // namespace

FILE* OpenOutputFile(const char* path) {
    if (g_output.placement != Placement::kNone) {
        errno = EBUSY;
        return nullptr;
    }
    InstallInterruptionHandlers();
    const std::string target = FinalTarget(path);
    struct stat info;
    const bool exists = ::stat(target.c_str(), &info) == 0;
    // Not a regular file, or no file name at all ("", "dir/"): opened as it is, where the
    // opening fails as it always did for what cannot be written.
    if ((exists && !S_ISREG(info.st_mode)) || NameOf(target).empty()) {
        FILE* file = std::fopen(path, "wb");
        if (file == nullptr) return nullptr;
        g_output.file = file;
        g_output.placement = Placement::kDevice;
        return file;
    }
    // A file its owner made read-only is refused, as opening it would be, not replaced.
    if (exists && ::access(target.c_str(), W_OK) != 0) return nullptr;

    InterruptionsHeld held;
    g_output.target = target;
    const int fd = CreateTemporaryBeside(target, exists ? &info : nullptr);
    if (fd >= 0) {
        FILE* file = ::fdopen(fd, "wb");
        if (file == nullptr) {
            const int error = errno;
            ::close(fd);
            ::unlink(g_output.temporary.c_str());
            ForgetOutput();
            errno = error;
            return nullptr;
        }
        g_output.file = file;
        g_output.placement = Placement::kReplace;
        return file;
    }

    // Nothing can be created beside the target: the file itself is all there is to write.
    FILE* file = std::fopen(target.c_str(), "wb");
    if (file == nullptr) {
        const int error = errno;
        ForgetOutput();
        errno = error;
        return nullptr;
    }
    g_output.file = file;
    g_output.placement = Placement::kInPlace;
    g_output.created = !exists;
    g_output.keptDescriptor = ::dup(fileno(file));
    g_emptyOnSignal = g_output.keptDescriptor;
    if (g_output.created) g_removeOnSignal = g_output.target.c_str();
    return file;
}

bool CommitOutputFile(FILE* file) {
    if (file == nullptr || file != g_output.file) {
        errno = EINVAL;
        return false;
    }
    // A failed write flags the stream; the close reports what failed while flushing.
    const bool written = !std::ferror(file);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        UndoOutput();
        return false;
    }
    InterruptionsHeld held;
    if (g_output.placement == Placement::kReplace &&
        ::rename(g_output.temporary.c_str(), g_output.target.c_str()) != 0) {
        const int error = errno;
        ::unlink(g_output.temporary.c_str());
        ForgetOutput();
        errno = error;
        return false;
    }
    ForgetOutput();
    return true;
}

void DiscardOutputFile(FILE* file) {
    if (file == nullptr || file != g_output.file) return;
    std::fclose(file);
    UndoOutput();
}

// ---- Same file ------------------------------------------------------------------------------

namespace {

// What a name that reaches nothing yet would create: its final target's folder resolved, then
// its last name; empty when the folder cannot be resolved.
std::string WouldCreate(const std::string& path) {
    const std::string target = FinalTarget(path);
    const std::string folder = DirectoryOf(target);
    char resolved[PATH_MAX];
    if (::realpath(folder.empty() ? "." : folder.c_str(), resolved) == nullptr) return {};
    std::string name = resolved;
    if (name.back() != '/') name += '/';
    name += NameOf(target);
    return name;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    const bool firstThere = ::stat(a.c_str(), &first) == 0;
    const bool secondThere = ::stat(b.c_str(), &second) == 0;
    if (firstThere != secondThere) return false;
    if (firstThere) {
        if (S_ISCHR(first.st_mode) || S_ISCHR(second.st_mode)) return false;
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
    const std::string created = WouldCreate(a);
    return !created.empty() && created == WouldCreate(b);
}

// ---- Terminals ------------------------------------------------------------------------------

bool IsTerminal(StandardStream stream) {
    return ::isatty(static_cast<int>(stream)) != 0;
}

int TerminalWidth(StandardStream stream) {
    winsize size{};
    if (::ioctl(static_cast<int>(stream), TIOCGWINSZ, &size) == 0) return size.ws_col;
    return 0;
}

// ---- The process ----------------------------------------------------------------------------

std::string ProgramName() {
#ifdef __GLIBC__
    return program_invocation_short_name;
#elif defined(__EMSCRIPTEN__)
    // The browser's module is no program: it runs the meter's code and speaks in its name.
    return "wobblemeter";
#else
    return getprogname();
#endif
}

void FailWritesBeyondFileSizeLimit() {
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

void NameCurrentThread(const char* name) {
#ifdef __linux__
    // Linux keeps 15 characters and refuses longer names (ERANGE): cut them.
    constexpr size_t kMaxName = 15;
    const std::string kept = std::string(name).substr(0, kMaxName);
    ::pthread_setname_np(::pthread_self(), kept.c_str());
#else
    (void)name;
#endif
}

void KeepFreedMemoryForReuse() {
#ifdef __GLIBC__
    // Blocks up to this size come from the heap, not from a mapping of their own, and the heap
    // is trimmed only when this much is free at its top: 256 MiB.
    constexpr int kKeptBytes = 256 << 20;
    ::mallopt(M_MMAP_THRESHOLD, kKeptBytes);
    ::mallopt(M_TRIM_THRESHOLD, kKeptBytes);
#endif
}

namespace {

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);  // set from a signal handler

// What SIGINT and SIGTERM did before CatchStopRequests caught them (the removal of an
// unfinished output file, or the default end).
struct sigaction g_previousInterrupt = {}, g_previousTerminate = {};

void OnStopRequest(int signal) {
    g_stopRequested.store(true);
    // The next one does what it did before.
    ::sigaction(signal, signal == SIGINT ? &g_previousInterrupt : &g_previousTerminate, nullptr);
}

}  // namespace

void CatchStopRequests() {
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction& previous = signal == SIGINT ? g_previousInterrupt : g_previousTerminate;
        if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = OnStopRequest;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

bool StopRequested() {
    return g_stopRequested.load();
}

// ---- Shared libraries -----------------------------------------------------------------------

void* LoadSharedLibrary(const std::string& file, std::string& why) {
    void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        why = reason != nullptr ? reason : "not found";
    }
    return library;
}

void* FindLibrarySymbol(void* library, const char* name) {
    return ::dlsym(library, name);
}

#ifdef __GLIBC__
namespace {

bool (*g_quietThread)() = nullptr;

// The filtered stream's write: all of it to descriptor 2 (again after an interruption), or
// nothing on a quiet thread, which is told the whole was written.
ssize_t WriteUnlessQuiet(void*, const char* data, size_t size) {
    if (g_quietThread()) return static_cast<ssize_t>(size);
    size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(STDERR_FILENO, data + done, size - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += static_cast<size_t>(written);
    }
    return static_cast<ssize_t>(size);
}

}  // namespace
#endif

bool FilterStandardError(bool (*quiet)()) {
#ifdef __GLIBC__
    static bool installed = false;
    if (installed) return true;
    const cookie_io_functions_t io{nullptr, WriteUnlessQuiet, nullptr, nullptr};
    FILE* filtered = ::fopencookie(nullptr, "w", io);
    if (filtered == nullptr) return false;
    g_quietThread = quiet;
    installed = true;
    std::setvbuf(filtered, nullptr, _IONBF, 0);
    std::fflush(stderr);
    stderr = filtered;
    return true;
#else
    (void)quiet;
    return false;
#endif
}

// ---- The clock ------------------------------------------------------------------------------

std::tm LocalTime(std::time_t moment) {
    std::tm local{};
    if (::localtime_r(&moment, &local) == nullptr) local = std::tm{};
    return local;
}
