// The measuring session as the command line's live mode and a desktop window use it: a fake
// device read into the engine on the session's thread, read as the file mode reads the same
// audio; overruns bridged and counted; a lost device, a missing one, unwritable files, a log
// that fails while it runs; the log and the recording switched while it runs; states, trace
// and spectrum in the snapshots; a file measured with progress and cancelled.
#include "meter/live/live_session.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "meter/capture/fake.h"
#include "meter/output/csv_log.h"
#include "tests/meter/meter_test_util.h"
#include "tests/meter/paced_source.h"

namespace wobblemeter {
namespace {

using namespace std::chrono_literals;
using wobblemeter_test::PacedSource;
using wobblemeter_test::ReadSamples;
using wobblemeter_test::ScratchDir;

constexpr int kRate = 44100;
constexpr double kTwoSigma = 0.99692;
// Frames in a block of the paced fake device, as a sound card's at 44.1 kHz.
constexpr size_t kBlock = 2048;

std::vector<double> Ramp(size_t frames) {
    std::vector<double> samples(frames);
    for (size_t i = 0; i < frames; ++i) samples[i] = static_cast<double>(i) / 65536.0;
    return samples;
}

// The generator's default tone (3150 Hz, 1 % at 4 Hz; another level where given) as samples.
std::vector<double> ToneSamples(const ScratchDir& dir, double seconds, double level = 1.0) {
    const std::string path = dir.Path("source.wav");
    wobblemeter_test::WriteTone(path, kRate, 3150.0, level, 4.0, seconds);
    SF_INFO info;
    return ReadSamples(path, info);
}

// Options that open the given source.
LiveOptions FromSource(std::shared_ptr<CaptureSource> source) {
    LiveOptions options;
    options.open = [source](const CaptureOptions&) {
        struct Borrowed final : CaptureSource {
            explicit Borrowed(std::shared_ptr<CaptureSource> s) : s_(std::move(s)) {}
            int SampleRate() const override { return s_->SampleRate(); }
            const std::string& DeviceName() const override { return s_->DeviceName(); }
            void Start() override { s_->Start(); }
            CaptureChunk Read(double* out, size_t n, std::chrono::milliseconds t) override {
                return s_->Read(out, n, t);
            }
            void Stop() override { s_->Stop(); }
            std::shared_ptr<CaptureSource> s_;
        };
        return std::unique_ptr<CaptureSource>(std::make_unique<Borrowed>(source));
    };
    return options;
}

// Runs a session to its end (at most 60 s).
void RunToEnd(LiveSession& session, LiveOptions options) {
    session.StartLive(std::move(options));
    ASSERT_TRUE(session.Wait(60s));
    session.Stop();
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(LiveSession, ReadsAsTheFileModeDoesAndItsRecordingAndLogAgree) {
    ScratchDir dir;
    const std::vector<double> tone = ToneSamples(dir, 20.0);
    std::vector<std::string> fileRows;
    MeterOptions fileOptions;
    fileOptions.onSecond = [&fileRows](const SecondReading& r) { fileRows.push_back(CsvRow(r)); };
    const MeterResult file = MeasureFile(dir.Path("source.wav"), fileOptions);

    LiveSession session;
    LiveOptions options = FromSource(std::make_shared<FakeCaptureSource>(tone, kRate, 1999));
    options.recordPath = dir.Path("take.wav");
    options.logPath = dir.Path("take.csv");
    RunToEnd(session, options);
    const SessionSnapshot s = session.Snapshot();
    EXPECT_EQ(s.status, SessionStatus::kFinished);
    EXPECT_FALSE(s.stopped);
    EXPECT_EQ(s.error, "");
    EXPECT_EQ(s.outputError, "");
    EXPECT_DOUBLE_EQ(s.seconds, 20.0);
    const std::optional<MeterResult> live = session.Result();
    ASSERT_TRUE(live.has_value()) << session.ResultError();
    for (const MeterResult* r : {&*live, &file}) {
        EXPECT_NEAR(r->weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
        EXPECT_NEAR(r->carrierHz, 3150.0, 0.005);
    }
    EXPECT_DOUBLE_EQ(live->weightedPeakPercent, file.weightedPeakPercent);
    EXPECT_DOUBLE_EQ(live->unweightedPeakPercent, file.unweightedPeakPercent);
    EXPECT_DOUBLE_EQ(live->weightedRmsPercent, file.weightedRmsPercent);
    EXPECT_DOUBLE_EQ(live->carrierHz, file.carrierHz);
    EXPECT_DOUBLE_EQ(live->modulationHz, file.modulationHz);
    EXPECT_DOUBLE_EQ(live->measuredSeconds, file.measuredSeconds);

    // The session measured again from its recording reads the same; the log holds the file
    // mode's rows.
    const MeterResult again = MeasureFile(dir.Path("take.wav"), {});
    EXPECT_DOUBLE_EQ(again.weightedPeakPercent, live->weightedPeakPercent);
    EXPECT_DOUBLE_EQ(again.carrierHz, live->carrierHz);
    EXPECT_DOUBLE_EQ(again.durationSeconds, 20.0);
    std::vector<std::string> rows = Lines(dir.Path("take.csv"));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), kCsvHeader);
    rows.erase(rows.begin());
    EXPECT_EQ(rows, fileRows);
    EXPECT_EQ(session.TakeSeconds().size(), 20u);
}

TEST(LiveSession, TheStandardsFiguresAndThePlatterReadAsInTheFileModeAndShowWhileItRuns) {
    // A test record at 45 rpm, swinging 0.2 % once per revolution, 15 s.
    ScratchDir dir;
    wobblemeter_test::WriteTone(dir.Path("record.wav"), kRate, 3150.0, 0.2, 0.75, 15.0);
    SF_INFO info{};
    const std::vector<double> record = wobblemeter_test::ReadSamples(dir.Path("record.wav"), info);
    MeterOptions fileOptions;
    fileOptions.rpm = 45.0;
    const MeterResult file = MeasureFile(dir.Path("record.wav"), fileOptions);

    LiveSession session;
    LiveOptions options = FromSource(std::make_shared<FakeCaptureSource>(record, kRate, 1999));
    options.meter.rpm = 45.0;
    RunToEnd(session, options);
    const std::optional<MeterResult> live = session.Result();
    ASSERT_TRUE(live.has_value()) << session.ResultError();
    EXPECT_NEAR(live->revolution.oncePercent, 0.2, 0.002);
    EXPECT_DOUBLE_EQ(live->revolution.oncePercent, file.revolution.oncePercent);
    EXPECT_DOUBLE_EQ(live->revolution.remainingRmsPercent, file.revolution.remainingRmsPercent);
    EXPECT_DOUBLE_EQ(live->weightedQuasiPeakPercent, file.weightedQuasiPeakPercent);
    EXPECT_DOUBLE_EQ(live->wowRmsPercent, file.wowRmsPercent);
    EXPECT_DOUBLE_EQ(live->flutterRmsPercent, file.flutterRmsPercent);
    EXPECT_DOUBLE_EQ(live->driftPercent, file.driftPercent);
    // The display's figures as of the end: the window's quasi-peak and wow, the session's drift
    // (a 0.75 Hz swing of 0.2 % passes the drift's 0.5 Hz low-pass in part).
    const SecondReading& latest = session.Snapshot().latest;
    EXPECT_EQ(latest.state, MeterState::kMeasuring);
    EXPECT_GT(latest.weightedQuasiPeakPercent, 0.0);
    EXPECT_GT(latest.wowRmsPercent, 100.0 * latest.flutterRmsPercent);
    EXPECT_GT(latest.sessionDriftPercent, 0.01);
    EXPECT_LT(latest.sessionDriftPercent, 0.4);
}

TEST(LiveSession, RecordsExactlyWhatCameWithSilenceForLostFramesAndStopsAtTheDuration) {
    ScratchDir dir;
    const std::vector<double> audio = Ramp(30000);
    LiveSession session;
    LiveOptions options = FromSource(std::make_shared<FakeCaptureSource>(
        audio, 48000, 417, std::vector<InjectedLoss>{{10000, 1234}}));
    options.durationSeconds = 25000.0 / 48000.0;  // lost frames count: they are session time
    options.recordPath = dir.Path("take.wav");
    RunToEnd(session, options);
    EXPECT_EQ(session.TakeLosses().size(), 1u);
    SF_INFO info;
    const std::vector<double> recorded = ReadSamples(dir.Path("take.wav"), info);
    EXPECT_EQ(info.samplerate, 48000);
    ASSERT_EQ(recorded.size(), 25000u);
    for (size_t i = 0; i < recorded.size(); ++i) {
        const double want = i >= 10000 && i < 11234 ? 0.0 : audio[i];
        ASSERT_EQ(want, recorded[i]) << "frame " << i;
    }
    // No tone in a ramp: nothing to read, said in the engine's words.
    EXPECT_FALSE(session.Result().has_value());
    EXPECT_NE(session.ResultError(), "");

    // A loss that reaches past the duration is cut at it.
    LiveSession cut;
    LiveOptions shorter = FromSource(std::make_shared<FakeCaptureSource>(
        Ramp(5000), 8000, 1000, std::vector<InjectedLoss>{{3000, 1500}}));
    shorter.durationSeconds = 0.5;
    shorter.recordPath = dir.Path("cut.wav");
    RunToEnd(cut, shorter);
    EXPECT_EQ(ReadSamples(dir.Path("cut.wav"), info).size(), 4000u);
    EXPECT_EQ(cut.Snapshot().lostFrames, 1000);
}

// The engine's refusal names the capture device where a file's would name the recording.
TEST(LiveSession, ASilentCaptureIsSaidOfTheDevice) {
    LiveSession session;
    LiveOptions options = FromSource(std::make_shared<FakeCaptureSource>(
        std::vector<double>(8000, 0.0), 8000, 400, std::vector<InjectedLoss>{}));
    options.durationSeconds = 1.0;
    RunToEnd(session, options);
    EXPECT_FALSE(session.Result().has_value());
    EXPECT_EQ(session.ResultError(), "the capture device is silent");
}

TEST(LiveSession, OverrunsAreBridgedAndCountedAndTheReadingsHold) {
    ScratchDir dir;
    const std::vector<double> tone = ToneSamples(dir, 25.0);
    LiveSession session;
    // 10 ms lost at 12 s.
    RunToEnd(session, FromSource(std::make_shared<FakeCaptureSource>(
                          tone, kRate, 2048, std::vector<InjectedLoss>{{12 * kRate, 441}})));
    const std::vector<SessionLoss> losses = session.TakeLosses();
    ASSERT_EQ(losses.size(), 1u);
    EXPECT_EQ(losses[0].atFrame, 12 * kRate);
    EXPECT_EQ(losses[0].frames, 441);
    const SessionSnapshot s = session.Snapshot();
    EXPECT_EQ(s.overruns, 1);
    EXPECT_EQ(s.lostFrames, 441);
    EXPECT_EQ(s.dropouts, 1);
    const std::optional<MeterResult> r = session.Result();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->overruns, 1);
    EXPECT_EQ(r->lostFrames, 441);
    EXPECT_EQ(r->dropouts, 1);
    EXPECT_DOUBLE_EQ(r->durationSeconds, 25.0);
    EXPECT_NEAR(r->weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
}

TEST(LiveSession, SamplesThatAreNoAudioAreNamedWhereTheyCameCountAsLostAndRecordedAsSilence) {
    ScratchDir dir;
    std::vector<double> tone = ToneSamples(dir, 20.0);
    tone[10 * kRate] = NAN;
    tone[10 * kRate + 100] = INFINITY;  // within the second: told with the one before
    std::fill(tone.begin() + 15 * kRate, tone.begin() + 15 * kRate + 10, 1e300);
    LiveSession session;
    LiveOptions options = FromSource(std::make_shared<FakeCaptureSource>(tone, kRate, 4096));
    options.recordPath = dir.Path("take.wav");
    RunToEnd(session, options);
    ASSERT_TRUE(session.Result().has_value()) << session.ResultError();
    EXPECT_EQ(session.Result()->lostFrames, 12);
    EXPECT_EQ(session.Result()->overruns, 3);
    const std::vector<SessionLoss> losses = session.TakeLosses();
    ASSERT_EQ(losses.size(), 2u);
    EXPECT_TRUE(losses[0].notAudio && losses[1].notAudio);
    EXPECT_EQ(losses[0].atFrame, 10 * kRate);
    EXPECT_EQ(losses[0].frames, 2);
    EXPECT_EQ(losses[1].atFrame, 15 * kRate);
    EXPECT_EQ(losses[1].frames, 10);
    SF_INFO info;
    const std::vector<double> recorded = ReadSamples(dir.Path("take.wav"), info);
    ASSERT_EQ(recorded.size(), tone.size());
    EXPECT_EQ(recorded[10 * kRate], 0.0);
    EXPECT_EQ(recorded[15 * kRate + 9], 0.0);
    EXPECT_EQ(recorded[15 * kRate + 10],
              static_cast<double>(static_cast<float>(tone[15 * kRate + 10])));
}

TEST(LiveSession, ADeviceOfNothingButNotANumberDeliversNoAudioRatherThanSilence) {
    LiveSession session;
    RunToEnd(session, FromSource(std::make_shared<FakeCaptureSource>(
                          std::vector<double>(5 * kRate, NAN), kRate, 4096)));
    EXPECT_FALSE(session.Result().has_value());
    EXPECT_EQ(session.ResultError(), Text(Msg::kDeviceDeliversNoAudio));
    EXPECT_EQ(session.Snapshot().lostFrames, 5 * kRate);
}

TEST(LiveSession, ALostDeviceFailsInTheCommandLinesWordsAndKeepsWhatCameBefore) {
    ScratchDir dir;
    auto source = std::make_shared<FakeCaptureSource>(ToneSamples(dir, 30.0), kRate, 1024);
    source->FailAt(15 * kRate);
    LiveSession session;
    LiveOptions options = FromSource(source);
    options.recordPath = dir.Path("take.wav");
    RunToEnd(session, options);
    const SessionSnapshot s = session.Snapshot();
    EXPECT_EQ(s.status, SessionStatus::kFailed);
    EXPECT_EQ(s.error, "capture device 'fake' stopped delivering audio (unplugged?)");
    EXPECT_FALSE(s.recording);
    ASSERT_TRUE(session.Result().has_value());
    EXPECT_DOUBLE_EQ(session.Result()->durationSeconds, 15.0);
    SF_INFO info;
    EXPECT_EQ(ReadSamples(dir.Path("take.wav"), info).size(), 15u * kRate);
}

TEST(LiveSession, NoDeviceOrAnUnwritableFileFailsAtOnceWithOneLine) {
    ScratchDir dir;
    LiveSession missing;
    LiveOptions options;
    options.open = [](const CaptureOptions&) -> std::unique_ptr<CaptureSource> {
        throw CaptureError("no capture device found");
    };
    // The log would be made once the device is open: an earlier one stays as it was.
    options.logPath = dir.Path("earlier.csv");
    std::ofstream(options.logPath) << "an earlier log\n";
    RunToEnd(missing, options);
    EXPECT_EQ(missing.Snapshot().status, SessionStatus::kFailed);
    EXPECT_EQ(missing.Snapshot().error, "no capture device found");
    EXPECT_FALSE(missing.Result().has_value());
    EXPECT_EQ(Lines(options.logPath), std::vector<std::string>{"an earlier log"});

    LiveSession unwritable;
    auto source = std::make_shared<FakeCaptureSource>(Ramp(100), 8000, 10);
    LiveOptions recording = FromSource(source);
    recording.recordPath = dir.Path("missing/take.wav");
    RunToEnd(unwritable, recording);
    EXPECT_EQ(unwritable.Snapshot().status, SessionStatus::kFailed);
    EXPECT_EQ(unwritable.Snapshot().error.rfind("cannot create " + recording.recordPath, 0), 0u)
        << unwritable.Snapshot().error;
    std::vector<double> block(10);
    EXPECT_TRUE(source->Read(block.data(), 10, {}).ended);  // never started

    LiveSession unlogged;
    LiveOptions logging = FromSource(source);
    logging.logPath = dir.Path("missing/take.csv");
    EXPECT_THROW(unlogged.StartLive(logging), MeterError);
    EXPECT_EQ(unlogged.Snapshot().status, SessionStatus::kIdle);
}

// Files of this process may not grow beyond a number of bytes while it lives, so that a write
// past it fails (EFBIG, with SIGXFSZ ignored) as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &before_);
        signalBefore_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = before_;
        limited.rlim_cur = bytes;
        set_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &before_);
        std::signal(SIGXFSZ, signalBefore_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Set() const { return set_; }

private:
    rlimit before_{};
    void (*signalBefore_)(int) = SIG_DFL;
    bool set_ = false;
};

// Starts the session under a limit of `bytes` on the files it writes until it names an output
// that failed (30 s at most), then, the limit lifted, lets it measure on to 12 s of input: the
// snapshot then.
SessionSnapshot RunPastAnOutputFailure(LiveSession& session, const LiveOptions& options,
                                       size_t bytes) {
    {
        const FileSizeLimit limit(bytes);
        EXPECT_TRUE(limit.Set());
        session.StartLive(options);
        uint64_t seen = 0;
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (session.Snapshot().outputError.empty() &&
               std::chrono::steady_clock::now() < deadline)
            seen = session.WaitForUpdate(seen, 1s);
    }
    uint64_t seen = 0;
    while (session.Snapshot().seconds < 12.0 &&
           session.Snapshot().status == SessionStatus::kRunning)
        seen = session.WaitForUpdate(seen, 1s);
    return session.Snapshot();
}

// A log whose rows can no longer be written (the disk full) while the session runs: the
// session says why, no longer says it logs, and goes on measuring.
TEST(LiveSession, ALogThatFailsWhileItRunsIsNamedAndNoLongerShownAsLogging) {
    ScratchDir dir;
    const std::string path = dir.Path("take.csv");
    LiveSession session;
    LiveOptions options =
        FromSource(std::make_shared<PacedSource>(ToneSamples(dir, 60.0), kRate, 20.0, kBlock));
    options.logPath = path;
    // Room for the header and part of the first row.
    const SessionSnapshot s =
        RunPastAnOutputFailure(session, options, std::strlen(kCsvHeader) + 1 + 10);
    EXPECT_EQ(s.outputError, "cannot write the log " + path + ": File too large");
    EXPECT_EQ(s.status, SessionStatus::kRunning);
    EXPECT_GE(s.seconds, 12.0);
    EXPECT_FALSE(s.logging);
    session.Stop();
    EXPECT_EQ(session.Snapshot().status, SessionStatus::kFinished);
    EXPECT_TRUE(session.Result().has_value()) << session.ResultError();
    const std::vector<std::string> lines = Lines(path);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), kCsvHeader);
}

