// The capture source on PortAudio (ALSA, JACK): the only code that includes an audio library.
// Asks the device for 32-bit float samples, interleaved, as many channels as the chosen channel's
// number; keeps that channel in a CaptureRing filled by PortAudio's callback thread.
#include <dlfcn.h>
#include <fcntl.h>
#include <portaudio.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>
#ifdef __linux__
#include <alsa/asoundlib.h>
#include <pa_linux_alsa.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>

#include "meter/capture.h"
#include "meter/capture_intake.h"
#include "meter/capture_ring.h"

namespace wobblemeter {
namespace {

using Clock = std::chrono::steady_clock;

// Time a device may take to deliver its first audio after starting (a PulseAudio stream takes
// some 0.7 s), and to deliver the next once it runs, before it counts as lost, s.
constexpr double kFirstAudioSeconds = 5.0;
constexpr double kStallSeconds = 2.0;
// Latency asked of every device (more if the device needs it), and the length of the blocks
// the callback gets, s. Larger blocks cost less: PortAudio polls a PulseAudio device some 1500
// times a second with its default blocks of 8 ms, 2.2 % of a core against 1.6 % with these. Both
// stay far below the meter's own delay.
constexpr double kLatencySeconds = 0.1;
constexpr double kBlockSeconds = 0.04;
// How long a busy ALSA device is retried before giving up, in tries of 10 ms.
constexpr int kBusyRetries = 25;
// Rates tried, in order, for a device the library does not list, Hz.
constexpr double kUnlistedRates[] = {44100, 48000, 96000, 88200, 192000, 32000, 22050, 16000};

// Frames per callback: the power of two nearest to kBlockSeconds (2048 at 44.1 and 48 kHz).
unsigned long BlockFrames(double rate) {
    const double exponent = std::round(std::log2(rate * kBlockSeconds));
    return static_cast<unsigned long>(std::exp2(std::max(exponent, 6.0)));
}

// Set WOBBLEMETER_AUDIO_DEBUG=1 to see what the audio libraries say about the devices.
bool AudioDebug() {
    const char* value = std::getenv("WOBBLEMETER_AUDIO_DEBUG");
    return value != nullptr && *value != '\0' && *value != '0';
}

#ifdef __linux__
extern "C" void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif
extern "C" void SilentJackMessage(const char*) {}

// ALSA reports through a handler that prints by default; JACK (loaded with PortAudio) through
// functions of its own, found at run time so that JACK is not needed to build.
void SilenceAudioLibraries() {
    if (AudioDebug()) return;
#ifdef __linux__
    snd_lib_error_set_handler(SilentAlsaError);
#endif
    using SetHandler = void (*)(void (*)(const char*));
    for (const char* setter : {"jack_set_error_function", "jack_set_info_function"}) {
        if (void* symbol = dlsym(RTLD_DEFAULT, setter))
            reinterpret_cast<SetHandler>(symbol)(SilentJackMessage);
    }
}

// Sends standard error to /dev/null while it lives: the libraries print while they start
// (JACK before its handlers can be set) and while devices open.
class QuietStandardError {
public:
    QuietStandardError() {
        if (AudioDebug()) return;
        std::fflush(stderr);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0) return;
        saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        if (saved_ >= 0) dup2(null, STDERR_FILENO);
        close(null);
    }
    ~QuietStandardError() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int saved_ = -1;
};

// The audio thread: PortAudio prints from it when a device fails ("Expression ... failed"),
// and offers no handler. Its failures reach the reader through the stream's state instead.
thread_local bool onAudioThread = false;

#ifdef __GLIBC__
ssize_t WriteUnlessAudioThread(void*, const char* data, size_t size) {
    if (onAudioThread) return static_cast<ssize_t>(size);
    size_t done = 0;
    while (done < size) {
        const ssize_t written = write(STDERR_FILENO, data + done, size - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += static_cast<size_t>(written);
    }
    return static_cast<ssize_t>(size);
}
#endif

// Standard error (the stdio stream everyone prints through) passes everything but what the
// audio thread writes. Installed once, for the rest of the process.
void MuzzleAudioThreads() {
#ifdef __GLIBC__
    static bool installed = false;
    if (installed || AudioDebug()) return;
    installed = true;
    const cookie_io_functions_t io{nullptr, WriteUnlessAudioThread, nullptr, nullptr};
    FILE* filtered = fopencookie(nullptr, "w", io);
    if (filtered == nullptr) return;
    std::setvbuf(filtered, nullptr, _IONBF, 0);
    std::fflush(stderr);
    stderr = filtered;
#endif
}

// PortAudio started for as long as it lives (PortAudio counts nested starts).
class PortAudioLibrary {
public:
    PortAudioLibrary() {
        SilenceAudioLibraries();
        MuzzleAudioThreads();
        PaError error;
        {
            QuietStandardError quiet;
            error = Pa_Initialize();
        }
        if (error != paNoError)
            throw CaptureError(std::string("cannot start the audio library: ") +
                               Pa_GetErrorText(error));
        SilenceAudioLibraries();  // JACK is loaded now
#ifdef __linux__
        PaAlsa_SetRetriesBusy(kBusyRetries);
#endif
    }
    ~PortAudioLibrary() {
        QuietStandardError quiet;
        Pa_Terminate();
    }
    PortAudioLibrary(const PortAudioLibrary&) = delete;
    PortAudioLibrary& operator=(const PortAudioLibrary&) = delete;
};

struct ListedDevice {
    CaptureDeviceInfo info;
    PaDeviceIndex index;
    bool alsa;
};

std::vector<ListedDevice> ListDevices() {
    std::vector<ListedDevice> devices;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    const PaDeviceIndex defaultIndex = Pa_GetDefaultInputDevice();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* device = Pa_GetDeviceInfo(i);
        if (device == nullptr || device->maxInputChannels <= 0) continue;
        const PaHostApiInfo* api = Pa_GetHostApiInfo(device->hostApi);
        devices.push_back(
            {{device->name, device->maxInputChannels, device->defaultSampleRate, i == defaultIndex},
             i,
             api != nullptr && api->type == paALSA});
    }
    return devices;
}

// The ALSA PCM name of a device: the part in parentheses of "USB Audio: - (hw:1,0)", or the
// whole name ("default", "pulse", a PCM of ~/.asoundrc).
std::string AlsaName(const std::string& name) {
    if (!name.empty() && name.back() == ')') {
        const auto open = name.rfind('(');
        if (open != std::string::npos) return name.substr(open + 1, name.size() - open - 2);
    }
    return name;
}

// Why an ALSA PCM cannot be opened for capture, from ALSA itself (PortAudio reports every
// failure to open a PCM by name alike); empty when it opens.
std::string AlsaOpenProblem(const std::string& name) {
#ifdef __linux__
    snd_pcm_t* pcm = nullptr;
    int error;
    {
        QuietStandardError quiet;
        error = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
        if (error == 0) snd_pcm_close(pcm);
    }
    if (error == 0) return "";
    if (error == -EBUSY || error == -EAGAIN) return "capture device '" + name + "' is busy";
    if (error == -ENOENT || error == -ENODEV || error == -ENXIO)
        return "no capture device '" + name + "' (see --list-devices)";
    return "cannot open capture device '" + name + "': " + snd_strerror(error);
#else
    return "no capture device '" + name + "' (see --list-devices)";
#endif
}

// Wakes the reader when audio arrives. A POSIX semaphore: posting is safe on the audio thread,
// and waits time out on the monotonic clock (libstdc++ 12's std::counting_semaphore can miss
// a release and sleep on).
class Wakeup {
public:
    Wakeup() { sem_init(&semaphore_, 0, 0); }
    ~Wakeup() { sem_destroy(&semaphore_); }
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    void Post() { sem_post(&semaphore_); }
    // Waits for a post until the deadline, then takes any further posts.
    void WaitUntil(Clock::time_point deadline) {
        const auto nanos =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch())
                .count();
        timespec until{};
        until.tv_sec = static_cast<time_t>(nanos / 1000000000);
        until.tv_nsec = static_cast<long>(nanos % 1000000000);
        while (sem_clockwait(&semaphore_, CLOCK_MONOTONIC, &until) != 0 && errno == EINTR) {
        }
        while (sem_trywait(&semaphore_) == 0) {
        }
    }

private:
    sem_t semaphore_;
};
static_assert(std::is_same_v<Clock, std::chrono::steady_clock>, "steady_clock is CLOCK_MONOTONIC");

