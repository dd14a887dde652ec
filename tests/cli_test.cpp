// End-to-end tests of wobblegen-cli: the real binary, its output files, streams and statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "synth/test_tone.h"
#include "synth/tone_kernels.h"
#include "tests/test_support.h"

namespace {

// The default file's digest (its md5 is f381080cbdf77566deea73bb5ada1bf2).
constexpr uint64_t kDefaultFileDigest = 0x83ffb3725f2930f5u;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/wobblegen-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    // Runs the binary in the scratch folder with the given arguments, after the shell commands
    // in `limits` (resource limits, signal dispositions).
    CliRun Invoke(const std::string& arguments, const std::string& limits = "") {
        const std::string command = "cd '" + dir_ + "' && (" + limits +
                                    " exec '" WOBBLEGEN_CLI "' " + arguments +
                                    ") >out.txt 2>err.txt";
        CliRun run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = ReadFile(dir_ + "/out.txt");
        run.err = ReadFile(dir_ + "/err.txt");
        return run;
    }
    bool Exists(const std::string& name) {
        struct stat info;
        return ::stat((dir_ + "/" + name).c_str(), &info) == 0;
    }

    std::string dir_;
};

TEST_F(CliTest, DefaultsWriteTestWavAndPrintTheSummary) {
    const CliRun run = Invoke("");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("Opened test.wav\n") + kDefaultHeaderSummary);
    EXPECT_EQ(run.err, "");
    const std::string file = ReadFile(dir_ + "/test.wav");
    EXPECT_EQ(file.size(), 2646044u);
    EXPECT_EQ(Fnv1a64(file), kDefaultFileDigest);
}

TEST_F(CliTest, KernelFromTheEnvironmentIsUsedOrItsNameReported) {
    const std::string summary = Invoke("").out;
    const std::string fastest = ToneKernelName(tone_kernels::ChooseKernel(nullptr));
    // A name that is not a kernel, or not in this spelling: one line on standard error, the
    // fastest kernel, and standard output and the file as always.
    for (const std::string name : {"bogus", "AVX2"}) {
        const CliRun run = Invoke("", "export WOBBLEGEN_TONE_KERNEL=" + name + ";");
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.out, summary) << name;
        EXPECT_EQ(run.err, "WOBBLEGEN_TONE_KERNEL=" + name +
                               ": no such kernel (portable, sse4, avx2, avx512); using " + fastest +
                               "\n");
        EXPECT_EQ(Fnv1a64(ReadFile(dir_ + "/test.wav")), kDefaultFileDigest) << name;
    }
    // An available kernel is taken silently and writes the same file; so is an empty value.
    for (const std::string name : {"portable", fastest.c_str(), ""}) {
        const CliRun run = Invoke("", "export WOBBLEGEN_TONE_KERNEL=" + name + ";");
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.out, summary) << name;
        EXPECT_EQ(run.err, "") << name;
        EXPECT_EQ(Fnv1a64(ReadFile(dir_ + "/test.wav")), kDefaultFileDigest) << name;
    }
    // A kernel this processor lacks, where there is one.
    for (ToneKernel kernel : {ToneKernel::kSse4, ToneKernel::kAvx2, ToneKernel::kAvx512}) {
        if (ToneKernelAvailable(kernel)) continue;
        const std::string name = ToneKernelName(kernel);
        const CliRun run = Invoke("", "export WOBBLEGEN_TONE_KERNEL=" + name + ";");
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.err, "WOBBLEGEN_TONE_KERNEL=" + name +
                               ": not available on this processor or in this build; using " +
                               fastest + "\n");
    }
}

TEST_F(CliTest, OptionsReachTheGenerator) {
    const CliRun run =
        Invoke("--rate 48000 --center 3000 --level 0.5 --mod 2 --duration 2 -o x.wav");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Opened x.wav\n"), std::string::npos);
    EXPECT_NE(run.out.find("Sample rate = 48000\n"), std::string::npos);
    EXPECT_EQ(ReadFile(dir_ + "/x.wav").size(), 44u + 2u * 96000u);
}

TEST_F(CliTest, UnopenablePathEndsWithStatusOne) {
    const CliRun run = Invoke("-o no/such/dir/x.wav");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Cannot open no/such/dir/x.wav\n");
}

TEST_F(CliTest, FullDiskIsReportedAndTheDeviceKept) {
    const CliRun run = Invoke("-o /dev/full");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Opened /dev/full\n"), std::string::npos);
    EXPECT_NE(run.out.find("Cannot write /dev/full\n"), std::string::npos);
    struct stat info;
    ASSERT_EQ(::stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST_F(CliTest, FailedWriteRemovesTheIncompleteFile) {
    // A file-size limit of 100 blocks of 512 bytes makes the writes fail part-way (EFBIG).
    const CliRun run = Invoke("-o cut.wav", "trap '' XFSZ; ulimit -f 100;");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Opened cut.wav\n"), std::string::npos);
    EXPECT_NE(run.out.find("Cannot write cut.wav\n"), std::string::npos);
    EXPECT_FALSE(Exists("cut.wav"));
}

TEST_F(CliTest, BadArgumentsAreRefusedWithStatusTwo) {
    ASSERT_EQ(Invoke("-o keep.wav --duration 0").status, 0);
    const std::string kept = ReadFile(dir_ + "/keep.wav");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--rate abc", "--rate"},
        {"--rate -1", "--rate"},
        {"--rate 2147483648", "0 to 2147483647"},
        {"--rate 44100.5", "--rate"},
        {"--mod x", "--mod"},
        {"--center nan", "--center"},
        {"--level inf", "--level"},
        {"--duration -1", "--duration"},
        {"--duration 1e300", "allowed are 0 to 1073741805"},
        {"--duration 1e9",
         "--duration: Duration 1e+09 s at 44100 Hz gives 4.41e+13 samples: allowed are 0 to "
         "1073741805"},
        {"--center 1e300", "--center: Center frequency 1e+300"},
        {"--bogus", "--bogus"},
        {"--output ''", "--output"},
        {"--rate", "--rate"},
    };
    for (const auto& [arguments, words] : cases) {
        const CliRun run = Invoke(arguments + " -o keep.wav");
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
        EXPECT_NE(run.err.find(words), std::string::npos) << arguments << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(ReadFile(dir_ + "/keep.wav"), kept) << arguments;
    }
    EXPECT_FALSE(Exists("test.wav"));
}

TEST_F(CliTest, HelpAndVersionSucceed) {
    const CliRun help = Invoke("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* words : {"--rate", "--mod", "--center", "--level", "--duration", "--output",
                              "44100", "3150", "test.wav", "Hz", "percent", "seconds"}) {
        EXPECT_NE(help.out.find(words), std::string::npos) << words;
    }
    const CliRun version = Invoke("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("1.0"), std::string::npos);
    EXPECT_FALSE(Exists("test.wav"));
}

}  // namespace