// A recording that can no longer be written while the session runs: the session says why, no
// longer says it records, and goes on measuring.
TEST(LiveSession, ARecordingThatFailsWhileItRunsIsNamedAndNoLongerShownAsRecording) {
    ScratchDir dir;
    const std::string path = dir.Path("take.wav");
    LiveSession session;
    LiveOptions options =
        FromSource(std::make_shared<PacedSource>(ToneSamples(dir, 60.0), kRate, 20.0, kBlock));
    options.recordPath = path;
    // Room for the header and a few hundred frames.
    const SessionSnapshot s = RunPastAnOutputFailure(session, options, 4096);
    EXPECT_EQ(s.outputError.rfind("cannot write " + path + ": ", 0), 0u) << s.outputError;
    EXPECT_EQ(s.status, SessionStatus::kRunning);
    EXPECT_GE(s.seconds, 12.0);
    EXPECT_FALSE(s.recording);
    session.Stop();
    EXPECT_TRUE(session.Result().has_value()) << session.ResultError();
}

TEST(LiveSession, StopEndsAtOnceAndTheSummaryCoversWhatCame) {
    ScratchDir dir;
    LiveSession session;
    session.StartLive(
        FromSource(std::make_shared<PacedSource>(ToneSamples(dir, 60.0), kRate, 20.0, kBlock)));
    uint64_t seen = 0;
    while (session.Snapshot().seconds < 12.0) {
        seen = session.WaitForUpdate(seen, 1s);
        const SessionStatus status = session.Snapshot().status;
        ASSERT_TRUE(status == SessionStatus::kStarting || status == SessionStatus::kRunning);
    }
    const auto asked = std::chrono::steady_clock::now();
    session.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    const SessionSnapshot s = session.Snapshot();
    EXPECT_EQ(s.status, SessionStatus::kFinished);
    EXPECT_TRUE(s.stopped);
    ASSERT_TRUE(session.Result().has_value()) << session.ResultError();
    EXPECT_LT(session.Result()->durationSeconds, 30.0);
    EXPECT_NEAR(session.Result()->weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);

    // The same session starts again, afresh (as a window's Start after Stop).
    session.StartLive(FromSource(std::make_shared<FakeCaptureSource>(Ramp(800), 8000, 100)));
    ASSERT_TRUE(session.Wait(10s));
    EXPECT_DOUBLE_EQ(session.Snapshot().seconds, 0.1);
    EXPECT_FALSE(session.Snapshot().stopped);
    EXPECT_FALSE(session.Result().has_value());
}

