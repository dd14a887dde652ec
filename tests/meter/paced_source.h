// A fake capture device for the live tests that delivers its samples no faster than a given
// multiple of real time, as a clocked sound card does (the plain fake delivers at once).
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "meter/capture/capture.h"
#include "meter/capture/fake.h"

namespace wobblemeter_test {

class PacedSource final : public wobblemeter::CaptureSource {
public:
    // speed: how many seconds of audio a second of wall time delivers; blockFrames: the size of
    // the device's blocks; failAt >= 0: the device is lost at that frame.
    PacedSource(std::vector<double> samples, int rate, double speed, size_t blockFrames,
                long long failAt = -1);
    int SampleRate() const override { return rate_; }
    const std::string& DeviceName() const override { return fake_.DeviceName(); }
    void Start() override;
    wobblemeter::CaptureChunk Read(double* out, size_t maxFrames,
                                   std::chrono::milliseconds timeout) override;
    void Stop() override { fake_.Stop(); }

private:
    wobblemeter::FakeCaptureSource fake_;
    int rate_;
    double speed_;
    long long delivered_ = 0;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace wobblemeter_test
