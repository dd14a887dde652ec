// The measuring session on its worker thread: capture (or a file) into the engine, the log and
// the recording fed as the audio arrives, and the snapshot published for displays.
#include "meter/live/live_session.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "meter/audio/wav_writer.h"
#include "meter/engine/engine.h"
#include "meter/engine/envelope.h"
#include "meter/message.h"
#include "meter/output/csv_log.h"
#include "sys/process.h"
#include "sys/same_file.h"

namespace wobblemeter {

namespace {

using Clock = std::chrono::steady_clock;

// Frames read from the device at a time, at most, and how long a read waits for them before
// the stop request is looked at again.
constexpr size_t kReadFrames = 4096;
constexpr std::chrono::milliseconds kReadTimeout{100};
// The snapshot is brought up to date at most this often (a device that is not clocked
// delivers as fast as it is read).
constexpr std::chrono::milliseconds kPublishInterval{20};
// Seconds of readings kept for TakeSeconds() when nobody takes them.
constexpr size_t kMaxQueuedSeconds = 3600;
// A sample beyond this magnitude (or not finite) is no audio: a device that delivers garbage.
constexpr double kMaxSample = 1e6;

bool IsAudio(double v) {
    return std::isfinite(v) && std::fabs(v) <= kMaxSample;
}

}  // namespace

struct LiveSession::Work {
    int rate = 0;
    long long frames = 0;  // taken so far, lost ones included
    double seconds = 0.0;  // the same in seconds (a file's before its rate is known)
    const Engine* engine = nullptr;
    SecondReading latest;
    std::deque<TracePoint> trace;
    WindowSpectrum spectrum;
    EnvelopeBuilder speedErrors{1};
    double progress = std::numeric_limits<double>::quiet_NaN();
    Clock::time_point capturedAt{};
    Clock::time_point published{};
    long long recordStart = 0;  // frame the recording under way began at
    // Samples the device delivered that were audio, and that were not.
    long long audioFrames = 0, notAudioFrames = 0;
};

LiveSession::LiveSession(std::function<void()> onUpdate)
    : onUpdate_(std::move(onUpdate)), work_(std::make_unique<Work>()) {}

LiveSession::~LiveSession() {
    Stop();
    const std::lock_guard lock(outputMutex_);
    if (log_) log_->Close();
    try {
        if (wav_) wav_->Close();
    } catch (const MeterError&) {
        // Nobody is left to tell.
    }
}

void LiveSession::JoinEnded() {
    bool ended = false;
    {
        const std::lock_guard lock(mutex_);
        ended = snapshot_.status == SessionStatus::kFinished ||
                snapshot_.status == SessionStatus::kFailed;
    }
    if (ended) Join();
    if (worker_.joinable()) throw std::logic_error("a session runs already");
}

void LiveSession::StartLive(LiveOptions options) {
    JoinEnded();
    // The log is made once the device is open: a device that cannot be leaves an earlier log
    // of that name as it was. Its name is tried now, so that nothing starts when it is refused.
    if (!options.logPath.empty()) {
        if (!options.recordPath.empty() && SameFile(options.logPath, options.recordPath))
            throw MeterError(Msg::kLogIsRecording, options.logPath.c_str());
        CsvLog::CheckWritable(options.logPath);
    }
    {
        const std::lock_guard lock(mutex_);
        // A fresh snapshot; its count of updates goes on (a display may be waiting on it).
        const uint64_t updates = snapshot_.updates;
        snapshot_ = SessionSnapshot{};
        snapshot_.updates = updates + 1;
        result_.reset();
        resultError_.clear();
        seconds_.clear();
        losses_.clear();
        snapshot_.status = SessionStatus::kStarting;
        snapshot_.live = true;
        snapshot_.source = options.capture.device;
        snapshot_.channel = options.capture.channel;
        snapshot_.logging = !options.logPath.empty();
        snapshot_.logPath = options.logPath;
    }
    stop_ = false;
    worker_ = std::thread(
        [this, options = std::move(options)]() mutable { RunLive(std::move(options)); });
}

void LiveSession::StartFile(std::string path, MeterOptions options) {
    JoinEnded();
    {
        const std::lock_guard lock(mutex_);
        const bool logging = snapshot_.logging;
        const std::string logPath = snapshot_.logPath;
        // A fresh snapshot; its count of updates goes on (a display may be waiting on it).
        const uint64_t updates = snapshot_.updates;
        snapshot_ = SessionSnapshot{};
        snapshot_.updates = updates + 1;
        result_.reset();
        resultError_.clear();
        seconds_.clear();
        losses_.clear();
        snapshot_.status = SessionStatus::kRunning;
        snapshot_.live = false;
        snapshot_.source = path;
        snapshot_.channel = options.channel;
        snapshot_.progress = 0.0;
        snapshot_.logging = logging;
        snapshot_.logPath = logPath;
    }
    stop_ = false;
    worker_ = std::thread([this, path = std::move(path), options = std::move(options)]() mutable {
        RunFile(std::move(path), std::move(options));
    });
}

void LiveSession::Stop() {
    stop_ = true;
    Join();
}

void LiveSession::Join() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

bool LiveSession::Wait(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] {
        return snapshot_.status == SessionStatus::kFinished ||
               snapshot_.status == SessionStatus::kFailed;
    });
}