TEST(LiveSession, LogAndRecordingSwitchOnAndOffWhileItRuns) {
    ScratchDir dir;
    const std::vector<double> tone = ToneSamples(dir, 40.0);
    LiveSession session;
    session.StartLive(FromSource(std::make_shared<PacedSource>(tone, kRate, 20.0, kBlock)));
    auto waitFor = [&session](double seconds) {
        uint64_t seen = 0;
        while (session.Snapshot().seconds < seconds) seen = session.WaitForUpdate(seen, 1s);
    };
    EXPECT_THROW(session.StartRecording(dir.Path("missing/a.wav")), MeterError);
    waitFor(5.0);
    session.StartLog(dir.Path("a.csv"));
    session.StartRecording(dir.Path("a.wav"));
    EXPECT_THROW(session.StartRecording(dir.Path("a.wav")), MeterError);  // not over itself
    // Nor one over the other.
    EXPECT_THROW(session.StartLog(dir.Path("./a.wav")), MeterError);
    EXPECT_THROW(session.StartRecording(dir.Path("a.csv")), MeterError);
    EXPECT_TRUE(session.Snapshot().logging);
    EXPECT_TRUE(session.Snapshot().recording);
    waitFor(15.0);
    session.StopLog();
    session.StopRecording();
    EXPECT_FALSE(session.Snapshot().logging);
    EXPECT_FALSE(session.Snapshot().recording);
    const double start = session.Snapshot().recordStartSeconds;
    session.Stop();

    // The recording holds the session's audio from where it began.
    SF_INFO info;
    const std::vector<double> recorded = ReadSamples(dir.Path("a.wav"), info);
    const auto first = static_cast<size_t>(std::llround(start * kRate));
    EXPECT_GE(start, 5.0);
    ASSERT_GT(recorded.size(), 5u * kRate);
    ASSERT_LE(first + recorded.size(), tone.size());
    for (size_t i = 0; i < recorded.size(); i += 997)
        ASSERT_EQ(recorded[i], static_cast<double>(static_cast<float>(tone[first + i]))) << i;
    // The log's rows keep the session's time.
    const std::vector<std::string> rows = Lines(dir.Path("a.csv"));
    ASSERT_GT(rows.size(), 5u);
    const double firstRow = std::stod(rows[1]);
    EXPECT_GE(firstRow, 4.0);
    EXPECT_EQ(std::stod(rows.back()), firstRow + static_cast<double>(rows.size()) - 2.0);
}

