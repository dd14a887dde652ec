// A measurement that runs off the caller's thread, for the command line's live mode and for a
// desktop window: a capture device (or a file) read on a worker thread into the measuring
// engine, and snapshots of what to show, taken from any thread at any moment. The log and the
// recording are switched on and off while it runs. Free of any toolkit.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "meter/capture/capture.h"
#include "meter/meter.h"

namespace wobblemeter {

class CsvLog;
class Engine;
class WavWriter;

// Seconds of deviation a snapshot's trace holds.
constexpr double kSnapshotTraceSeconds = 10.0;

enum class SessionStatus {
    kIdle,      // not started
    kStarting,  // opening the device
    kRunning,   // measuring
    kFinished,  // ended: the duration reached, Stop(), the file read; see Result()
    kFailed,    // could not start, or the device was lost: `error` says why; Result() still
                // reads what came before
};

// What a display shows, as of one moment.
struct SessionSnapshot {
    SessionStatus status = SessionStatus::kIdle;
    // kFailed: why, one line, in the words the command line prints after "wobblemeter: ".
    std::string error;
    // A log or recording that could not be written (it is closed then; the measurement goes
    // on), or one that reached the most a WAV file holds; empty: none.
    std::string outputError;
    bool live = true;
    std::string source;  // the device as opened, or the file
    int sampleRate = 0;
    int channel = 1;
    double deviceLatency = 0.0;  // the delay the device reports between sound and delivery, s
    double seconds = 0.0;        // audio taken so far, lost frames included
    // A file: the share read so far (0 ... 1); live: NaN.
    double progress = std::numeric_limits<double>::quiet_NaN();
    // The readings as of the newest audio (live; a file: of its last second read). Its state
    // tells waiting for the tone, no tone, settling, measuring; figures not formed yet are NaN.
    SecondReading latest;
    // The deviation of the last kSnapshotTraceSeconds, oldest first.
    std::vector<TracePoint> trace;
    // The window's spectrum as of the last second that had one; empty before.
    WindowSpectrum spectrum;
    // Speed error second by second from 0 s, % (NaN where there was no tone), in at most
    // kEnvelopeStretches stretches.
    Envelope speedError;
    int overruns = 0;
    long long lostFrames = 0;
    int dropouts = 0;
    bool logging = false, recording = false;
    std::string logPath, recordPath;
    double recordStartSeconds = 0.0;  // where in the session the recording begins
    bool stopped = false;             // ended by Stop()
    // Grows with every change; see LiveSession::WaitForUpdate.
    uint64_t updates = 0;
    // When the newest audio pushed into the engine entered the device (the capture's
    // estimate): the delay of a display is the time it shows this snapshot less this.
    std::chrono::steady_clock::time_point audioCapturedAt{};
};

struct LiveOptions {
    CaptureOptions capture;  // device, rate, channel
    // Carrier, nominal and window; its callbacks are the session's own and are left unused.
    MeterOptions meter;
    double durationSeconds = 0.0;  // of captured audio, lost frames included; 0: until Stop()
    // Logged from the start: created once the device is open (an earlier file of that name
    // stays as it was when the device cannot be opened); StartLive throws MeterError when it
    // could not be created, or is the recording's file.
    std::string logPath;
    // Recorded from the start: created once the device is open and its rate known (the
    // session fails with "cannot create ..." when it cannot).
    std::string recordPath;
    // Opens the source; empty: OpenCaptureDevice. Tests give a FakeCaptureSource.
    std::function<std::unique_ptr<CaptureSource>(const CaptureOptions&)> open;
};

// An overrun: frames lost at frame atFrame of the session; or (notAudio) frames samples the
// device delivered that are no audio (not numbers, or far beyond full scale), bridged alike.
struct SessionLoss {
    long long atFrame = 0;
    long long frames = 0;
    bool notAudio = false;
};

class LiveSession {
public:
    // onUpdate is called on the worker thread after each change of the snapshot (some 20 to
    // 50 times a second), e.g. to wake an interface's loop: it must return at once; it may take
    // a Snapshot() but must not start, stop or switch anything.
    explicit LiveSession(std::function<void()> onUpdate = {});
    // Stops the session and finishes the log and the recording.
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // Starts measuring from a capture device (a session that has ended may start again).
    // Throws MeterError when the log could not be created or is the recording's file (nothing
    // starts then), and std::logic_error when a session runs already.
    void StartLive(LiveOptions options);
    // Starts measuring a file, with progress; Stop() cancels it. Throws std::logic_error when a
    // session runs already.
    void StartFile(std::string path, MeterOptions options);
    // Ends the session at once and waits for its worker: the result is read over what came
    // so far. Idempotent; not from onUpdate.
    void Stop();
    // Waits until the session has ended by itself (or was stopped); true when it has.
    bool Wait(std::chrono::milliseconds timeout) const;