SessionSnapshot LiveSession::Snapshot() const {
    const std::lock_guard lock(mutex_);
    return snapshot_;
}

uint64_t LiveSession::WaitForUpdate(uint64_t seen, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return snapshot_.updates > seen; });
    return snapshot_.updates;
}

std::vector<SecondReading> LiveSession::TakeSeconds() {
    const std::lock_guard lock(mutex_);
    std::vector<SecondReading> taken(seconds_.begin(), seconds_.end());
    seconds_.clear();
    return taken;
}

std::vector<SessionLoss> LiveSession::TakeLosses() {
    const std::lock_guard lock(mutex_);
    std::vector<SessionLoss> taken;
    taken.swap(losses_);
    return taken;
}

std::optional<MeterResult> LiveSession::Result() const {
    const std::lock_guard lock(mutex_);
    return result_;
}

std::string LiveSession::ResultError() const {
    const std::lock_guard lock(mutex_);
    return resultError_;
}

void LiveSession::StartLog(const std::string& path) {
    {
        const std::lock_guard lock(outputMutex_);
        if (wav_ && SameFile(path, recordPath_))
            throw MeterError(Msg::kLogIsRecording, path.c_str());
    }
    auto log = std::make_unique<CsvLog>(path);  // throws MeterError
    StopLog();
    {
        const std::lock_guard lock(outputMutex_);
        log_ = std::move(log);
        logPath_ = path;
    }
    const std::lock_guard lock(mutex_);
    snapshot_.logging = true;
    snapshot_.logPath = path;
    ++snapshot_.updates;
    changed_.notify_all();
}

void LiveSession::StopLog() {
    std::unique_ptr<CsvLog> log;
    std::string path;
    {
        const std::lock_guard lock(outputMutex_);
        log = std::move(log_);
        path = logPath_;
    }
    {
        const std::lock_guard lock(mutex_);
        snapshot_.logging = false;
        ++snapshot_.updates;
        changed_.notify_all();
    }
    if (log && !log->Close())
        throw MeterError(Msg::kCannotWriteLog, path.c_str(), log->Error().c_str());
}

void LiveSession::StartRecording(const std::string& path) {
    int rate = 0;
    {
        const std::lock_guard lock(mutex_);
        if (snapshot_.status == SessionStatus::kRunning && snapshot_.live)
            rate = snapshot_.sampleRate;
    }
    if (rate == 0) throw MeterError(Msg::kNothingToRecord);
    {
        const std::lock_guard lock(outputMutex_);
        if (wav_ && recordPath_ == path) throw MeterError(Msg::kAlreadyRecording, path.c_str());
        if (log_ && SameFile(path, logPath_)) throw MeterError(Msg::kLogIsRecording, path.c_str());
    }
    auto wav = std::make_unique<WavWriter>(path, rate);  // throws MeterError
    StopRecording();
    {
        const std::lock_guard lock(outputMutex_);
        wav_ = std::move(wav);
        recordPath_ = path;
    }
    const std::lock_guard lock(mutex_);
    snapshot_.recording = true;
    snapshot_.recordPath = path;
    ++snapshot_.updates;
    changed_.notify_all();
}

