// The capture source on the devices that tests/meter/live_*_test.sh make: an ALSA file plugin
// (not clocked: it delivers as fast as it is read) and a PulseAudio null sink's monitor (real
// time). Skipped unless a script names the device:
//   WOBBLEGEN_TEST_CAPTURE_DEVICE  device name, WOBBLEGEN_TEST_CAPTURE_RATE  its rate in Hz;
//   WOBBLEGEN_TEST_CAPTURE_RAW     the file device's infile (32-bit floats, one channel);
//   WOBBLEGEN_TEST_CAPTURE_TONE    the WAV file playing into the null sink;
//   WOBBLEGEN_TEST_CAPTURE_SERVER  the process id of the sound server, to freeze it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "meter/capture/capture.h"

namespace wobblemeter {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::unique_ptr<CaptureSource> OpenTestDevice(double bufferSeconds) {
    CaptureOptions options;
    options.device = Environment("WOBBLEGEN_TEST_CAPTURE_DEVICE");
    options.rate = std::atoi(Environment("WOBBLEGEN_TEST_CAPTURE_RATE").c_str());
    options.bufferSeconds = bufferSeconds;
    return OpenCaptureDevice(options);
}

// Reads until frames frames of the time line (lost ones included) have passed; lost frames
// are NaN.
// Returns the mean delay from the converter to the reader of the chunks, s.
double ReadTimeline(CaptureSource& source, std::vector<double>& timeline, size_t frames,
                    std::vector<std::pair<size_t, long long>>* losses = nullptr) {
    std::vector<double> block(1024);
    const size_t end = timeline.size() + frames;
    double delays = 0.0;
    int chunks = 0;
    while (timeline.size() < end) {
        const CaptureChunk chunk = source.Read(
            block.data(), std::min(block.size(), end - timeline.size()), std::chrono::seconds(1));
        if (chunk.ended) throw CaptureError("the device ended");
        if (chunk.frames > 0) {
            delays +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - chunk.capturedAt)
                    .count();
            ++chunks;
        }
        if (chunk.lostFrames > 0 && losses != nullptr)
            losses->emplace_back(timeline.size(), chunk.lostFrames);
        timeline.insert(timeline.end(), static_cast<size_t>(chunk.lostFrames), NAN);
        timeline.insert(timeline.end(), block.begin(),
                        block.begin() + static_cast<long>(chunk.frames));
    }
    return chunks > 0 ? delays / chunks : 0.0;
}

// A device that is not clocked waits for a slow reader instead of losing frames: the samples
// arrive exactly as the file holds them, however late they are read.
TEST(CaptureDevice, UnclockedDeviceWaitsForASlowReaderAndDeliversTheFileExactly) {
    const std::string raw = Environment("WOBBLEGEN_TEST_CAPTURE_RAW");
    if (raw.empty()) GTEST_SKIP() << "run by tests/meter/live_capture_test.sh";
    std::vector<float> file(1 << 20);
    FILE* in = std::fopen(raw.c_str(), "rb");
    ASSERT_NE(nullptr, in);
    file.resize(std::fread(file.data(), sizeof(float), file.size(), in));
    std::fclose(in);

    const auto source = OpenTestDevice(kCaptureBufferSeconds);
    const auto rate = static_cast<size_t>(source->SampleRate());
    ASSERT_GT(file.size(), 7 * rate) << "the infile must outlast the read";
    source->Start();
    std::vector<double> timeline;
    // Late start: the device fills the buffer at once, then must wait rather than drop.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ReadTimeline(*source, timeline, 3 * rate);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ReadTimeline(*source, timeline, 3 * rate);
    source->Stop();
    for (size_t i = 0; i < timeline.size(); ++i)
        ASSERT_EQ(static_cast<double>(file[i]), timeline[i]) << "frame " << i;
}

std::vector<double> ReadWav(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<double> samples(static_cast<size_t>(info.frames));
    samples.resize(static_cast<size_t>(sf_readf_double(file, samples.data(), info.frames)));
    sf_close(file);
    return samples;
}

