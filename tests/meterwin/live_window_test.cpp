// The meter window live, without a display or a sound card: a fake device paced faster than
// real time, read through the window's logic as its front-end polls it. The states a tone
// takes the window through and what each shows, the hold mark as the flutter falls, a tone off
// speed read against its nominal, Stop, the log and the recording switched before and during a
// session and finished when the window closes, a lost device, none at all.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "meter/capture/fake.h"
#include "meter/output/csv_log.h"
#include "meter/output/report.h"
#include "meterwin/meter_window.h"
#include "tests/meter/meter_test_util.h"
#include "tests/meter/paced_source.h"
#include "tests/meterwin/fake_meter_view.h"

namespace wobblemeter {
namespace {

using namespace std::chrono_literals;
using wobblemeter_test::FakeMeterView;
using wobblemeter_test::PacedSource;
using wobblemeter_test::ReadoutNamed;
using wobblemeter_test::ScratchDir;

constexpr int kRate = 44100;
// How much faster than real time the fake device delivers.
constexpr double kSpeed = 10.0;
// Frames in a block of the fake device.
constexpr size_t kBlock = 1024;
// The weighted two-sigma of a 4 Hz swing of 1 % peak, %.
constexpr double kTwoSigmaOfOnePercent = 0.99692;

// The generator's default tone (3150 Hz, 1 % at 4 Hz) as samples.
std::vector<double> Tone(const ScratchDir& dir, double seconds) {
    const std::string path = dir.Path("source.wav");
    wobblemeter_test::WriteTone(path, kRate, 3150.0, 1.0, 4.0, seconds);
    SF_INFO info;
    return wobblemeter_test::ReadSamples(path, info);
}

// A tone at carrierHz swung at 4 Hz, second by second by the peak deviation of levels (%),
// its phase unbroken where the level changes (at a zero of the swing).
std::vector<double> SwungTone(double carrierHz, const std::vector<double>& levels) {
    std::vector<double> samples;
    samples.reserve(levels.size() * kRate);
    double phase = 0.0;
    for (size_t second = 0; second < levels.size(); ++second) {
        for (int i = 0; i < kRate; ++i) {
            const double t = static_cast<double>(second) + static_cast<double>(i) / kRate;
            const double hz = carrierHz * (1.0 + levels[second] / 100.0 *
                                                     std::sin(2.0 * std::numbers::pi * 4.0 * t));
            phase = std::fmod(phase + 2.0 * std::numbers::pi * hz / kRate, 2.0 * std::numbers::pi);
            samples.push_back(0.5 * std::sin(phase));
        }
    }
    return samples;
}

std::vector<double> Silence(double seconds) {
    return std::vector<double>(static_cast<size_t>(seconds * kRate), 0.0);
}

std::vector<double> Joined(std::initializer_list<std::vector<double>> parts) {
    std::vector<double> all;
    for (const std::vector<double>& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

long long WavFrames(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return -1;
    sf_close(file);
    return info.frames;
}

bool Formed(const Display& d, const std::string& name) {
    for (const Readout& r : d.readouts)
        if (r.name == name) return r.formed;
    ADD_FAILURE() << "no readout " << name;
    return false;
}

class LiveWindowTest : public ::testing::Test {
protected:
    // A window whose one device ("fake", the default) opens the given audio.
    std::unique_ptr<MeterWindow> Window(std::vector<double> audio, long long failAt = -1) {
        MeterWindowOptions options;
        options.settingsPath = dir.Path("wobblemeter-gui.conf");
        options.listDevices = [] {
            return std::vector<CaptureDeviceInfo>{{"fake", 2, 44100, true}};
        };
        auto shared = std::make_shared<std::vector<double>>(std::move(audio));
        options.openCapture = [shared, failAt](const CaptureOptions& capture) {
            EXPECT_EQ(capture.device, "fake");
            return std::unique_ptr<CaptureSource>(
                std::make_unique<PacedSource>(*shared, kRate, kSpeed, kBlock, failAt));
        };
        auto window = std::make_unique<MeterWindow>(view, options);
        window->Begin(std::nullopt);
        return window;
    }

    // Polls as the front-end's timer does (faster) until the window is in state or 60 s pass.
    static bool PollUntil(MeterWindow& window, WindowState state) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (window.State() != state && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
            window.Poll();
        }
        return window.State() == state;
    }

    // The last display shown in state.
    const Display* LastIn(WindowState state) const {
        for (auto d = view.shown.rbegin(); d != view.shown.rend(); ++d)
            if (d->state == state) return &*d;
        return nullptr;
    }

    // The middle one of the displays shown in state (away from the edges of the tone).
    const Display* MiddleIn(WindowState state) const {
        std::vector<const Display*> in;
        for (const Display& d : view.shown)
            if (d.state == state) in.push_back(&d);
        return in.empty() ? nullptr : in[in.size() / 2];
    }

    ScratchDir dir;
    FakeMeterView view;
};

TEST_F(LiveWindowTest, AToneTakesTheWindowThroughItsStatesAndEachShowsWhatItHas) {
    // 2 s of silence, 16 s of tone, 3 s of silence, then the device ends.
    auto window = Window(Joined({Silence(2), Tone(dir, 16), Silence(3)}));
    EXPECT_TRUE(view.controls.start);
    EXPECT_FALSE(view.controls.stop);
    window->OnStart();
    EXPECT_FALSE(view.controls.start);
    EXPECT_TRUE(view.controls.stop);
    EXPECT_FALSE(view.controls.chooseDevice);  // not while measuring
    ASSERT_TRUE(PollUntil(*window, WindowState::kStopped));

    std::vector<WindowState> states;
    for (const Display& d : view.shown)
        if (states.empty() || states.back() != d.state) states.push_back(d.state);
    states.erase(std::remove(states.begin(), states.end(), WindowState::kStarting), states.end());
    EXPECT_EQ(states, (std::vector<WindowState>{WindowState::kIdle, WindowState::kWaitingForTone,
                                                WindowState::kSettling, WindowState::kMeasuring,
                                                WindowState::kNoTone, WindowState::kStopped}));

    const Display* waiting = LastIn(WindowState::kWaitingForTone);
    ASSERT_NE(waiting, nullptr);
    EXPECT_EQ(waiting->heading, "Live: fake, 44100 Hz, channel 1");
    EXPECT_FALSE(Formed(*waiting, "Weighted two-sigma"));
    EXPECT_EQ(waiting->status.rfind("Waiting for the test tone", 0), 0u) << waiting->status;

    const Display* settling = LastIn(WindowState::kSettling);
    ASSERT_NE(settling, nullptr);
    EXPECT_TRUE(Formed(*settling, "Speed error"));
    EXPECT_FALSE(Formed(*settling, "Weighted two-sigma"));
    EXPECT_FALSE(Formed(*settling, "Weighted quasi-peak"));
    EXPECT_NE(settling->status.find("settling"), std::string::npos) << settling->status;

    const Display* measuring = MiddleIn(WindowState::kMeasuring);
    ASSERT_NE(measuring, nullptr);
    for (const char* name : {"Speed error", "Weighted two-sigma", "Weighted quasi-peak",
                             "Unweighted two-sigma", "Weighted RMS"})
        EXPECT_TRUE(Formed(*measuring, name)) << name;
    EXPECT_NEAR(measuring->bar.valuePercent, 0.997, 0.01);
    EXPECT_EQ(measuring->bar.valuePercent, measuring->weightedLevelPercent);
    EXPECT_EQ(ReadoutNamed(*measuring, "Speed error").standard, "against 3150 Hz");
    // The carrier of the newest audio: the mean over part of a swing.
    double carrier = 0.0;
    ASSERT_EQ(std::sscanf(measuring->status.c_str(), "Carrier %lf Hz", &carrier), 1)
        << measuring->status;
    EXPECT_NEAR(carrier, 3150.0, 0.5);
    EXPECT_NE(measuring->status.find("tone present"), std::string::npos);
    EXPECT_NE(measuring->status.find("overruns 0 (0 frames lost)"), std::string::npos);
    EXPECT_NE(measuring->status.find("drop-outs 0"), std::string::npos);
    EXPECT_NE(measuring->status.find("0:00:1"), std::string::npos) << measuring->status;
    EXPECT_GE(measuring->traceEndSeconds, 13.0);
    // The last 10 s of deviation, the spectrum's 4 Hz line, the speed error of every second.
    EXPECT_DOUBLE_EQ(measuring->traceEndSeconds - measuring->traceStartSeconds, 10.0);
    ASSERT_FALSE(measuring->weighted.high.empty());
    // (The newest trace point lags the newest audio by the demodulator's delay.)
    EXPECT_GE(measuring->weighted.startSeconds, measuring->traceStartSeconds - 0.25);
    // The trace reaches the newest audio, a point every 20 ms.
    EXPECT_NEAR(
        measuring->weighted.startSeconds + measuring->weighted.stretchSeconds *
                                               static_cast<double>(measuring->weighted.high.size()),
        measuring->traceEndSeconds, 0.5);
    const float highest = *std::max_element(
        measuring->weighted.high.begin(), measuring->weighted.high.end(),
        [](float a, float b) { return std::isnan(a) || (!std::isnan(b) && a < b); });
    EXPECT_NEAR(highest, 1.0, 0.1);
    ASSERT_FALSE(measuring->lines.empty());
    EXPECT_NEAR(measuring->lines[0].hz, 4.0, 0.1);
    EXPECT_GE(measuring->speedError.high.size(), 10u);
    EXPECT_NEAR(measuring->speedErrorLinePercent, 0.0, 0.01);
    EXPECT_FALSE(measuring->summary);

    const Display* gone = LastIn(WindowState::kNoTone);
    ASSERT_NE(gone, nullptr);
    EXPECT_FALSE(Formed(*gone, "Weighted two-sigma"));
    EXPECT_EQ(gone->status.rfind("no tone", 0), 0u) << gone->status;
    EXPECT_NEAR(gone->bar.holdPercent, 0.997, 0.01);  // the session's largest stays marked

    // Ended: the summary over the tone, exported as the command line writes it.
    const Display& stopped = view.Last();
    EXPECT_TRUE(stopped.summary);
    EXPECT_TRUE(Formed(stopped, "Weighted two-sigma"));
    EXPECT_EQ(stopped.status.rfind("Stopped after 0:00:21: the readings over ", 0), 0u)
        << stopped.status;
    EXPECT_TRUE(view.controls.start);
    EXPECT_TRUE(view.controls.exportResult);
    view.answers = {dir.Path("live.json")};
    window->OnExportJson();
    ASSERT_TRUE(view.messages.empty()) << view.messages.front();
    std::ifstream json(dir.Path("live.json"));
    const std::string text{std::istreambuf_iterator<char>(json), {}};
    EXPECT_NE(text.find("\"device\":\"fake\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"weighted_peak_percent\":0.99"), std::string::npos) << text;
}

// The hold mark stays at the session's largest two-sigma when the flutter falls: 0.5 % then
// 0.1 %.
TEST_F(LiveWindowTest, TheHoldMarkKeepsTheLargestReadingWhenTheFlutterFalls) {
    std::vector<double> levels(10, 0.5);
    levels.resize(24, 0.1);
    auto window = Window(SwungTone(3150.0, levels));
    window->OnStart();
    ASSERT_TRUE(PollUntil(*window, WindowState::kStopped));
    const Display* low = LastIn(WindowState::kMeasuring);
    ASSERT_NE(low, nullptr);
    EXPECT_NEAR(low->bar.valuePercent, 0.1 * kTwoSigmaOfOnePercent, 0.01);
    EXPECT_NEAR(low->bar.holdPercent, 0.5 * kTwoSigmaOfOnePercent, 0.02);
    EXPECT_NEAR(view.Last().bar.holdPercent, 0.5 * kTwoSigmaOfOnePercent, 0.02);
}

// A tone 1 % fast or slow: its speed error is read and named against the nominal carrier
// the meter took (3150 Hz), not against one a wrong sign makes (3214 or 3088 Hz).
TEST_F(LiveWindowTest, AToneOffSpeedIsReadAgainstItsNominal) {
    for (const double error : {1.0, -1.0}) {
        SCOPED_TRACE(error);
        view.shown.clear();
        auto window = Window(SwungTone(3150.0 * (1.0 + error / 100.0), std::vector(12, 0.1)));
        window->OnStart();
        ASSERT_TRUE(PollUntil(*window, WindowState::kStopped));
        const Display* measuring = LastIn(WindowState::kMeasuring);
        ASSERT_NE(measuring, nullptr);
        ASSERT_TRUE(Formed(*measuring, "Speed error"));
        EXPECT_EQ(ReadoutNamed(*measuring, "Speed error").standard, "against 3150 Hz");
        // The last display before Stop reads the mean over whatever part of the flutter's
        // cycle its window holds, so the third decimal may move with the timing (-0.999 %
        // seen under the sanitizers): the sign, the unit and the figure to 0.005 %.
        const std::string value = ReadoutNamed(*measuring, "Speed error").value;
        ASSERT_GE(value.size(), 3u) << value;
        EXPECT_EQ(value.front(), error > 0 ? '+' : '-') << value;
        EXPECT_EQ(value.substr(value.size() - 2), " %") << value;
        EXPECT_NEAR(std::stod(value), error, 0.005) << value;
    }
}

TEST_F(LiveWindowTest, StopEndsTheSessionWithItsReadingsAndStartBeginsAfresh) {
    auto window = Window(Tone(dir, 120));
    window->OnStart();
    ASSERT_TRUE(PollUntil(*window, WindowState::kMeasuring));
    window->OnStop();
    EXPECT_EQ(window->State(), WindowState::kStopped);
    EXPECT_TRUE(Formed(view.Last(), "Weighted two-sigma"));
    EXPECT_TRUE(view.controls.exportResult);
    EXPECT_FALSE(view.controls.stop);
    EXPECT_TRUE(view.controls.chooseDevice);

    window->OnStart();
    EXPECT_FALSE(view.controls.exportResult);
    ASSERT_TRUE(PollUntil(*window, WindowState::kWaitingForTone));
    EXPECT_TRUE(std::isnan(view.Last().bar.holdPercent));
    window->OnStop();
    EXPECT_EQ(window->State(), WindowState::kStopped);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(LiveWindowTest, LogAndRecordingSwitchBeforeAndDuringASessionAndCloseFinishesThem) {
    auto window = Window(Tone(dir, 300));
    // Chosen before Start: kept, and begun with the session.
    view.answers = {dir.Path("first")};
    window->OnLog();
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].kind, FileKind::kLog);
    EXPECT_EQ(view.asked[0].suggestion.rfind("wobblemeter-", 0), 0u);
    EXPECT_TRUE(view.controls.logging);
    EXPECT_FALSE(view.controls.recording);
    window->OnStart();
    ASSERT_TRUE(PollUntil(*window, WindowState::kSettling));
    EXPECT_NE(view.Last().status.find("logging to " + dir.Path("first.csv")), std::string::npos)
        << view.Last().status;

    // Recording switched on and off while it runs.
    view.answers = {dir.Path("take.wav")};
    window->OnRecord();
    EXPECT_EQ(view.asked.back().kind, FileKind::kRecording);
    EXPECT_TRUE(view.controls.recording);
    std::this_thread::sleep_for(300ms);  // 3 s of audio
    window->Poll();
    window->OnRecord();
    EXPECT_FALSE(view.controls.recording);
    EXPECT_GT(WavFrames(dir.Path("take.wav")), kRate);

    // The log switched off: finished, a row a second from 0 s.
    ASSERT_TRUE(PollUntil(*window, WindowState::kMeasuring));
    window->OnLog();
    EXPECT_FALSE(view.controls.logging);
    std::vector<std::string> rows = Lines(dir.Path("first.csv"));
    ASSERT_GE(rows.size(), 9u);
    EXPECT_EQ(rows[0], kCsvHeader);
    EXPECT_EQ(rows[1].rfind("0,", 0), 0u) << rows[1];

    // Both on again, and the window closed while they run: both finished.
    view.answers = {dir.Path("second.csv"), dir.Path("again.wav")};
    window->OnLog();
    window->OnRecord();
    EXPECT_TRUE(view.controls.logging);
    EXPECT_TRUE(view.controls.recording);
    std::this_thread::sleep_for(300ms);
    window->Poll();
    EXPECT_EQ(window->OnClose(), "");
    // Ended with the window: the files grow no more.
    const auto wavSize = std::filesystem::file_size(dir.Path("again.wav"));
    const auto csvSize = std::filesystem::file_size(dir.Path("second.csv"));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(std::filesystem::file_size(dir.Path("again.wav")), wavSize);
    EXPECT_EQ(std::filesystem::file_size(dir.Path("second.csv")), csvSize);
    EXPECT_GT(WavFrames(dir.Path("again.wav")), kRate);
    rows = Lines(dir.Path("second.csv"));
    ASSERT_GE(rows.size(), 3u);
    const auto fields = std::count(rows[0].begin(), rows[0].end(), ',');
    for (const std::string& row : rows) EXPECT_EQ(std::count(row.begin(), row.end(), ','), fields);
    EXPECT_TRUE(view.messages.empty()) << view.messages.front();
}

TEST_F(LiveWindowTest, SwitchesSayWhyAFileCannotBeWrittenAndAnUnchosenOneIsForgotten) {
    auto window = Window(Tone(dir, 300));
    // Switched on and off again before Start: nothing kept.
    view.answers = {dir.Path("kept.csv")};
    window->OnLog();
    window->OnLog();
    EXPECT_FALSE(view.controls.logging);
    // A log that cannot be created: Start refuses, in the command-line tool's words.
    view.answers = {dir.Path("no/such/take.csv")};
    window->OnLog();
    window->OnStart();
    EXPECT_EQ(window->State(), WindowState::kIdle);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "cannot write the log " + dir.Path("no/such/take.csv") +
                                    ": No such file or directory");
    window->OnLog();  // off again
    window->OnStart();
    ASSERT_TRUE(PollUntil(*window, WindowState::kSettling));
    view.answers = {dir.Path("no/such/take.wav")};
    window->OnRecord();
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1].rfind("cannot create " + dir.Path("no/such/take.wav"), 0), 0u)
        << view.messages[1];
    EXPECT_FALSE(view.controls.recording);
    EXPECT_FALSE(std::ifstream(dir.Path("kept.csv")).good());
}