void LiveSession::StopRecording() {
    std::unique_ptr<WavWriter> wav;
    {
        const std::lock_guard lock(outputMutex_);
        wav = std::move(wav_);
    }
    {
        const std::lock_guard lock(mutex_);
        snapshot_.recording = false;
        ++snapshot_.updates;
        changed_.notify_all();
    }
    if (wav) wav->Close();  // throws MeterError
}

MeterOptions LiveSession::Hooked(MeterOptions options) {
    options.onSecond = [this](const SecondReading& r) { OnSecond(r); };
    options.onTrace = [this](const TracePoint& p) { OnTrace(p); };
    options.onSpectrum = [this](const WindowSpectrum& s) { OnSpectrum(s); };
    options.progress = {};
    options.cancelled = {};
    return options;
}

void LiveSession::OnSecond(const SecondReading& reading) {
    Work& w = *work_;
    w.speedErrors.Push(reading.speedErrorPercent);
    if (w.engine == nullptr) w.latest = reading;
    std::string failed;
    {
        const std::lock_guard lock(outputMutex_);
        if (log_) {
            log_->Write(reading);
            if (!log_->Error().empty()) {
                failed = Text(Msg::kCannotWriteLog, logPath_.c_str(), log_->Error().c_str());
                log_->Close();
                log_.reset();
            }
        }
    }
    if (!failed.empty()) OutputFailed(failed);
    const std::lock_guard lock(mutex_);
    seconds_.push_back(reading);
    if (seconds_.size() > kMaxQueuedSeconds) seconds_.pop_front();
}

void LiveSession::OnTrace(const TracePoint& point) {
    std::deque<TracePoint>& trace = work_->trace;
    trace.push_back(point);
    while (trace.front().timeSeconds < point.timeSeconds - kSnapshotTraceSeconds) trace.pop_front();
}

void LiveSession::OnSpectrum(const WindowSpectrum& spectrum) {
    work_->spectrum = spectrum;
}

void LiveSession::Record(const float* samples, long long frames) {
    std::string failed;
    {
        const std::lock_guard lock(outputMutex_);
        if (!wav_) return;
        if (wav_->Frames() == 0) work_->recordStart = work_->frames;
        try {
            if (samples != nullptr)
                wav_->Write(samples, static_cast<size_t>(frames));
            else
                wav_->WriteSilence(frames);
            if (wav_->Room() == 0) {
                failed = Text(Msg::kRecordingFull, recordPath_.c_str(),
                              static_cast<double>(work_->frames + frames) / work_->rate);
                wav_->Close();
                wav_.reset();
            }
        } catch (const MeterError& e) {
            failed = e.what();
            wav_.reset();
        }
    }
    if (!failed.empty()) OutputFailed(failed);
}

void LiveSession::OutputFailed(const std::string& why) {
    const std::lock_guard lock(mutex_);
    snapshot_.outputError = why;
}

void LiveSession::Publish(bool force) {
    Work& w = *work_;
    const Clock::time_point now = Clock::now();
    if (!force && now - w.published < kPublishInterval) return;
    w.published = now;
    if (w.engine != nullptr) w.latest = w.engine->Latest();
    bool logging = false, recording = false;
    {
        const std::lock_guard lock(outputMutex_);
        logging = static_cast<bool>(log_);
        recording = static_cast<bool>(wav_);
    }
    {
        const std::lock_guard lock(mutex_);
        SessionSnapshot& s = snapshot_;
        s.sampleRate = w.rate;
        s.seconds = w.rate > 0 ? static_cast<double>(w.frames) / w.rate : w.seconds;
        s.progress = w.progress;
        s.latest = w.latest;
        s.trace.assign(w.trace.begin(), w.trace.end());
        s.spectrum = w.spectrum;
        s.speedError = w.speedErrors.Read(0.0, 1.0, 1.0);
        if (w.engine != nullptr) {
            s.overruns = w.engine->Overruns();
            s.lostFrames = w.engine->LostFrames();
            s.dropouts = w.engine->Dropouts();
        }
        s.logging = logging;
        s.recording = recording;
        s.recordStartSeconds = w.rate > 0 ? static_cast<double>(w.recordStart) / w.rate : 0.0;
        s.audioCapturedAt = w.capturedAt;
        ++s.updates;
    }
    changed_.notify_all();
    if (onUpdate_) onUpdate_();
}