// Where the window of the capture starting at from appears in the tone: the one position at
// which every sample agrees within the sound server's rounding (it scales by its volume).
std::optional<size_t> FindInTone(const std::vector<double>& tone,
                                 const std::vector<double>& capture, size_t from, size_t count) {
    constexpr double kTolerance = 1.5 / 32768;
    std::optional<size_t> found;
    for (size_t at = 0; at + count <= tone.size(); ++at) {
        size_t i = 0;
        while (i < count && std::fabs(tone[at + i] - capture[from + i]) <= kTolerance) ++i;
        if (i < count) continue;
        if (found) return std::nullopt;  // ambiguous
        found = at;
    }
    return found;
}

// A real-time device and a reader that stalls for longer than the buffer holds: the frames that
// did not fit are reported lost at their place, exactly as many as the tone skips there.
TEST(CaptureDevice, ClockedDeviceReportsTheFramesAStalledReaderLostExactly) {
    const std::string tonePath = Environment("WOBBLEGEN_TEST_CAPTURE_TONE");
    if (tonePath.empty()) GTEST_SKIP() << "run by tests/meter/live_pulse_test.sh";
    const std::vector<double> tone = ReadWav(tonePath);
    ASSERT_FALSE(tone.empty());

    constexpr double kBufferSeconds = 0.25, kStallSeconds = 1.0;
    const auto source = OpenTestDevice(kBufferSeconds);
    const auto rate = static_cast<size_t>(source->SampleRate());
    source->Start();
    std::vector<double> timeline;
    std::vector<std::pair<size_t, long long>> losses;
    const double delay = ReadTimeline(*source, timeline, rate / 2, &losses);
    std::this_thread::sleep_for(std::chrono::duration<double>(kStallSeconds));
    // What the buffer held, the loss, and as much again after it.
    ReadTimeline(*source, timeline, 3 * rate / 2, &losses);
    source->Stop();
    std::printf("mean delay from the converter to the reader before the stall: %.1f ms\n",
                1e3 * delay);

    ASSERT_EQ(1u, losses.size()) << "one loss, where the reader stalled";
    const auto [at, lost] = losses[0];
    const double lostSeconds = static_cast<double>(lost) / static_cast<double>(rate);
    EXPECT_NEAR(kStallSeconds - kBufferSeconds, lostSeconds, 0.15);
    // The tone before the loss and after it, found in the file: they lie exactly lost apart.
    const size_t window = rate / 10;
    ASSERT_GE(at, window);
    ASSERT_GE(timeline.size(), at + static_cast<size_t>(lost) + window);
    const auto before = FindInTone(tone, timeline, at - window, window);
    const auto after = FindInTone(tone, timeline, at + static_cast<size_t>(lost), window);
    ASSERT_TRUE(before && after) << "the captured tone is not the one played";
    EXPECT_EQ(static_cast<long long>(*after - (*before + window)), lost);
}

// A sound server that freezes: reading fails within the stall limit, the source is given up
// without waiting for the server, and nothing of it is touched when the server comes back and
// PortAudio's threads run on (AddressSanitizer watches). The library is not called again.
TEST(CaptureDevice, SourceGivenUpOnAFrozenServerSurvivesItsReturn) {
    const pid_t server = std::atoi(Environment("WOBBLEGEN_TEST_CAPTURE_SERVER").c_str());
    if (server <= 0) GTEST_SKIP() << "run by tests/meter/live_pulse_test.sh";
    struct Thaw {
        pid_t server;
        ~Thaw() { kill(server, SIGCONT); }
    } thaw{server};
    auto source = OpenTestDevice(kCaptureBufferSeconds);
    const auto rate = static_cast<size_t>(source->SampleRate());
    source->Start();
    std::vector<double> timeline;
    ReadTimeline(*source, timeline, rate / 4);

    ASSERT_EQ(0, kill(server, SIGSTOP));
    using Clock = std::chrono::steady_clock;
    auto started = Clock::now();
    EXPECT_THROW(ReadTimeline(*source, timeline, 60 * rate), CaptureError);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(4));
    started = Clock::now();
    source.reset();
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));

    kill(server, SIGCONT);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_THROW(OpenTestDevice(kCaptureBufferSeconds), CaptureError);
}

}  // namespace
}  // namespace wobblemeter