// What the audio thread and the reader share. Lives as long as the stream.
struct Shared {
    explicit Shared(size_t capacity) : ring(capacity) {}
    CaptureRing ring;
    std::optional<CaptureIntake> intake;  // made once the stream's latency is known
    std::atomic<bool> stopping{false};    // the reader is stopping the stream
    std::atomic<bool> finished{false};    // the stream ended (by itself unless stopping)
    Wakeup arrived;
};

int OnAudio(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo* time,
            PaStreamCallbackFlags flags, void* user) noexcept {
    Shared& shared = *static_cast<Shared*>(user);
    onAudioThread = true;
    DeviceBlock block;
    block.interleaved = static_cast<const float*>(input);
    block.frames = frames;
    block.adcTime = time->inputBufferAdcTime;
    block.currentTime = time->currentTime;
    block.overflow = (flags & paInputOverflow) != 0;
    block.underflow = (flags & paInputUnderflow) != 0;
    shared.intake->Take(block, Clock::now(), shared.stopping);
    shared.arrived.Post();
    return paContinue;
}

void OnFinished(void* user) noexcept {
    Shared& shared = *static_cast<Shared*>(user);
    shared.finished.store(true, std::memory_order_release);
    shared.arrived.Post();
}

class PortAudioSource final : public CaptureSource {
public:
    explicit PortAudioSource(const CaptureOptions& options) { OpenStream(options); }
    ~PortAudioSource() override {
        Stop();
        QuietStandardError quiet;
        if (stream_ != nullptr) Pa_CloseStream(stream_);
    }