TEST_F(LiveWindowTest, ALostDeviceEndsInAnErrorInTheCommandLinesWordsKeepingTheReadings) {
    auto window = Window(Tone(dir, 30), 15 * kRate);
    window->OnStart();
    ASSERT_TRUE(PollUntil(*window, WindowState::kError));
    const std::string why = "capture device 'fake' stopped delivering audio (unplugged?)";
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], why);
    EXPECT_EQ(view.Last().status.rfind(why, 0), 0u) << view.Last().status;
    EXPECT_TRUE(Formed(view.Last(), "Weighted two-sigma"));  // of the 15 s that came
    EXPECT_TRUE(view.controls.exportResult);
    EXPECT_TRUE(view.controls.start);
}

TEST_F(LiveWindowTest, ADeviceThatCannotBeOpenedIsAnErrorWithNothingToExport) {
    MeterWindowOptions options;
    options.listDevices = [] {
        return std::vector<CaptureDeviceInfo>{{"USB Audio: - (hw:1,0)", 2, 48000, true}};
    };
    options.openCapture = [](const CaptureOptions&) -> std::unique_ptr<CaptureSource> {
        throw CaptureError("capture device 'hw:1,0' is busy");
    };
    MeterWindow window(view, options);
    window.Begin(std::nullopt);
    window.OnStart();
    ASSERT_TRUE(PollUntil(window, WindowState::kError));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "capture device 'hw:1,0' is busy");
    EXPECT_FALSE(view.controls.exportResult);
    EXPECT_FALSE(Formed(view.Last(), "Weighted two-sigma"));
}

// The sound server gone between the window's list and Start: the window opens the device it
// listed, which the audio library refuses with its own reason, where the command line finds no
// device at all. The window says what the command line says.
TEST_F(LiveWindowTest, ADeviceGoneWithEveryOtherSaysNoneIsFoundAsTheCommandLineDoes) {
    MeterWindowOptions options;
    auto lists = std::make_shared<int>(0);
    options.listDevices = [lists] {
        return ++*lists == 1 ? std::vector<CaptureDeviceInfo>{{"pulse", 32, 44100, true}}
                             : std::vector<CaptureDeviceInfo>{};
    };
    options.openCapture = [](const CaptureOptions&) -> std::unique_ptr<CaptureSource> {
        throw CaptureError(Msg::kCannotOpenCaptureDevice, "pulse", "Connection refused");
    };
    MeterWindow window(view, options);
    window.Begin(std::nullopt);
    window.OnStart();
    ASSERT_TRUE(PollUntil(window, WindowState::kError));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "no capture device found");
    EXPECT_EQ(view.Last().status, "no capture device found");
    EXPECT_EQ(*lists, 2);
}

}  // namespace
}  // namespace wobblemeter
