// The capture source on PortAudio (ALSA, JACK; WASAPI, MME on Windows): with
// capture_portaudio_library.cpp the only code that includes an audio library, which it calls
// through the entry points loaded at run time (linked in on Windows).
// Asks the device for 32-bit float samples, interleaved, as many channels as the chosen
// channel's number; PortAudio's callback thread hands each block to a CaptureIntake, which
// keeps that channel in a CaptureRing for the reader.
#include <portaudio.h>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#else
#include <semaphore.h>
#include <time.h>
#endif
#ifdef __linux__
#include <alsa/asoundlib.h>
#include <pa_linux_alsa.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "meter/capture/capture.h"
#include "meter/capture/intake.h"
#include "meter/capture/portaudio/capture_portaudio_library.h"
#include "meter/capture/ring.h"

namespace wobblemeter {
namespace {

using Clock = std::chrono::steady_clock;
using portaudio::CallLibrary;

// The library's entry points (loaded by the first call).
const portaudio::Api& Lib() {
    return portaudio::Calls();
}

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
// Rates tried, in order, for a device the library does not list, Hz.
constexpr double kUnlistedRates[] = {44100, 48000, 96000, 88200, 192000, 32000, 22050, 16000};

// Frames per callback: the power of two nearest to kBlockSeconds (2048 at 44.1 and 48 kHz).
unsigned long BlockFrames(double rate) {
    const double exponent = std::round(std::log2(rate * kBlockSeconds));
    return static_cast<unsigned long>(std::exp2(std::max(exponent, 6.0)));
}

std::string Quoted(const std::string& name) {
    return "'" + name + "'";
}

struct ListedDevice {
    CaptureDeviceInfo info;
    PaDeviceIndex index;
    bool alsa;
};

// The host API whose devices are listed: on Windows PortAudio offers each device twice, through
// WASAPI and through MME (whose names are cut to 31 characters): WASAPI's, the float capture in
// shared mode at the device's rate, unless it has no input (then MME's). Elsewhere every host
// API's: -1.
PaHostApiIndex ListedHostApi() {
#ifdef _WIN32
    const PaHostApiIndex wasapi = Lib().Pa_HostApiTypeIdToHostApiIndex(paWASAPI);
    const PaHostApiInfo* info = wasapi >= 0 ? Lib().Pa_GetHostApiInfo(wasapi) : nullptr;
    if (info != nullptr && info->defaultInputDevice != paNoDevice) return wasapi;
    return Lib().Pa_HostApiTypeIdToHostApiIndex(paMME);
#else
    return -1;
#endif
}

std::vector<ListedDevice> ListDevices() {
    std::vector<ListedDevice> devices;
    const PaDeviceIndex count = Lib().Pa_GetDeviceCount();
    const PaHostApiIndex listedApi = ListedHostApi();
    const PaHostApiInfo* listedInfo = listedApi >= 0 ? Lib().Pa_GetHostApiInfo(listedApi) : nullptr;
    // The system's default recording device, as the listed host API names it.
    const PaDeviceIndex defaultIndex =
        listedInfo != nullptr ? listedInfo->defaultInputDevice : Lib().Pa_GetDefaultInputDevice();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* device = Lib().Pa_GetDeviceInfo(i);
        if (device == nullptr || device->maxInputChannels <= 0) continue;
        if (listedApi >= 0 && device->hostApi != listedApi) continue;
        const PaHostApiInfo* api = Lib().Pa_GetHostApiInfo(device->hostApi);
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
// failure to open a PCM by name alike); none when it opens.
std::optional<CaptureError> AlsaOpenProblem(const std::string& name) {
#ifdef __linux__
    const int error = CallLibrary("while opening " + Quoted(name), portaudio::kOpenSeconds, [name] {
        snd_pcm_t* pcm = nullptr;
        const int result =
            Lib().snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
        if (result == 0) Lib().snd_pcm_close(pcm);
        return result;
    });
    if (error == 0) return std::nullopt;
    if (error == -EBUSY || error == -EAGAIN)
        return CaptureError(Msg::kCaptureDeviceBusy, name.c_str());
    if (error == -ENOENT || error == -ENODEV || error == -ENXIO)
        return CaptureError(Msg::kNoSuchCaptureDevice, name.c_str());
    return CaptureError(Msg::kCannotOpenCaptureDevice, name.c_str(), Lib().snd_strerror(error));
#else
    return CaptureError(Msg::kNoSuchCaptureDevice, name.c_str());
#endif
}

// The stream asked of PortAudio. Calls that may not return own it with the source.
struct StreamRequest {
    PaStreamParameters parameters{};
#ifdef __linux__
    PaAlsaStreamInfo alsa{};  // for an ALSA PCM opened by name
#endif
    std::string alsaName;
};

#ifdef _WIN32
// Wakes the reader when audio arrives: a Windows semaphore, which the audio thread may release.
class Wakeup {
public:
    Wakeup() : semaphore_(CreateSemaphoreW(nullptr, 0, kMaxCount, nullptr)) {}
    ~Wakeup() {
        if (semaphore_ != nullptr) CloseHandle(semaphore_);
    }
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    void Post() { ReleaseSemaphore(semaphore_, 1, nullptr); }
    // Waits for a post until the deadline, then takes any further posts.
    void WaitUntil(Clock::time_point deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const DWORD wait = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
        if (WaitForSingleObject(semaphore_, wait) != WAIT_OBJECT_0) return;
        while (WaitForSingleObject(semaphore_, 0) == WAIT_OBJECT_0) {
        }
    }

private:
    static constexpr LONG kMaxCount = 0x7fffffff;  // posts pending at most (LONG's largest)
    HANDLE semaphore_;
};
#else
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
#endif

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
    portaudio::quietThread = true;
    DeviceBlock block;
    block.interleaved = static_cast<const float*>(input);
    block.frames = frames;
    block.adcTime = time->inputBufferAdcTime;
    block.currentTime = time->currentTime;
    block.overflow = (flags & paInputOverflow) != 0;
    block.underflow = (flags & paInputUnderflow) != 0;
    shared.intake->Push(block, Clock::now(), shared.stopping);
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
    ~PortAudioSource() override;

    int SampleRate() const override { return rate_; }
    const std::string& DeviceName() const override { return name_; }
    double LatencySeconds() const override { return latency_; }
    void Start() override;
    CaptureChunk Read(double* out, size_t maxFrames, std::chrono::milliseconds timeout) override;
    void Stop() override;

private:
    void OpenStream(const CaptureOptions& options);
    // The device the options name, with the stream's parameters filled in for it.
    const ListedDevice* ChooseDevice(const CaptureOptions& options,
                                     const std::vector<ListedDevice>& devices,
                                     StreamRequest& request);
    double DefaultRateOfUnlisted(const std::shared_ptr<StreamRequest>& request);
    [[noreturn]] void ThrowOpenError(PaError error, const ListedDevice* listed, double rate,
                                     int channel);

    double StallLimit() const { return heard_ ? kStallSeconds + latency_ : kFirstAudioSeconds; }

    portaudio::Library library_;
    std::unique_ptr<Shared> shared_;
    PaStream* stream_ = nullptr;
    std::string name_;
    int rate_ = 0;
    double latency_ = 0.0;  // the stream's input latency, s
    bool running_ = false;
    bool heard_ = false;
    uint64_t delivered_ = 0;
    StallWatch stall_;
};

PortAudioSource::~PortAudioSource() {
    try {
        Stop();
        if (stream_ != nullptr)
            CallLibrary("while closing " + Quoted(name_), portaudio::kStopSeconds,
                        [stream = stream_] { return Lib().Pa_CloseStream(stream); });
    } catch (const CaptureError&) {
        // Given up: the audio thread may still run, so what it uses stays.
        static_cast<void>(shared_.release());
    }
}

void PortAudioSource::Start() {
    const PaError error = CallLibrary("while starting " + Quoted(name_), portaudio::kOpenSeconds,
                                      [stream = stream_] { return Lib().Pa_StartStream(stream); });
    if (error != paNoError)
        throw CaptureError(Msg::kCannotStartCapture, name_.c_str(), Lib().Pa_GetErrorText(error));
    running_ = true;
    stall_.Start(Clock::now());
}

CaptureChunk PortAudioSource::Read(double* out, size_t maxFrames,
                                   std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        const CaptureRing::Taken taken = shared_->ring.Pop(out, maxFrames);
        const Clock::time_point now = Clock::now();
        if (taken.frames != 0 || taken.lostFrames != 0) {
            delivered_ += taken.frames;
            heard_ = true;
            CaptureChunk chunk;
            chunk.lostFrames = static_cast<long long>(taken.lostFrames);
            chunk.frames = taken.frames;
            chunk.capturedAt = shared_->intake->CapturedAt(delivered_, now);
            return chunk;
        }
        if (shared_->finished.load(std::memory_order_acquire) &&
            !shared_->stopping.load(std::memory_order_relaxed))
            throw CaptureError(Msg::kCaptureStopped, name_.c_str());
        if (!running_) {
            CaptureChunk chunk;
            chunk.ended = true;
            return chunk;
        }
        // Against the device's last block, not this reader's clock: a reader that was held up
        // itself finds the device still delivering.
        const Clock::time_point stalled = stall_.Deadline(*shared_->intake, now, StallLimit());
        if (now >= stalled) throw CaptureError(Msg::kCaptureStalled, name_.c_str(), StallLimit());
        if (now >= deadline) return {};
        stall_.Sleeps(std::min(deadline, stalled));
        shared_->arrived.WaitUntil(std::min(deadline, stalled));
    }
}

void PortAudioSource::Stop() {
    if (!running_) return;
    running_ = false;
    shared_->stopping.store(true, std::memory_order_relaxed);
    CallLibrary("while stopping " + Quoted(name_), portaudio::kStopSeconds,
                [stream = stream_] { return Lib().Pa_AbortStream(stream); });
}

const ListedDevice* PortAudioSource::ChooseDevice(const CaptureOptions& options,
                                                  const std::vector<ListedDevice>& devices,
                                                  StreamRequest& request) {
    const ListedDevice* listed = nullptr;
    if (options.device.empty()) {
        const auto found = std::find_if(devices.begin(), devices.end(),
                                        [](const ListedDevice& d) { return d.info.isDefault; });
        if (found == devices.end()) throw CaptureError(Msg::kNoCaptureDevice);
        listed = &*found;
    } else {
        std::vector<CaptureDeviceInfo> infos;
        for (const ListedDevice& d : devices) infos.push_back(d.info);
        if (const auto match = MatchCaptureDevice(infos, options.device)) listed = &devices[*match];
    }
    PaStreamParameters& parameters = request.parameters;
    parameters.channelCount = options.channel;
    parameters.sampleFormat = paFloat32;
    if (listed != nullptr) {
        name_ = listed->info.name;
        if (options.channel > listed->info.maxInputChannels)
            throw CaptureError(Msg::kCaptureTooFewChannels, name_.c_str(),
                               listed->info.maxInputChannels, options.channel);
        parameters.device = listed->index;
        parameters.suggestedLatency = std::max(
            kLatencySeconds, Lib().Pa_GetDeviceInfo(listed->index)->defaultHighInputLatency);
        if (listed->alsa) request.alsaName = AlsaName(name_);
        return listed;
    }
    // Not listed: an ALSA PCM by its name.
    name_ = options.device;
#ifdef __linux__
    if (Lib().Pa_HostApiTypeIdToHostApiIndex(paALSA) >= 0) {
        request.alsaName = name_;
        Lib().PaAlsa_InitializeStreamInfo(&request.alsa);
        request.alsa.deviceString = request.alsaName.c_str();
        parameters.device = paUseHostApiSpecificDeviceSpecification;
        parameters.hostApiSpecificStreamInfo = &request.alsa;
        parameters.suggestedLatency = kLatencySeconds;
        return nullptr;
    }
#endif
    throw CaptureError(Msg::kNoSuchCaptureDevice, name_.c_str());
}

// The first of the usual rates an unlisted device takes; 0 when none.
double PortAudioSource::DefaultRateOfUnlisted(const std::shared_ptr<StreamRequest>& request) {
    return CallLibrary("while opening " + Quoted(name_), portaudio::kOpenSeconds, [request] {
        for (const double rate : kUnlistedRates)
            if (Lib().Pa_IsFormatSupported(&request->parameters, nullptr, rate) ==
                paFormatIsSupported)
                return rate;
        return 0.0;
    });
}

void PortAudioSource::ThrowOpenError(PaError error, const ListedDevice* listed, double rate,
                                     int channel) {
    if (listed == nullptr || listed->alsa) {
        if (auto problem = AlsaOpenProblem(listed ? AlsaName(name_) : name_)) throw *problem;
    }
    const char* name = name_.c_str();
    if (error == paInvalidSampleRate) throw CaptureError(Msg::kCaptureRateRefused, name, rate);
    if (error == paNoError)  // no rate found
        throw CaptureError(Msg::kCaptureNoUsualRate, name, channel);
    if (error == paInvalidChannelCount)
        throw CaptureError(Msg::kCaptureNoSuchChannel, name, channel);
    if (error == paDeviceUnavailable) throw CaptureError(Msg::kCaptureDeviceBusy, name);
    throw CaptureError(Msg::kCannotCapture, name, rate, Lib().Pa_GetErrorText(error));
}

void PortAudioSource::OpenStream(const CaptureOptions& options) {
    const std::vector<ListedDevice> devices = ListDevices();
    // Shared with calls that might be given up (and then outlive this source).
    auto request = std::make_shared<StreamRequest>();
    const ListedDevice* listed = ChooseDevice(options, devices, *request);
    double rate = options.rate;
    if (rate == 0 && listed != nullptr) rate = listed->info.defaultRate;
    if (rate == 0) rate = DefaultRateOfUnlisted(request);
    if (rate == 0) ThrowOpenError(paNoError, listed, rate, options.channel);

    shared_ =
        std::make_unique<Shared>(static_cast<size_t>(std::ceil(options.bufferSeconds * rate)));
    const auto [error, stream] =
        CallLibrary("while opening " + Quoted(name_), portaudio::kOpenSeconds,
                    [request, rate, shared = shared_.get()] {
                        PaStream* opened = nullptr;
                        const PaError result =
                            Lib().Pa_OpenStream(&opened, &request->parameters, nullptr, rate,
                                                BlockFrames(rate), paDitherOff, OnAudio, shared);
                        return std::make_pair(result, opened);
                    });
    if (error != paNoError) ThrowOpenError(error, listed, rate, options.channel);
    stream_ = stream;
    const PaStreamInfo* info = Lib().Pa_GetStreamInfo(stream_);
    if (info != nullptr) {
        latency_ = info->inputLatency;
        if (std::lround(info->sampleRate) != std::lround(rate)) {
            CallLibrary("while closing " + Quoted(name_), portaudio::kStopSeconds,
                        [stream = stream_] { return Lib().Pa_CloseStream(stream); });
            stream_ = nullptr;
            throw CaptureError(Msg::kCaptureRunsAt, name_.c_str(), info->sampleRate, rate);
        }
    }
    rate_ = static_cast<int>(std::lround(rate));
    shared_->intake.emplace(shared_->ring, options.channel, options.channel - 1, rate, latency_);
    Lib().Pa_SetStreamFinishedCallback(stream_, OnFinished);
}

}  // namespace

std::vector<CaptureDeviceInfo> ListCaptureDevices() {
    portaudio::Library library;
    std::vector<CaptureDeviceInfo> infos;
    for (const ListedDevice& device : ListDevices()) infos.push_back(device.info);
    return infos;
}

std::unique_ptr<CaptureSource> OpenCaptureDevice(const CaptureOptions& options) {
    if (options.channel < 1) throw CaptureError(Msg::kNoChannel, options.channel);
    return std::make_unique<PortAudioSource>(options);
}

}  // namespace wobblemeter