    int SampleRate() const override { return rate_; }
    const std::string& DeviceName() const override { return name_; }

    void Start() override {
        PaError error;
        {
            QuietStandardError quiet;
            error = Pa_StartStream(stream_);
        }
        if (error != paNoError)
            throw CaptureError("cannot start capturing from '" + name_ +
                               "': " + Pa_GetErrorText(error));
        running_ = true;
        lastAudio_ = Clock::now();
    }

    CaptureChunk Read(double* out, size_t maxFrames, std::chrono::milliseconds timeout) override {
        const Clock::time_point deadline = Clock::now() + timeout;
        for (;;) {
            const CaptureRing::Taken taken = shared_->ring.Pop(out, maxFrames);
            const Clock::time_point now = Clock::now();
            if (taken.frames != 0 || taken.lostFrames != 0) {
                delivered_ += taken.frames;
                lastAudio_ = now;
                heard_ = true;
                CaptureChunk chunk;
                chunk.lostFrames = static_cast<long long>(taken.lostFrames);
                chunk.frames = taken.frames;
                chunk.capturedAt = shared_->intake->CapturedAt(delivered_, now);
                return chunk;
            }
            if (shared_->finished.load(std::memory_order_acquire) &&
                !shared_->stopping.load(std::memory_order_relaxed))
                throw CaptureError("capture device '" + name_ +
                                   "' stopped delivering audio (unplugged?)");
            if (!running_) {
                CaptureChunk chunk;
                chunk.ended = true;
                return chunk;
            }
            const Clock::time_point stalled =
                lastAudio_ + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(StallLimit()));
            if (now >= stalled) {
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%.0f", StallLimit());
                throw CaptureError("no audio from capture device '" + name_ + "' for " + seconds +
                                   " s");
            }
            if (now >= deadline) return {};
            shared_->arrived.WaitUntil(std::min(deadline, stalled));
        }
    }

    void Stop() override {
        if (!running_) return;
        running_ = false;
        shared_->stopping.store(true, std::memory_order_relaxed);
        QuietStandardError quiet;
        Pa_AbortStream(stream_);
    }

private:
    void OpenStream(const CaptureOptions& options);

    double StallLimit() const { return heard_ ? kStallSeconds + latency_ : kFirstAudioSeconds; }

    PortAudioLibrary library_;
    std::unique_ptr<Shared> shared_;
    PaStream* stream_ = nullptr;
    std::string name_;
    int rate_ = 0;
    double latency_ = 0.0;  // the stream's input latency, s
    bool running_ = false;
    bool heard_ = false;
    uint64_t delivered_ = 0;
    Clock::time_point lastAudio_{};
};

