// Live audio from a capture device: one channel as doubles of full scale 1, in blocks, with the
// frames an overrun lost marked where they were lost. No audio library's types appear here.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace wobblemeter {

// Audio held between the audio thread and the reader before frames are lost, s.
constexpr double kCaptureBufferSeconds = 4.0;

struct CaptureDeviceInfo {
    std::string name;  // as --device takes it
    int maxInputChannels = 0;
    double defaultRate = 0.0;  // Hz
    bool isDefault = false;    // the device used when none is named
};

struct CaptureOptions {
    // Empty: the default capture device. Otherwise a listed name, the ALSA name in a listed
    // name's parentheses ("hw:1,0"), or any ALSA PCM name (see MatchCaptureDevice).
    std::string device;
    int rate = 0;     // Hz; 0: the device's default rate
    int channel = 1;  // counted from 1
    double bufferSeconds = kCaptureBufferSeconds;
};

// What one read delivers: lostFrames frames that the device captured but that never arrived
// (an input overrun), then frames samples. A chunk never spans a loss: samples before a loss
// and after it arrive in separate chunks.
struct CaptureChunk {
    long long lostFrames = 0;
    size_t frames = 0;
    // The source has nothing more to deliver: a fake source at the end of its audio, a device
    // after Stop once what it captured has been read. A running device never ends by itself.
    bool ended = false;
    // Estimated time at which the chunk's last frame entered the device (its analog-to-digital
    // converter where the device reports it); for latency figures.
    std::chrono::steady_clock::time_point capturedAt{};
};

// A capture that cannot start or that stopped: no device, a busy one, an unplugged one. what()
// is one line saying why.
class CaptureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One capture stream. Start, Read and Stop are called from one thread (the reader); the audio
// arrives on the library's own thread and waits in a bounded buffer until read.
class CaptureSource {
public:
    virtual ~CaptureSource() = default;
    virtual int SampleRate() const = 0;
    virtual const std::string& DeviceName() const = 0;
    // The delay the device reports between sound and delivery, s (0: none reported).
    virtual double LatencySeconds() const { return 0.0; }
    virtual void Start() = 0;
    // Waits up to timeout for audio and copies at most maxFrames samples into out. A chunk with
    // no frames, no loss and not ended means nothing arrived in time. Throws CaptureError when
    // the device fails or stops delivering audio.
    virtual CaptureChunk Read(double* out, size_t maxFrames, std::chrono::milliseconds timeout) = 0;
    // Stops capturing; safe to call twice. Returns within seconds: throws CaptureError when the
    // audio system does not answer (a sound server that hangs), leaving the stream to it.
    virtual void Stop() = 0;
};

// The devices that can capture, the default one marked. Throws CaptureError.
std::vector<CaptureDeviceInfo> ListCaptureDevices();

// Opens options.device (or the default device) for the chosen channel at the chosen rate, not
// yet started. Throws CaptureError.
std::unique_ptr<CaptureSource> OpenCaptureDevice(const CaptureOptions& options);

// Which listed device a --device name means: the device of exactly that name, else the device
// whose name ends in that name in parentheses (the audio library lists ALSA's hardware devices
// as "USB Audio: - (hw:1,0)"). None: the name is to be opened as an ALSA PCM of that name.
std::optional<size_t> MatchCaptureDevice(const std::vector<CaptureDeviceInfo>& devices,
                                         std::string_view name);

}  // namespace wobblemeter