void LiveSession::Finished(const std::string& failure) {
    std::string outputError;
    {
        const std::lock_guard lock(outputMutex_);
        if (log_ && !log_->Close())
            outputError = Text(Msg::kCannotWriteLog, logPath_.c_str(), log_->Error().c_str());
        log_.reset();
        try {
            if (wav_) wav_->Close();
        } catch (const MeterError& e) {
            outputError = e.what();
        }
        wav_.reset();
    }
    {
        const std::lock_guard lock(mutex_);
        if (!outputError.empty()) snapshot_.outputError = outputError;
        snapshot_.stopped = stop_.load();
    }
    Publish(true);
    {
        const std::lock_guard lock(mutex_);
        snapshot_.status = failure.empty() ? SessionStatus::kFinished : SessionStatus::kFailed;
        snapshot_.error = failure;
        ++snapshot_.updates;
    }
    changed_.notify_all();
    if (onUpdate_) onUpdate_();
}

std::unique_ptr<CaptureSource> LiveSession::OpenSource(const LiveOptions& options) {
    std::unique_ptr<CaptureSource> source =
        options.open ? options.open(options.capture) : OpenCaptureDevice(options.capture);
    work_->rate = source->SampleRate();
    {
        const std::lock_guard lock(mutex_);
        snapshot_.source = source->DeviceName();
        snapshot_.sampleRate = work_->rate;
        snapshot_.deviceLatency = source->LatencySeconds();
    }
    bool logging = false;  // unless switched off while the device opened
    {
        const std::lock_guard lock(mutex_);
        logging = snapshot_.logging;
    }
    if (logging && !options.logPath.empty()) StartLog(options.logPath);  // throws MeterError
    if (!options.recordPath.empty()) {
        auto wav = std::make_unique<WavWriter>(options.recordPath, work_->rate);
        const std::lock_guard lock(outputMutex_);
        wav_ = std::move(wav);
        recordPath_ = options.recordPath;
    }
    return source;
}

void LiveSession::Capture(CaptureSource& source, Engine& engine, long long limit) {
    Work& w = *work_;
    std::vector<double> block(kReadFrames);
    std::vector<float> samples(kReadFrames);
    while (!stop_ && w.frames < limit) {
        const auto wanted =
            static_cast<size_t>(std::min(limit - w.frames, static_cast<long long>(kReadFrames)));
        const CaptureChunk chunk = source.Read(block.data(), wanted, kReadTimeout);
        if (chunk.lostFrames > 0) {
            const long long lost = std::min(chunk.lostFrames, limit - w.frames);
            engine.PushLost(lost);
            Record(nullptr, lost);
            {
                const std::lock_guard lock(mutex_);
                losses_.push_back({w.frames, chunk.lostFrames});
            }
            w.frames += lost;
        }
        const auto count =
            static_cast<size_t>(std::min(static_cast<long long>(chunk.frames), limit - w.frames));
        PushBlock(engine, block.data(), count, samples);
        if (count > 0 || chunk.lostFrames > 0) {
            w.capturedAt = chunk.capturedAt;
            Publish(false);
        }
        if (chunk.ended) break;
    }
}

void LiveSession::PushBlock(Engine& engine, const double* block, size_t count,
                            std::vector<float>& samples) {
    // Runs of audio are measured and recorded; samples that are no audio (a device delivering
    // garbage) count as lost, as an overrun does.
    for (size_t first = 0; first < count;) {
        const bool audio = IsAudio(block[first]);
        size_t end = first + 1;
        while (end < count && IsAudio(block[end]) == audio) ++end;
        const auto n = static_cast<long long>(end - first);
        if (audio) {
            std::transform(block + first, block + end, samples.begin(),
                           [](double v) { return static_cast<float>(v); });
            engine.Push(samples.data(), end - first);
            Record(samples.data(), n);
            work_->audioFrames += n;
        } else {
            engine.PushLost(n);
            Record(nullptr, n);
            work_->notAudioFrames += n;
            NoteNotAudio(n);
        }
        work_->frames += n;
        first = end;
    }
}