TEST(LiveSession, SnapshotsFollowTheToneThroughItsStatesWithTraceAndSpectrum) {
    ScratchDir dir;
    // 2 s of silence, 14 s of tone, 2 s of silence, 10 s of tone (0.3 %: the search finds it
    // in a second).
    const std::vector<double> tone = ToneSamples(dir, 24.0, 0.3);
    std::vector<double> take(2 * kRate, 0.0);
    take.insert(take.end(), tone.begin(), tone.begin() + 14 * kRate);
    take.insert(take.end(), 2 * kRate, 0.0);
    take.insert(take.end(), tone.begin() + 14 * kRate, tone.end());
    std::vector<SessionSnapshot> seen;
    LiveSession* watched = nullptr;
    LiveSession session([&seen, &watched] {
        if (watched != nullptr) seen.push_back(watched->Snapshot());
    });
    watched = &session;
    // At ten times real time the second of no tone lasts 100 ms, five snapshots, even where the
    // sanitizers slow the engine under a loaded machine (at 40 times it was missed).
    RunToEnd(session, FromSource(std::make_shared<PacedSource>(take, kRate, 10.0, 1024)));
    ASSERT_GT(seen.size(), 20u);

    std::vector<MeterState> states;
    for (const SessionSnapshot& s : seen)
        if (s.status == SessionStatus::kRunning &&
            (states.empty() || states.back() != s.latest.state))
            states.push_back(s.latest.state);
    EXPECT_EQ(states, (std::vector<MeterState>{MeterState::kWaiting, MeterState::kSettling,
                                               MeterState::kMeasuring, MeterState::kNoTone,
                                               MeterState::kSettling, MeterState::kMeasuring}));
    for (const SessionSnapshot& s : seen) {
        if (s.trace.empty()) continue;
        EXPECT_LE(s.trace.back().timeSeconds - s.trace.front().timeSeconds, kSnapshotTraceSeconds);
        EXPECT_LE(s.trace.back().timeSeconds, s.seconds);
    }
    const SessionSnapshot& last = seen.back();
    ASSERT_FALSE(last.spectrum.lines.empty());
    EXPECT_NEAR(last.spectrum.lines[0].hz, 4.0, 0.1);
    ASSERT_EQ(last.speedError.high.size(), 28u);
    EXPECT_TRUE(std::isnan(last.speedError.high[0]));
    EXPECT_NEAR(last.speedError.high[8], 0.0, 0.002);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i].updates, seen[i - 1].updates);
}