void PortAudioSource::OpenStream(const CaptureOptions& options) {
    const std::vector<ListedDevice> devices = ListDevices();
    PaStreamParameters parameters{};
    parameters.channelCount = options.channel;
    parameters.sampleFormat = paFloat32;
    const ListedDevice* listed = nullptr;
#ifdef __linux__
    PaAlsaStreamInfo alsaName{};
#endif
    if (options.device.empty()) {
        const auto found = std::find_if(devices.begin(), devices.end(),
                                        [](const ListedDevice& d) { return d.info.isDefault; });
        if (found == devices.end()) throw CaptureError("no capture device found");
        listed = &*found;
    } else {
        std::vector<CaptureDeviceInfo> infos;
        for (const ListedDevice& d : devices) infos.push_back(d.info);
        if (const auto match = MatchCaptureDevice(infos, options.device)) listed = &devices[*match];
    }
    double rate = options.rate;
    if (listed != nullptr) {
        name_ = listed->info.name;
        if (options.channel > listed->info.maxInputChannels)
            throw CaptureError("capture device '" + name_ + "' has " +
                               std::to_string(listed->info.maxInputChannels) +
                               " input channel(s): no channel " + std::to_string(options.channel));
        parameters.device = listed->index;
        parameters.suggestedLatency =
            std::max(kLatencySeconds, Pa_GetDeviceInfo(listed->index)->defaultHighInputLatency);
        if (rate == 0) rate = listed->info.defaultRate;
    } else {
        name_ = options.device;
#ifdef __linux__
        if (Pa_HostApiTypeIdToHostApiIndex(paALSA) < 0)
            throw CaptureError("no capture device '" + name_ + "' (see --list-devices)");
        PaAlsa_InitializeStreamInfo(&alsaName);
        alsaName.deviceString = name_.c_str();
        parameters.device = paUseHostApiSpecificDeviceSpecification;
        parameters.hostApiSpecificStreamInfo = &alsaName;
        parameters.suggestedLatency = kLatencySeconds;
        if (rate == 0) {
            QuietStandardError quiet;
            for (const double candidate : kUnlistedRates) {
                if (Pa_IsFormatSupported(&parameters, nullptr, candidate) == paFormatIsSupported) {
                    rate = candidate;
                    break;
                }
            }
        }
        if (rate == 0) {
            const std::string problem = AlsaOpenProblem(name_);
            throw CaptureError(problem.empty() ? "capture device '" + name_ +
                                                     "' offers no usable rate or channel " +
                                                     std::to_string(options.channel)
                                               : problem);
        }
#else
        throw CaptureError("no capture device '" + name_ + "' (see --list-devices)");
#endif
    }

    shared_ =
        std::make_unique<Shared>(static_cast<size_t>(std::ceil(options.bufferSeconds * rate)));
    PaError error;
    {
        QuietStandardError quiet;
        error = Pa_OpenStream(&stream_, &parameters, nullptr, rate, BlockFrames(rate),
                              paDitherOff, OnAudio, shared_.get());
    }
    char rateText[32];
    std::snprintf(rateText, sizeof rateText, "%.0f", rate);
    if (error != paNoError) {
        stream_ = nullptr;
        if (listed == nullptr || listed->alsa) {
            const std::string problem = AlsaOpenProblem(listed ? AlsaName(name_) : name_);
            if (!problem.empty()) throw CaptureError(problem);
        }
        if (error == paInvalidSampleRate)
            throw CaptureError("capture device '" + name_ + "' cannot capture at " + rateText +
                               " Hz");
        if (error == paInvalidChannelCount)
            throw CaptureError("capture device '" + name_ + "' has no channel " +
                               std::to_string(options.channel));
        if (error == paDeviceUnavailable)
            throw CaptureError("capture device '" + name_ + "' is busy");
        throw CaptureError("cannot capture from '" + name_ + "' at " + rateText +
                           " Hz: " + Pa_GetErrorText(error));
    }
    const PaStreamInfo* info = Pa_GetStreamInfo(stream_);
    if (info != nullptr) {
        latency_ = info->inputLatency;
        if (std::lround(info->sampleRate) != std::lround(rate)) {
            Pa_CloseStream(stream_);
            stream_ = nullptr;
            throw CaptureError("capture device '" + name_ + "' runs at " +
                               std::to_string(std::lround(info->sampleRate)) + " Hz, not " +
                               rateText + " Hz");
        }
    }
    rate_ = static_cast<int>(std::lround(rate));
    shared_->intake.emplace(shared_->ring, options.channel, options.channel - 1, rate, latency_);
    Pa_SetStreamFinishedCallback(stream_, OnFinished);
}

}  // namespace

std::vector<CaptureDeviceInfo> ListCaptureDevices() {
    PortAudioLibrary library;
    std::vector<CaptureDeviceInfo> infos;
    for (const ListedDevice& device : ListDevices()) infos.push_back(device.info);
    return infos;
}

std::unique_ptr<CaptureSource> OpenCaptureDevice(const CaptureOptions& options) {
    if (options.channel < 1) throw CaptureError("no channel " + std::to_string(options.channel));
    return std::make_unique<PortAudioSource>(options);
}

}  // namespace wobblemeter