void LiveSession::NoteNotAudio(long long frames) {
    // Runs within a second of the one before are told as one: a device that delivers garbage
    // now and then between its samples gets a line a second, not one a sample.
    const long long at = work_->frames;
    const std::lock_guard lock(mutex_);
    if (!losses_.empty() && losses_.back().notAudio && at - losses_.back().atFrame < work_->rate)
        losses_.back().frames += frames;
    else
        losses_.push_back({at, frames, true});
}

void LiveSession::FinishLive(std::unique_ptr<Engine> engine, int channel,
                             const std::string& failure) {
    if (engine) {
        // The display as the audio left it; then the summary over what came, whatever ended
        // the session.
        Publish(true);
        work_->engine = nullptr;
        try {
            // Not a silent recording: a device whose every sample was garbage.
            if (work_->audioFrames == 0 && work_->notAudioFrames > 0)
                throw MeterError(Msg::kDeviceDeliversNoAudio);
            MeterResult result = engine->Finish();
            const std::lock_guard lock(mutex_);
            result.channel = channel;
            result.channels = channel;
            result_ = std::move(result);
        } catch (const MeterError& e) {
            const std::lock_guard lock(mutex_);
            resultError_ = e.what();
        }
    } else {
        const std::lock_guard lock(mutex_);
        resultError_ = failure;
    }
    Finished(failure);
}

void LiveSession::RunLive(LiveOptions options) {
    *work_ = Work{};
    std::unique_ptr<CaptureSource> source;
    std::unique_ptr<Engine> engine;
    std::string failure;
    try {
        source = OpenSource(options);
        const int rate = work_->rate;
        options.meter.live = true;  // its refusals name the device, not a recording
        engine = std::make_unique<Engine>(rate, Hooked(options.meter));
        work_->engine = engine.get();
        source->Start();
        // Named after the device started, whose threads take the name of the one that made
        // them: a profile then tells the measuring from the capture.
        NameCurrentThread("wobble-measure");
        {
            const std::lock_guard lock(mutex_);
            snapshot_.status = SessionStatus::kRunning;
            snapshot_.recordPath = options.recordPath;
        }
        Publish(true);
        Capture(*source, *engine,
                options.durationSeconds > 0.0 ? std::llround(options.durationSeconds * rate)
                                              : std::numeric_limits<long long>::max());
        source->Stop();
    } catch (const CaptureError& e) {
        failure = e.what();
    } catch (const MeterError& e) {
        failure = e.what();
    } catch (const std::bad_alloc&) {
        failure = Text(Msg::kOutOfMemory);
    }
    if (source) {
        try {
            source->Stop();
        } catch (const CaptureError& e) {
            if (failure.empty()) failure = e.what();
        }
    }
    FinishLive(std::move(engine), options.capture.channel, failure);
}

void LiveSession::RunFile(std::string path, MeterOptions options) {
    *work_ = Work{};
    Work& w = *work_;
    w.progress = 0.0;
    MeterOptions hooked = Hooked(options);
    hooked.progress = [this](double fraction) {
        work_->progress = fraction;
        Publish(false);
    };
    hooked.cancelled = [this] { return stop_.load(); };
    hooked.onSecond = [this, onSecond = hooked.onSecond](const SecondReading& r) {
        onSecond(r);
        work_->seconds = r.timeSeconds + 1.0;
        Publish(false);
    };
    std::string failure;
    try {
        MeterResult result = MeasureFile(path, hooked);
        w.rate = result.sampleRate;
        w.frames = std::llround(result.durationSeconds * result.sampleRate);
        w.progress = 1.0;
        {
            const std::lock_guard lock(mutex_);
            snapshot_.sampleRate = result.sampleRate;
            snapshot_.overruns = result.overruns;
            snapshot_.lostFrames = result.lostFrames;
            snapshot_.dropouts = result.dropouts;
            result_ = std::move(result);
        }
    } catch (const MeterCancelled& e) {
        const std::lock_guard lock(mutex_);
        resultError_ = e.what();
    } catch (const MeterError& e) {
        failure = Text(Msg::kFileNotMeasured, QuotedName(path).c_str(), e.what());
    } catch (const std::bad_alloc&) {
        failure =
            Text(Msg::kFileNotMeasured, QuotedName(path).c_str(), Text(Msg::kOutOfMemory).c_str());
    }
    if (!failure.empty()) {
        const std::lock_guard lock(mutex_);
        resultError_ = failure;
    }
    Finished(failure);
}

}  // namespace wobblemeter