// Live as in a file: over every window, and between the seconds, wow and flutter share out the
// weighted RMS (a 0.55 Hz swing, fewer than three periods in a 5 s window); a tone at constant
// speed reads it in every second it fills, at the edges of its stretches too (a gap after which
// its phase restarts, a last second cut short), and none in a second it hardly holds.
TEST(LiveSession, WowFlutterShareTheRmsAndASteadyToneReadsItsSpeedInEverySecond) {
    wobblemeter_test::SwingTone wow;
    wow.rate = kRate;
    wow.deviationPercent = 0.055;
    wow.modHz = 0.55;
    wow.startPhase = -0.8;
    wow.seconds = 20.0;
    std::vector<SessionSnapshot> seen;
    LiveSession* watched = nullptr;
    LiveSession session([&seen, &watched] {
        if (watched != nullptr) seen.push_back(watched->Snapshot());
    });
    watched = &session;
    // At ten times real time, for snapshots between the seconds.
    LiveOptions options = FromSource(
        std::make_shared<PacedSource>(wobblemeter_test::SwingSamples(wow), kRate, 10.0, 1024));
    options.meter.windowSeconds = 5.0;
    RunToEnd(session, options);
    std::vector<SecondReading> readings = session.TakeSeconds();
    size_t rows = 0, measured = 0;
    for (const SecondReading& r : readings) rows += r.state == MeterState::kMeasuring ? 1 : 0;
    ASSERT_GT(rows, 10u);
    for (const SessionSnapshot& s : seen) readings.push_back(s.latest);
    for (const SecondReading& r : readings) {
        if (r.state != MeterState::kMeasuring) continue;
        ++measured;
        EXPECT_NEAR(std::hypot(r.wowRmsPercent, r.flutterRmsPercent), r.weightedRmsPercent,
                    1e-3 * r.weightedRmsPercent);
        EXPECT_LE(r.wowRmsPercent, r.weightedRmsPercent);
        EXPECT_LE(r.flutterRmsPercent, r.weightedRmsPercent);
    }
    EXPECT_GT(measured, rows + 10);

    wobblemeter_test::SwingTone steady;
    steady.rate = kRate;
    steady.startPhase = 2.2;
    steady.seconds = 21.2;
    steady.dropouts = {{0.0, 0.37}, {10.97, 1.83}};
    steady.dropoutJump = 1.9;
    RunToEnd(session, FromSource(std::make_shared<FakeCaptureSource>(
                          wobblemeter_test::SwingSamples(steady), kRate, 1999)));
    readings = session.TakeSeconds();
    ASSERT_EQ(readings.size(), 22u);
    for (size_t second = 0; second < readings.size(); ++second) {
        SCOPED_TRACE(second);
        const double error = readings[second].speedErrorPercent;
        if (second <= 10 || (second >= 13 && second <= 20))
            EXPECT_NEAR(error, 0.0, 1e-3);
        else
            EXPECT_TRUE(std::isnan(error)) << error;
    }
}

