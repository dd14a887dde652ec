// Tests of the standard-stream guard: closed descriptors taken by the null device and
// remembered, and lost output (closed, full, pipe without reader) noticed with its reason.
#include "sys/std_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Each test runs in a child process (a death test), since it closes or replaces the test
// program's own standard descriptors; the child's exit status names the first failed check.
#define CHECK_OR_EXIT(condition, code) \
    if (!(condition)) std::_Exit(code)

TEST(StandardStreams, ClosedDescriptorsGetTheNullDeviceAndAreRemembered) {
    EXPECT_EXIT(
        {
            ::close(0);
            ::close(1);
            EnsureStandardStreams();
            CHECK_OR_EXIT(::fcntl(0, F_GETFD) != -1 && ::fcntl(1, F_GETFD) != -1, 10);
            CHECK_OR_EXIT(StandardStreamWasClosed(StandardStream::kInput), 11);
            CHECK_OR_EXIT(StandardStreamWasClosed(StandardStream::kOutput), 12);
            CHECK_OR_EXIT(!StandardStreamWasClosed(StandardStream::kError), 13);
            // A file opened now gets a descriptor of its own, not standard output's.
            FILE* file = std::tmpfile();
            CHECK_OR_EXIT(file != nullptr && fileno(file) > 2, 14);
            // Reading gives end of file; writing fails, and is reported as a closed stream.
            char c;
            CHECK_OR_EXIT(::read(0, &c, 1) == 0, 15);
            std::printf("lost\n");
            std::string reason;
            CHECK_OR_EXIT(!StandardStreamIntact(StandardStream::kOutput, &reason), 16);
            CHECK_OR_EXIT(reason == "it was closed", 17);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(StandardStreams, FullDeviceAndPipeWithoutReaderAreLostOutputNotDeath) {
    EXPECT_EXIT(
        {
            EnsureStandardStreams();
            CHECK_OR_EXIT(!StandardStreamWasClosed(StandardStream::kOutput), 10);
            const int full = ::open("/dev/full", O_WRONLY);
            CHECK_OR_EXIT(full >= 0 && ::dup2(full, 1) == 1, 11);
            std::printf("lost\n");
            std::string reason;
            CHECK_OR_EXIT(!StandardStreamIntact(StandardStream::kOutput, &reason), 12);
            CHECK_OR_EXIT(reason == std::strerror(ENOSPC), 13);

            int ends[2];
            CHECK_OR_EXIT(::pipe(ends) == 0, 14);
            ::close(ends[0]);  // no reader: without the guard, SIGPIPE would end the process
            CHECK_OR_EXIT(::dup2(ends[1], 2) == 2, 15);
            std::clearerr(stderr);
            std::fprintf(stderr, "lost\n");
            CHECK_OR_EXIT(std::ferror(stderr), 16);
            CHECK_OR_EXIT(!StandardStreamIntact(StandardStream::kError, nullptr), 17);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(StandardStreams, WrittenOutputIsIntact) {
    EXPECT_EXIT(
        {
            EnsureStandardStreams();
            const int null = ::open("/dev/null", O_WRONLY);
            CHECK_OR_EXIT(null >= 0 && ::dup2(null, 1) == 1, 10);
            std::printf("kept\n");
            std::string reason = "untouched";
            CHECK_OR_EXIT(StandardStreamIntact(StandardStream::kOutput, &reason), 11);
            CHECK_OR_EXIT(reason == "untouched", 12);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
