// Tests of whether two names reach one file: the same file under another spelling or through a
// link is one, a name not yet written is one with its other spellings, devices never are.
#include "sys/same_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

class SameFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const std::filesystem::path candidate = std::filesystem::temp_directory_path() /
                                                    ("wobblegen-same-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) dir_ = candidate.string();
        }
        ASSERT_FALSE(dir_.empty());
        std::filesystem::create_directory(dir_ + "/a");
        std::ofstream(dir_ + "/a/take.wav") << "recording";
        std::ofstream(dir_ + "/a/other.wav") << "recording";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
};

TEST_F(SameFileTest, AnExistingFileIsItselfUnderAnotherSpellingAndNotItsTwin) {
    EXPECT_TRUE(SameFile(dir_ + "/a/take.wav", dir_ + "/a/take.wav"));
    EXPECT_TRUE(SameFile(dir_ + "/a/take.wav", dir_ + "/a/../a/./take.wav"));
    // Same contents, another file.
    EXPECT_FALSE(SameFile(dir_ + "/a/take.wav", dir_ + "/a/other.wav"));
}

TEST_F(SameFileTest, ALinkIsTheFileItReaches) {
    std::filesystem::create_symlink("a/take.wav", dir_ + "/x.csv");
    std::filesystem::create_hard_link(dir_ + "/a/take.wav", dir_ + "/hard.csv");
    EXPECT_TRUE(SameFile(dir_ + "/x.csv", dir_ + "/a/take.wav"));
    EXPECT_TRUE(SameFile(dir_ + "/hard.csv", dir_ + "/x.csv"));
    EXPECT_FALSE(SameFile(dir_ + "/x.csv", dir_ + "/a/other.wav"));
}

TEST_F(SameFileTest, NamesNotYetWrittenAreOneWhenTheirFolderAndNameAre) {
    EXPECT_TRUE(SameFile(dir_ + "/a/./n.svg", dir_ + "/a/n.svg"));
    std::filesystem::create_directory_symlink("a", dir_ + "/b");
    EXPECT_TRUE(SameFile(dir_ + "/b/n.svg", dir_ + "/a/n.svg"));
    // A dangling link is the name it would create.
    std::filesystem::create_symlink("a/new.csv", dir_ + "/link.csv");
    EXPECT_TRUE(SameFile(dir_ + "/link.csv", dir_ + "/a/new.csv"));
    EXPECT_FALSE(SameFile(dir_ + "/a/n.svg", dir_ + "/a/n.png"));
    EXPECT_FALSE(SameFile(dir_ + "/a/n.svg", dir_ + "/n.svg"));
    // One there and one not: never the same.
    EXPECT_FALSE(SameFile(dir_ + "/a/take.wav", dir_ + "/a/n.svg"));
    // A folder that is not there either: nothing to compare.
    EXPECT_FALSE(SameFile(dir_ + "/none/n.svg", dir_ + "/none/n.svg"));
}

TEST_F(SameFileTest, RelativeNamesAreTakenFromTheCurrentFolder) {
    const std::filesystem::path was = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    const bool written = SameFile("a/take.wav", dir_ + "/a/take.wav");
    const bool unwritten = SameFile("n.svg", dir_ + "/n.svg");
    std::filesystem::current_path(was);
    EXPECT_TRUE(written);
    EXPECT_TRUE(unwritten);
}

TEST(SameFile, DevicesAreNeverTheSame) {
    EXPECT_FALSE(SameFile("/dev/null", "/dev/null"));
}

}  // namespace