TEST(LiveSession, MeasuresAFileWithProgressAndCancels) {
    ScratchDir dir;
    wobblemeter_test::WriteTone(dir.Path("tone.wav"), 8000, 3150.0, 1.0, 4.0, 20.0);
    std::vector<double> progress;
    LiveSession* watched = nullptr;
    LiveSession session([&progress, &watched] {
        if (watched != nullptr) progress.push_back(watched->Snapshot().progress);
    });
    watched = &session;
    session.StartFile(dir.Path("tone.wav"), {});
    ASSERT_TRUE(session.Wait(60s));
    session.Stop();
    ASSERT_TRUE(session.Result().has_value()) << session.ResultError();
    EXPECT_NEAR(session.Result()->weightedPeakPercent, kTwoSigma, 0.01 * kTwoSigma);
    EXPECT_FALSE(session.Snapshot().live);
    ASSERT_FALSE(progress.empty());
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    // Cancelled at once: no result, and said so.
    LiveSession cancelled;
    wobblemeter_test::WriteTone(dir.Path("long.wav"), 8000, 3150.0, 1.0, 4.0, 600.0);
    cancelled.StartFile(dir.Path("long.wav"), {});
    cancelled.Stop();
    EXPECT_EQ(cancelled.Snapshot().status, SessionStatus::kFinished);
    EXPECT_TRUE(cancelled.Snapshot().stopped);
    EXPECT_FALSE(cancelled.Result().has_value());
    EXPECT_EQ(cancelled.ResultError(), "cancelled");

    // A file that is none fails with the path and the reason, as the command line says it.
    LiveSession broken;
    broken.StartFile(dir.Path("none.wav"), {});
    ASSERT_TRUE(broken.Wait(10s));
    EXPECT_EQ(broken.Snapshot().status, SessionStatus::kFailed);
    EXPECT_EQ(broken.Snapshot().error.rfind(dir.Path("none.wav") + ": ", 0), 0u)
        << broken.Snapshot().error;
}

}  // namespace
}  // namespace wobblemeter
