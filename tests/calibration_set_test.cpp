// Tests of the verification set: the files and the table it writes, their samples, and that a
// failure leaves nothing behind.
#include "synth/calibration_set.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "synth/test_tone.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

class CalibrationSet : public ::testing::Test {
protected:
    CalibrationSet() {
        std::string pattern = (fs::temp_directory_path() / "wobblegen-set-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        scratch_ = pattern;
    }
    ~CalibrationSet() override {
        std::error_code ignored;
        fs::remove_all(scratch_, ignored);
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::set<std::string> Names(const fs::path& dir) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        return names;
    }
    fs::path scratch_;
};

TEST_F(CalibrationSet, WritesSixteenSignalsAndTheTableIntoANewDirectory) {
    const fs::path dir = scratch_ / "set";
    char message[256] = "";
    ASSERT_EQ(WriteCalibrationSet(dir.string().c_str(), nullptr, message, sizeof message), 0)
        << message;
    std::set<std::string> expected = {"expected.csv"};
    for (const char* carrier : {"3150Hz-", "3000Hz-"})
        for (int n = 1; n <= 8; ++n) expected.insert(carrier + std::to_string(n) + ".wav");
    EXPECT_EQ(Names(dir), expected);
    // 30 s of 16-bit mono after the 44-byte header.
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(fs::file_size(dir / ("3150Hz-" + std::to_string(n) + ".wav")),
                  44u + 2u * 1323000u);
        EXPECT_EQ(fs::file_size(dir / ("3000Hz-" + std::to_string(n) + ".wav")),
                  44u + 2u * 1440000u);
    }
    EXPECT_EQ(Read(dir / "expected.csv"),
              "file,signal,carrier_hz,sample_rate_hz,modulation_hz,deviation_percent,"
              "unweighted_2sigma_percent,weighted_2sigma_percent\n"
              "3150Hz-1.wav,1,3150,44100,0,0,0,0\n"
              "3150Hz-2.wav,2,3150,44100,4,0.01,0.00997,0.00997\n"
              "3150Hz-3.wav,3,3150,44100,4,0.1,0.0997,0.0997\n"
              "3150Hz-4.wav,4,3150,44100,4,1,0.997,0.997\n"
              "3150Hz-5.wav,5,3150,44100,4,10,9.97,9.97\n"
              "3150Hz-6.wav,6,3150,44100,0.8,0.1,0.0997,0.0499\n"
              "3150Hz-7.wav,7,3150,44100,20,0.1,0.0997,0.0506\n"
              "3150Hz-8.wav,8,3150,44100,0.2,0.1,0.0997,0.00296\n"
              "3000Hz-1.wav,1,3000,48000,0,0,0,0\n"
              "3000Hz-2.wav,2,3000,48000,4,0.01,0.00997,0.00997\n"
              "3000Hz-3.wav,3,3000,48000,4,0.1,0.0997,0.0997\n"
              "3000Hz-4.wav,4,3000,48000,4,1,0.997,0.997\n"
              "3000Hz-5.wav,5,3000,48000,4,10,9.97,9.97\n"
              "3000Hz-6.wav,6,3000,48000,0.8,0.1,0.0997,0.0499\n"
              "3000Hz-7.wav,7,3000,48000,20,0.1,0.0997,0.0506\n"
              "3000Hz-8.wav,8,3000,48000,0.2,0.1,0.0997,0.00296\n");
}

TEST_F(CalibrationSet, SignalsAreTheTestToneOfTheirParameters) {
    char message[256] = "";
    ASSERT_EQ(WriteCalibrationSet(scratch_.string().c_str(), nullptr, message, sizeof message), 0)
        << message;
    // Signal 4 at 3150 Hz is the generator's default signal: its golden first samples.
    const std::string four = Read(scratch_ / "3150Hz-4.wav");
    ASSERT_GE(four.size(), 44u + 24u);
    std::vector<int16_t> first;
    for (size_t i = 44; i < 44 + 24; i += 2) {
        first.push_back(static_cast<int16_t>(static_cast<unsigned char>(four[i]) |
                                             (static_cast<unsigned char>(four[i + 1]) << 8)));
    }
    EXPECT_EQ(first, (std::vector<int16_t>{7109, 12810, 15973, 15973, 12809, 7108, -1, -7110,
                                           -12810, -15974, -15973, -12808}));
    // The others byte for byte as the generator writes them: 0.2 Hz at 3000 Hz / 48 kHz here,
    // and the pure carrier.
    for (const auto& [name, rate, carrier, level, mod] :
         {std::tuple{"3000Hz-8.wav", 48000, 3000.0, 0.1, 0.2},
          std::tuple{"3150Hz-1.wav", 44100, 3150.0, 0.0, 0.0}}) {
        RecordingStream stream;
        ASSERT_EQ(WriteTestToneQuietly(stream.file(), rate, carrier, level, mod, 30.0), 0);
        std::fflush(stream.file());
        const std::string written = Read(scratch_ / name);
        EXPECT_TRUE(
            std::equal(written.begin(), written.end(), stream.bytes().begin(), stream.bytes().end(),
                       [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; }))
            << name;
    }
}

