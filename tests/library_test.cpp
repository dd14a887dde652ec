// Tests of the library seam: a system library loaded and one of its functions called, a missing
// library's reason, and (with glibc) standard error silent on quiet threads only.
#include "sys/library.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// A library every system has, and a function of it: strlen's signature.
#ifdef _WIN32
constexpr const char* kSystemLibrary = "kernel32.dll";
constexpr const char* kLength = "lstrlenA";
using LengthFunction = int(__stdcall*)(const char*);
#else
constexpr const char* kSystemLibrary = "libc.so.6";
constexpr const char* kLength = "strlen";
using LengthFunction = std::size_t (*)(const char*);
#endif

TEST(SharedLibrary, LoadsASystemLibraryAndCallsItsFunction) {
    std::string why = "untouched";
    void* library = LoadSharedLibrary(kSystemLibrary, why);
    ASSERT_NE(library, nullptr) << why;
    EXPECT_EQ(why, "untouched");
    const auto length = reinterpret_cast<LengthFunction>(FindLibrarySymbol(library, kLength));
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length("wobble"), 6);
    EXPECT_EQ(FindLibrarySymbol(library, "NoSuchFunctionAnywhere"), nullptr);
}

TEST(SharedLibrary, AMissingLibraryIsNullWithTheLoadersReason) {
    std::string why;
    EXPECT_EQ(LoadSharedLibrary("libwobble-no-such-library.so.9", why), nullptr);
    EXPECT_FALSE(why.empty());
}

#ifdef __GLIBC__
thread_local bool quiet = false;

// In a child process (a death test): standard error is the process's own, and the child's is
// what the check reads.
TEST(SharedLibrary, StandardErrorFilteredDropsOnlyQuietThreadsOutput) {
    EXPECT_EXIT(
        {
            if (!FilterStandardError([] { return quiet; })) std::_Exit(10);
            std::thread silent([] {
                quiet = true;
                std::fprintf(stderr, "dropped");
            });
            silent.join();
            std::fprintf(stderr, "passed");  // unbuffered: no flush needed
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "^passed$");
}
#endif

}  // namespace
