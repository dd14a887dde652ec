// Tests of the terminal seam: a pipe is no terminal and has no width, a pseudo-terminal is one
// with the width it was given, each asked of the stream named.
#include "sys/terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// Each test runs in a child process (a death test), since it replaces the test program's own
// standard input; the child's exit status names the first failed check.
#define CHECK_OR_EXIT(condition, code) \
    if (!(condition)) std::_Exit(code)

TEST(Terminal, PipeIsNoTerminalAndHasNoWidth) {
    EXPECT_EXIT(
        {
            int ends[2];
            CHECK_OR_EXIT(::pipe(ends) == 0 && ::dup2(ends[0], 0) == 0, 10);
            CHECK_OR_EXIT(!IsTerminal(StandardStream::kInput), 11);
            CHECK_OR_EXIT(TerminalWidth(StandardStream::kInput) == 0, 12);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Terminal, PseudoTerminalIsOneWithTheWidthItWasGiven) {
    EXPECT_EXIT(
        {
            const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
            CHECK_OR_EXIT(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0, 10);
            const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
            CHECK_OR_EXIT(terminal >= 0, 11);
            winsize size{};
            size.ws_row = 40;
            size.ws_col = 123;
            CHECK_OR_EXIT(::ioctl(terminal, TIOCSWINSZ, &size) == 0, 12);
            // Standard input becomes the terminal; standard error is left as the test runs it.
            const bool errorWasTerminal = ::isatty(2) != 0;
            CHECK_OR_EXIT(::dup2(terminal, 0) == 0, 13);
            CHECK_OR_EXIT(IsTerminal(StandardStream::kInput), 14);
            CHECK_OR_EXIT(TerminalWidth(StandardStream::kInput) == 123, 15);
            CHECK_OR_EXIT(IsTerminal(StandardStream::kError) == errorWasTerminal, 16);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
