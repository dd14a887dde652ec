// Tests of output files written under a temporary name: the previous file stays until the new
// one is complete, and a stream that failed or a rename that failed is never reported as
// written.
#include "sys/output_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A new folder of the temporary folder; the random part tells it from other runs'.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const std::filesystem::path candidate =
                std::filesystem::temp_directory_path() /
                ("wobblegen-output-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) dir_ = candidate.string();
        }
        ASSERT_FALSE(dir_.empty());
        path_ = dir_ + "/out.wav";
        std::ofstream(path_) << "previous";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(OutputFileTest, PreviousFileStaysUntilCommit) {
    FILE* file = OpenOutputFile(path_.c_str());
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
    std::fflush(file);
    EXPECT_EQ(Contents(), "previous");
    EXPECT_EQ(Names().size(), 2u) << "the temporary file beside the target";
    EXPECT_TRUE(CommitOutputFile(file));
    EXPECT_EQ(Contents(), "new");
    EXPECT_EQ(Names(), std::vector<std::string>{"out.wav"});
}

TEST_F(OutputFileTest, DiscardOrAFailedStreamLeavesThePreviousFile) {
    FILE* file = OpenOutputFile(path_.c_str());
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
    DiscardOutputFile(file);
    EXPECT_EQ(Contents(), "previous");
    EXPECT_EQ(Names(), std::vector<std::string>{"out.wav"});

    file = OpenOutputFile(path_.c_str());
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
#ifdef _WIN32
    // Windows' C library reads from a stream opened for writing without complaint: a write
    // whose descriptor has gone fails instead.
    _close(_fileno(file));
    std::fflush(file);
#else
    // Reading from a stream opened for writing flags it as failed, like a lost write.
    EXPECT_EQ(std::fgetc(file), EOF);
#endif
    ASSERT_TRUE(std::ferror(file));
    EXPECT_FALSE(CommitOutputFile(file));
    EXPECT_EQ(Contents(), "previous");
    EXPECT_EQ(Names(), std::vector<std::string>{"out.wav"});
}

// The rename over the target fails (the target became a folder while the file was written):
// not reported as written, and no temporary file is left behind.
TEST_F(OutputFileTest, AFailedRenameIsAFailureAndLeavesNoTemporaryFile) {
    FILE* file = OpenOutputFile(path_.c_str());
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
    std::filesystem::remove(path_);
    std::filesystem::create_directory(path_);
    std::ofstream(path_ + "/inside") << "kept";
    errno = 0;
    EXPECT_FALSE(CommitOutputFile(file));
    EXPECT_NE(errno, 0);
    EXPECT_EQ(Names(), std::vector<std::string>{"out.wav"});
    EXPECT_TRUE(std::filesystem::is_directory(path_));
    FILE* again = OpenOutputFile((dir_ + "/other.wav").c_str());
    ASSERT_NE(again, nullptr) << "free again after the failure";
    DiscardOutputFile(again);
}

TEST_F(OutputFileTest, OneOutputFileAtATime) {
    FILE* first = OpenOutputFile(path_.c_str());
    ASSERT_NE(first, nullptr);
    errno = 0;
    EXPECT_EQ(OpenOutputFile((dir_ + "/second.wav").c_str()), nullptr);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_FALSE(CommitOutputFile(nullptr));
    EXPECT_TRUE(CommitOutputFile(first));
    FILE* again = OpenOutputFile(path_.c_str());
    ASSERT_NE(again, nullptr) << "free again once the first is committed";
    DiscardOutputFile(again);
}

#ifndef _WIN32
// Output files close nothing of the program's own: standard input, here a pipe, still reads
// after one file is committed and another discarded.
TEST_F(OutputFileTest, StandardInputStaysOpenAcrossOutputFiles) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const int saved = ::dup(0);  // -1 when the test runs without standard input
    ASSERT_EQ(::dup2(ends[0], 0), 0);
    ::close(ends[0]);
    ASSERT_EQ(::write(ends[1], "ab", 2), 2);

    FILE* file = OpenOutputFile(path_.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(CommitOutputFile(file));
    file = OpenOutputFile((dir_ + "/second.wav").c_str());
    ASSERT_NE(file, nullptr);
    DiscardOutputFile(file);
    char read[2] = {};
    EXPECT_EQ(::read(0, read, sizeof read), 2);
    EXPECT_EQ(std::string(read, 2), "ab");

    ::close(ends[1]);
    if (saved >= 0) {
        ::dup2(saved, 0);
        ::close(saved);
    } else {
        ::close(0);
    }
}
// As far as fopen follows links (40 on Linux), the file at the end of the chain is written and
// every link stays a link.
TEST_F(OutputFileTest, TheLongestChainOfLinksIsWrittenThrough) {
    constexpr int kLinks = 40;
    // Built by appending: GCC 12 at -O3 misreads "l" + std::to_string(i) as an overlapping copy.
    const auto name = [](int i) {
        std::string link = "l";
        link += std::to_string(i);
        return link;
    };
    const std::string real = dir_ + "/real.wav";
    std::ofstream(real) << "previous";
    for (int i = 0; i < kLinks; ++i) {
        const std::string to = i + 1 < kLinks ? name(i + 1) : "real.wav";
        ASSERT_EQ(::symlink(to.c_str(), (dir_ + "/" + name(i)).c_str()), 0);
    }
    const std::string first = dir_ + "/l0";
    FILE* plain = std::fopen(first.c_str(), "rb");
    ASSERT_NE(plain, nullptr) << "fopen follows the whole chain";
    std::fclose(plain);

    FILE* file = OpenOutputFile(first.c_str());
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
    EXPECT_TRUE(CommitOutputFile(file));
    std::ifstream in(real, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              "new");
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ + "/" + name(kLinks - 1)));
}
#endif

}  // namespace
