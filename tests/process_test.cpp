// Tests of the process seam: the program's name, thread names as the system keeps them, the
// allocator keeping large blocks on its heap, writes beyond the file-size limit, and the stop
// requests of SIGINT and SIGTERM.
#include "sys/process.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// The signal tests run in a child process (a death test), whose exit status or signal names
// the first failed check.
#define CHECK_OR_EXIT(condition, code) \
    if (!(condition)) std::_Exit(code)

std::string CurrentThreadName() {
    char name[64] = {};
    ::pthread_getname_np(::pthread_self(), name, sizeof name);
    return name;
}

TEST(Process, ProgramNameIsTheFileNameWithoutFolders) {
    EXPECT_EQ(ProgramName(), "wobblegen_tests");
}

// A write past a 100-byte limit: killed by SIGXFSZ before, failed with EFBIG after.
void WriteBeyondALimit() {
    const rlimit limit{100, 100};
    CHECK_OR_EXIT(::setrlimit(RLIMIT_FSIZE, &limit) == 0, 10);
    char path[] = "/tmp/wobblegen-limit-XXXXXX";
    const int fd = ::mkstemp(path);
    CHECK_OR_EXIT(fd >= 0, 11);
    ::unlink(path);
    const char block[200] = {};
    const ssize_t written = ::write(fd, block, sizeof block);  // the first 100 bytes fit
    CHECK_OR_EXIT(written == 100, 12);
    CHECK_OR_EXIT(::write(fd, block, sizeof block) == -1 && errno == EFBIG, 13);
    std::_Exit(0);
}

TEST(Process, WritesBeyondTheFileSizeLimitFailInsteadOfEndingTheProgram) {
    EXPECT_EXIT(WriteBeyondALimit(), ::testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_EXIT(
        {
            FailWritesBeyondFileSizeLimit();
            WriteBeyondALimit();
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Process, NamesTheCallingThreadCutToFifteenCharacters) {
    std::string named, cut;
    std::thread worker([&] {
        NameCurrentThread("wobble-measure");
        named = CurrentThreadName();
        NameCurrentThread("a-name-longer-than-fifteen");
        cut = CurrentThreadName();
    });
    worker.join();
    EXPECT_EQ(named, "wobble-measure");
    EXPECT_EQ(cut, "a-name-longer-t");
}

// 64 MiB is beyond the largest block glibc ever takes from its heap unless told (32 MiB): it
// would be mapped of its own, and its pages handed back when freed.
TEST(Process, LargeBlocksComeFromTheHeapOnceFreedMemoryIsKept) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer has an allocator of its own";
#else
    EXPECT_EXIT(
        {
            KeepFreedMemoryForReuse();
            const size_t mappedBefore = ::mallinfo2().hblks;
            // Kept in a volatile: the compiler would drop an allocation that nothing reads.
            void* volatile block = std::malloc(64 << 20);
            CHECK_OR_EXIT(block != nullptr, 10);
            CHECK_OR_EXIT(::mallinfo2().hblks == mappedBefore, 11);
            std::free(block);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
#endif
}

TEST(Process, FirstInterruptionRequestsAStopTheSecondEndsTheProgram) {
    for (const int signal : {SIGINT, SIGTERM}) {
        EXPECT_EXIT(
            {
                ::signal(signal, SIG_DFL);
                CHECK_OR_EXIT(!StopRequested(), 10);
                CatchStopRequests();
                CHECK_OR_EXIT(!StopRequested(), 11);
                ::raise(signal);
                CHECK_OR_EXIT(StopRequested(), 12);
                ::raise(signal);
                std::_Exit(13);
            },
            ::testing::KilledBySignal(signal), "")
            << "signal " << signal;
    }
}

TEST(Process, InterruptionIgnoredFromTheStartStaysIgnored) {
    EXPECT_EXIT(
        {
            ::signal(SIGINT, SIG_IGN);
            CatchStopRequests();
            ::raise(SIGINT);
            CHECK_OR_EXIT(!StopRequested(), 10);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