    SessionSnapshot Snapshot() const;
    // Waits until the snapshot's updates exceed `seen` or the timeout passes; returns the
    // snapshot's updates.
    uint64_t WaitForUpdate(uint64_t seen, std::chrono::milliseconds timeout) const;
    // Each second's readings since the last call (the most recent hour at most), and the
    // overruns since the last call.
    std::vector<SecondReading> TakeSeconds();
    std::vector<SessionLoss> TakeLosses();

    // Once ended: the readings over the longest stretch of tone, or nothing and why.
    std::optional<MeterResult> Result() const;
    std::string ResultError() const;

    // The log and the recording while the session runs (or before it starts: StartLog).
    // Starting one replaces one under way, which is finished first. Throw MeterError when the
    // file cannot be created, is the other one's file, or when the one stopped could not be
    // written whole. A recording needs the device open (status running).
    void StartLog(const std::string& path);
    void StopLog();
    void StartRecording(const std::string& path);
    void StopRecording();

private:
    void RunLive(LiveOptions options);
    // RunLive's steps: the device opened (and the recording created at its rate); its audio
    // read into the engine until the limit (frames), Stop() or its end; the result over it.
    std::unique_ptr<CaptureSource> OpenSource(const LiveOptions& options);
    void Capture(CaptureSource& source, Engine& engine, long long limit);
    // Pushes count samples of block into the engine and the recording; samples is room for
    // them as float.
    void PushBlock(Engine& engine, const double* block, size_t count, std::vector<float>& samples);
    // Queues frames samples that were no audio, at the session's frame now, for TakeLosses.
    void NoteNotAudio(long long frames);
    void FinishLive(std::unique_ptr<Engine> engine, int channel, const std::string& failure);
    void RunFile(std::string path, MeterOptions options);
    // The engine's callbacks on the worker thread, into the worker's own state.
    MeterOptions Hooked(MeterOptions options);
    void OnSecond(const SecondReading& reading);
    void OnTrace(const TracePoint& point);
    void OnSpectrum(const WindowSpectrum& spectrum);
    // Writes samples into the recording (lost ones as silence: samples null).
    void Record(const float* samples, long long frames);
    // Copies the worker's state into the snapshot and wakes the waiting.
    void Publish(bool force);
    void OutputFailed(const std::string& why);
    void Finished(const std::string& failure);
    void Join();
    // Joins a worker that has ended; throws std::logic_error when one still runs.
    void JoinEnded();

    std::function<void()> onUpdate_;
    std::thread worker_;
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_;  // guards what follows up to the worker's own state
    mutable std::condition_variable changed_;
    SessionSnapshot snapshot_;
    std::deque<SecondReading> seconds_;
    std::vector<SessionLoss> losses_;
    std::optional<MeterResult> result_;
    std::string resultError_;

    // The outputs: written by the worker, switched by any thread.
    std::mutex outputMutex_;
    std::unique_ptr<CsvLog> log_;
    std::unique_ptr<WavWriter> wav_;
    std::string logPath_, recordPath_;

    // The worker's own state, published into the snapshot.
    struct Work;
    std::unique_ptr<Work> work_;
};

}  // namespace wobblemeter