TEST_F(CalibrationSet, ReplacesAnOlderSetAndLogsEachFile) {
    char message[256] = "";
    std::ofstream(scratch_ / "3000Hz-5.wav") << "stale";
    std::ofstream(scratch_ / "notes.txt") << "mine";
    FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    ASSERT_EQ(WriteCalibrationSet(scratch_.string().c_str(), log, message, sizeof message), 0);
    std::rewind(log);
    int lines = 0;
    for (int c; (c = std::fgetc(log)) != EOF;) lines += c == '\n';
    std::fclose(log);
    EXPECT_EQ(lines, 17);
    EXPECT_EQ(fs::file_size(scratch_ / "3000Hz-5.wav"), 44u + 2u * 1440000u);
    EXPECT_EQ(Read(scratch_ / "notes.txt"), "mine");
    EXPECT_EQ(Names(scratch_).size(), 18u);  // no temporary file left
}

TEST_F(CalibrationSet, RefusesAPathItCannotUseAndCreatesNothing) {
    char message[256] = "";
    const fs::path missing = scratch_ / "no" / "such";
    EXPECT_EQ(WriteCalibrationSet(missing.string().c_str(), nullptr, message, sizeof message), -1);
    EXPECT_EQ(std::string(message), "Cannot create directory " + missing.string());
    const fs::path file = scratch_ / "file";
    std::ofstream(file) << "x";
    EXPECT_EQ(WriteCalibrationSet(file.string().c_str(), nullptr, message, sizeof message), -1);
    EXPECT_EQ(std::string(message), "Not a directory: " + file.string());
    EXPECT_EQ(Names(scratch_), (std::set<std::string>{"file"}));
}

// Runs WriteCalibrationSet(dir) in a child process whose files may not grow beyond limit
// bytes, so that a write fails part-way as on a full disk; returns "RESULT MESSAGE".
std::string WriteWithFileSizeLimit(const fs::path& dir, rlim_t limit) {
    int channel[2];
    if (pipe(channel) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // a failing write instead of the signal
        const rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
        char message[256] = "";
        const int result =
            WriteCalibrationSet(dir.string().c_str(), nullptr, message, sizeof message);
        const std::string text = std::to_string(result) + " " + message;
        (void)!write(channel[1], text.data(), text.size());
        _exit(0);
    }
    close(channel[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(got));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return text;
}

// A limit between the sizes of the 44.1 kHz files and the 48 kHz ones: the first eight files
// are written, the ninth fails.
constexpr rlim_t kBetweenTheSizes = 2700000;

TEST_F(CalibrationSet, FailedWriteRemovesWhatTheCallCreated) {
    const fs::path dir = scratch_ / "set";
    EXPECT_EQ(WriteWithFileSizeLimit(dir, kBetweenTheSizes),
              "-1 Cannot write " + (dir / "3000Hz-1.wav").string());
    EXPECT_FALSE(fs::exists(dir));

    // Into a directory that was there: the directory stays with what it held, and a file the
    // call replaced holds the signal.
    fs::create_directory(dir);
    std::ofstream(dir / "3150Hz-2.wav") << "older";
    std::ofstream(dir / "3000Hz-1.wav") << "older";
    EXPECT_EQ(WriteWithFileSizeLimit(dir, kBetweenTheSizes),
              "-1 Cannot write " + (dir / "3000Hz-1.wav").string());
    EXPECT_EQ(Names(dir), (std::set<std::string>{"3150Hz-2.wav", "3000Hz-1.wav"}));
    EXPECT_EQ(fs::file_size(dir / "3150Hz-2.wav"), 44u + 2u * 1323000u);
    EXPECT_EQ(Read(dir / "3000Hz-1.wav"), "older");
}

}  // namespace
