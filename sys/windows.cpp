// The Windows side of the platform seam: standard streams, input files, output files written
// under a temporary name and moved over the target (MoveFileExW), and the console's Ctrl+C and
// close events, which must not leave an unfinished file behind; whether two names are one
// file; consoles, the program's name,
// thread names and requests to stop, libraries loaded at run time (LoadLibraryW) and the local
// time. The one file of the programs, besides the dialog backend's, that includes <windows.h>.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// The C library's descriptors over the system's handles.
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "sys/clock.h"
#include "sys/input_file.h"
#include "sys/library.h"
#include "sys/output_file.h"
#include "sys/process.h"
#include "sys/same_file.h"
#include "sys/std_streams.h"
#include "sys/terminal.h"

// ---- Standard streams -----------------------------------------------------------------------

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

// ---- Output files ---------------------------------------------------------------------------

namespace {

// A temporary name gets this many attempts at a name nobody has taken.
constexpr int kTemporaryAttempts = 100;
// Characters of the target's name kept in the temporary name, which adds 8.
constexpr std::size_t kMaxNameInTemporary = 200;

enum class Placement {
    kNone,     // no output file open
    kReplace,  // written under a temporary name, moved over the target when complete
    kInPlace,  // a file written in place: emptied (or removed, if new) on failure
    kDevice,   // not a file on a disk (NUL, CON, a pipe): left alone on failure
};

// The output file's state, shared with the console control handler, which Windows runs on a
// thread of its own: every access holds the lock.
struct OutputState {
    FILE* file = nullptr;
    Placement placement = Placement::kNone;
    std::wstring target;                 // the final target, links followed
    std::wstring temporary;              // kReplace: the name being written
    bool created = false;                // kInPlace: the file did not exist before
    HANDLE kept = INVALID_HANDLE_VALUE;  // kInPlace: a duplicate, to empty the file
    DWORD attributes = 0;                // kReplace: the old file's, given to the new one
};
OutputState g_output;
SRWLOCK g_outputLock = SRWLOCK_INIT;

class OutputLocked {
public:
    OutputLocked() { AcquireSRWLockExclusive(&g_outputLock); }
    ~OutputLocked() { ReleaseSRWLockExclusive(&g_outputLock); }
    OutputLocked(const OutputLocked&) = delete;
    OutputLocked& operator=(const OutputLocked&) = delete;
};

// Removes or empties what was written so far. The lock is held.
void UndoOutputLocked() {
    switch (g_output.placement) {
        case Placement::kReplace:
            DeleteFileW(g_output.temporary.c_str());
            break;
        case Placement::kInPlace:
            if (g_output.kept != INVALID_HANDLE_VALUE) {
                LARGE_INTEGER start{};
                SetFilePointerEx(g_output.kept, start, nullptr, FILE_BEGIN);
                SetEndOfFile(g_output.kept);
            }
            if (g_output.created) DeleteFileW(g_output.target.c_str());
            break;
        case Placement::kDevice:
        case Placement::kNone:
            break;
    }
}

// Ctrl+C, Ctrl+Break, the console window closed, logoff or shutdown: the unfinished output
// goes, then the process ends at once with the status Windows gives an interrupted program,
// as the system's own handler would (and as a signal ends it elsewhere, without flushing
// anything). The files are opened for sharing their deletion, so that they go even while the
// main thread writes.
BOOL WINAPI OnConsoleControl(DWORD /*event*/) {
    {
        OutputLocked locked;
        UndoOutputLocked();
    }
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return TRUE;
}

void InstallConsoleControlHandler() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

// The C library's errno for the last Windows error of a file operation.
void SetErrnoFromLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            errno = EACCES;
            break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_INVALID_NAME:
        case ERROR_DIRECTORY:
            errno = EINVAL;
            break;
        default:
            errno = EIO;
            break;
    }
}

// The program's file names are in the process's code page (UTF-8 with the manifest).
std::wstring WidePath(const char* path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/' || c == L':';
}

std::wstring DirectoryOf(const std::wstring& path) {
    std::size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

std::wstring NameOf(const std::wstring& path) {
    return path.substr(DirectoryOf(path).size());
}

// What path finally names: a symbolic link or junction followed to its target (as the system
// does on opening); path itself where nothing is there yet or it cannot be resolved.
std::wstring FinalTarget(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return path;
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()),
                                             FILE_NAME_NORMALIZED);
    if (length >= final.size()) {
        final.resize(length + 1);
        length = GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()),
                                           FILE_NAME_NORMALIZED);
    }
    CloseHandle(file);
    if (length == 0 || length >= final.size()) return path;
    final.resize(length);
    return final;
}

