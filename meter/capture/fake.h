// A capture source without a device, for tests of what reads live audio: delivers given audio
// in blocks of a chosen size as fast as it is read, loses frames where told to (as an input
// overrun does), and can fail as an unplugged device does.
#pragma once

#include <string>
#include <vector>

#include "meter/capture/capture.h"

namespace wobblemeter {

// Frames [atFrame, atFrame + frames) of the audio never arrive; the next read reports them lost.
struct InjectedLoss {
    long long atFrame = 0;
    long long frames = 0;
};

class FakeCaptureSource final : public CaptureSource {
public:
    // samples: the audio the "device" captures, full scale 1. Losses in any order; overlapping
    // ones merge.
    FakeCaptureSource(std::vector<double> samples, int rate, size_t blockFrames,
                      std::vector<InjectedLoss> losses = {}, std::string name = "fake");
    // The same with channel (from 1) of an audio file. Throws MeterError.
    static std::unique_ptr<FakeCaptureSource> FromFile(const std::string& path, int channel,
                                                       size_t blockFrames,
                                                       std::vector<InjectedLoss> losses = {});

    // From this frame on, reads throw CaptureError as for an unplugged device.
    void FailAt(long long frame) { failAt_ = frame; }

    int SampleRate() const override { return rate_; }
    const std::string& DeviceName() const override { return name_; }
    void Start() override { running_ = true; }
    CaptureChunk Read(double* out, size_t maxFrames, std::chrono::milliseconds timeout) override;
    void Stop() override { running_ = false; }

private:
    std::vector<double> samples_;
    int rate_;
    size_t blockFrames_;
    std::vector<InjectedLoss> losses_;  // sorted by start
    std::string name_;
    long long position_ = 0;  // next frame of samples_
    long long failAt_ = -1;
    bool running_ = false;
};

}  // namespace wobblemeter