// A stream on an open handle, which it then owns; null (and the handle closed) on failure.
FILE* StreamOn(HANDLE handle) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) _close(fd);
    return file;
}

// A new file beside target, named ".NAME.XXXXXX", whose deletion others may ask for (the
// console control handler, on another thread, while this one writes).
HANDLE CreateTemporaryBeside(const std::wstring& target, std::wstring& name) {
    static const wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned state = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        name = DirectoryOf(target) + L"." + NameOf(target).substr(0, kMaxNameInTemporary) + L".";
        for (int i = 0; i < 6; ++i) {
            state = state * 1103515245u + 12345u;  // a different name on each attempt
            name += kLetters[(state >> 16) % 36];
        }
        HANDLE file =
            CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

void ForgetOutputLocked() {
    if (g_output.kept != INVALID_HANDLE_VALUE) CloseHandle(g_output.kept);
    g_output = OutputState{};
}

}  // namespace

FILE* OpenOutputFile(const char* path) {
    OutputLocked locked;
    if (g_output.placement != Placement::kNone) {
        errno = EBUSY;
        return nullptr;
    }
    InstallConsoleControlHandler();
    const std::wstring target = FinalTarget(WidePath(path));
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // A device (NUL, CON, COM1 ...), or no file name at all: opened as it is, where the opening
    // fails as it always did for what cannot be written.
    bool device = NameOf(target).empty();
    if (!device && !exists) {
        // Reserved device names exist in every folder without being files.
        HANDLE probe = CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            device = GetFileType(probe) != FILE_TYPE_DISK;
            CloseHandle(probe);
        }
    }
    if (device || (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
        FILE* file = _wfopen(WidePath(path).c_str(), L"wb");
        if (file == nullptr) return nullptr;
        g_output.file = file;
        g_output.placement = Placement::kDevice;
        return file;
    }
    // A file its owner made read-only is refused, as opening it would be, not replaced.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        errno = EACCES;
        return nullptr;
    }

    g_output.target = target;
    HANDLE temporary = CreateTemporaryBeside(target, g_output.temporary);
    if (temporary != INVALID_HANDLE_VALUE) {
        FILE* file = StreamOn(temporary);
        if (file == nullptr) {
            DeleteFileW(g_output.temporary.c_str());
            ForgetOutputLocked();
            errno = EIO;
            return nullptr;
        }
        g_output.file = file;
        g_output.placement = Placement::kReplace;
        g_output.attributes = exists ? attributes : 0;
        return file;
    }

    // Nothing can be created beside the target: the file itself is all there is to write.
    HANDLE inPlace =
        CreateFileW(target.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (inPlace == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        const int error = errno;
        ForgetOutputLocked();
        errno = error;
        return nullptr;
    }
    HANDLE kept = INVALID_HANDLE_VALUE;
    DuplicateHandle(GetCurrentProcess(), inPlace, GetCurrentProcess(), &kept, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    FILE* file = StreamOn(inPlace);
    if (file == nullptr) {
        if (kept != INVALID_HANDLE_VALUE) CloseHandle(kept);
        if (!exists) DeleteFileW(target.c_str());
        ForgetOutputLocked();
        errno = EIO;
        return nullptr;
    }
    g_output.file = file;
    g_output.placement = Placement::kInPlace;
    g_output.created = !exists;
    g_output.kept = kept;
    return file;
}

bool CommitOutputFile(FILE* file) {
    OutputLocked locked;
    if (file == nullptr || file != g_output.file) {
        errno = EINVAL;
        return false;
    }
    // A failed write flags the stream; the close reports what failed while flushing.
    const bool written = !std::ferror(file);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        UndoOutputLocked();
        ForgetOutputLocked();
        return false;
    }
    if (g_output.placement == Placement::kReplace) {
        // The old file's attributes (hidden, archive ...) stay with the name.
        if (g_output.attributes != 0)
            SetFileAttributesW(g_output.temporary.c_str(), g_output.attributes);
        if (!MoveFileExW(g_output.temporary.c_str(), g_output.target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            SetErrnoFromLastError();
            const int error = errno;
            DeleteFileW(g_output.temporary.c_str());
            ForgetOutputLocked();
            errno = error;
            return false;
        }
    }
    ForgetOutputLocked();
    return true;
}

void DiscardOutputFile(FILE* file) {
    OutputLocked locked;
    if (file == nullptr || file != g_output.file) return;
    std::fclose(file);
    UndoOutputLocked();
    ForgetOutputLocked();
}

// ---- Same file ------------------------------------------------------------------------------

namespace {

// Where an existing file is (volume serial, file index), links followed; false when nothing is
// there, or it is a character device (NUL, a console), which is never the same file.
bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known =
        GetFileType(file) != FILE_TYPE_CHAR && GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return known;
}

// The full name a name that reaches nothing yet would create ("." and ".." gone), its links
// followed; empty when it cannot be made.
std::wstring WouldCreate(const std::wstring& path) {
    const std::wstring target = FinalTarget(path);
    const DWORD length = GetFullPathNameW(target.c_str(), 0, nullptr, nullptr);
    if (length == 0) return {};
    std::wstring full(length, L'\0');
    const DWORD written = GetFullPathNameW(target.c_str(), length, full.data(), nullptr);
    if (written == 0 || written >= length) return {};
    full.resize(written);
    return full;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    const std::wstring first = WidePath(a.c_str()), second = WidePath(b.c_str());
    const bool firstThere = GetFileAttributesW(first.c_str()) != INVALID_FILE_ATTRIBUTES;
    const bool secondThere = GetFileAttributesW(second.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (firstThere != secondThere) return false;
    if (firstThere) {
        BY_HANDLE_FILE_INFORMATION one, other;
        if (!FileIdentity(first, one) || !FileIdentity(second, other)) return false;
        return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
               one.nFileIndexHigh == other.nFileIndexHigh &&
               one.nFileIndexLow == other.nFileIndexLow;
    }
    // File names on Windows' file systems are compared without regard to case.
    const std::wstring created = WouldCreate(first), other = WouldCreate(second);
    return !created.empty() &&
           CompareStringOrdinal(created.c_str(), static_cast<int>(created.size()), other.c_str(),
                                static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

// ---- Consoles -------------------------------------------------------------------------------

bool IsTerminal(StandardStream stream) {
    return _isatty(static_cast<int>(stream)) != 0;
}

int TerminalWidth(StandardStream stream) {
    const DWORD which = stream == StandardStream::kInput    ? STD_INPUT_HANDLE
                        : stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE
                                                            : STD_ERROR_HANDLE;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(which), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

// ---- The process ----------------------------------------------------------------------------

std::string ProgramName() {
    std::string path = _pgmptr != nullptr ? _pgmptr : "";
    path.erase(0, path.find_last_of("\\/:") + 1);
    const std::size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && dot > 0) path.erase(dot);
    return path;
}

// Windows has no file-size limit of a process.
void FailWritesBeyondFileSizeLimit() {}

// Left out: SetThreadDescription needs Windows 10 (1607) or later, and the names serve only a
// debugger.
void NameCurrentThread(const char* /*name*/) {}

// The C runtime's heap has no such setting: it is left as it is.
void KeepFreedMemoryForReuse() {}

namespace {

std::atomic<bool> g_stopRequested{false};

// Ctrl+C and Ctrl+Break: the first asks to stop and is handled; the next ones go on to the
// handlers before this one (the unfinished output's removal, the system's end).
BOOL WINAPI OnStopRequest(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    return g_stopRequested.exchange(true) ? FALSE : TRUE;
}

}  // namespace

void CatchStopRequests() {
    SetConsoleCtrlHandler(OnStopRequest, TRUE);
}

bool StopRequested() {
    return g_stopRequested.load();
}

// ---- Shared libraries -----------------------------------------------------------------------

void* LoadSharedLibrary(const std::string& file, std::string& why) {
    HMODULE library = LoadLibraryW(WidePath(file.c_str()).c_str());
    if (library == nullptr) {
        // The system's text for the error, without the line break it ends in.
        char text[256] = {};
        const DWORD error = GetLastError();
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, text, sizeof text, nullptr);
        why = length > 0 ? std::string(text, length) : "error " + std::to_string(error);
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' '))
            why.pop_back();
    }
    return library;
}

void* FindLibrarySymbol(void* library, const char* name) {
    // A function's address as a data pointer, as dlsym gives it: the same size on Windows.
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

bool FilterStandardError(bool (*)()) {
    return false;  // the Windows C library makes no stream on functions of ours
}

// ---- Input files ----------------------------------------------------------------------------

bool IsPipeOrSocket(const char*) {
    return false;  // no FIFO or socket has a name in the file system
}

// ---- The clock ------------------------------------------------------------------------------

std::tm LocalTime(std::time_t moment) {
    std::tm local{};
    if (localtime_s(&local, &moment) != 0) local = std::tm{};
    return local;
}
