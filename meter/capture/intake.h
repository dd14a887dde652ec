// What the audio callback does with each block a device delivers, free of the audio library:
// keeps the chosen channel in the ring, turns the library's overrun and underrun flags into lost
// frames at their place, lets a device that is not clocked wait for the reader, and stamps the
// time the audio was captured.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "meter/capture/ring.h"

namespace wobblemeter {

// One callback's worth of input, as the audio library reports it.
struct DeviceBlock {
    const float* interleaved = nullptr;  // nullptr: the block holds no input
    size_t frames = 0;
    double adcTime = 0.0;      // device clock: when the first frame was captured, s
    double currentTime = 0.0;  // device clock: when the callback was called, s
    bool overflow = false;     // input was lost before this block
    bool underflow = false;    // the block is padding, not input
};

class CaptureIntake {
public:
    using Clock = std::chrono::steady_clock;

    // latency: the stream's input latency, s.
    CaptureIntake(CaptureRing& ring, int channels, int channel, double rate, double latency);

    // Audio thread. Stores the block's frames of the channel, or counts them lost. A device
    // that has delivered more than the wall clock allows since its first block (it reads a
    // file, say) waits here for room while stopping is false.
    void Push(const DeviceBlock& block, Clock::time_point now, const std::atomic<bool>& stopping);

    // Reader. When the frame that ends `delivered` frames of the ring's samples entered the
    // device, estimated from the latest block; now when nothing was stamped yet.
    Clock::time_point CapturedAt(uint64_t delivered, Clock::time_point now) const;
    // Reader. When the device's callback last brought a block (of input, padding or a loss);
    // the epoch before the first.
    Clock::time_point LastBlockAt() const {
        return Clock::time_point(Clock::duration(lastBlockTicks_.load(std::memory_order_acquire)));
    }

private:
    // Frames an overrun lost before a block starting at adcTime, from the device clock.
    uint64_t EstimateLoss(double adcTime) const;
    bool RunsAheadOfClock(Clock::time_point now) const;
    void Stamp(Clock::time_point lastFrame);

    CaptureRing& ring_;
    const int channels_;
    const int channel_;
    const double rate_;
    const double latency_;

    // Audio thread only.
    bool started_ = false;
    Clock::time_point firstBlock_{};
    uint64_t stored_ = 0;    // frames pushed into the ring
    uint64_t timeline_ = 0;  // frames stored or lost
    double expectedAdc_ = 0.0;

    // When the last stored frame entered the device: a sequence lock, written by the audio
    // thread and read by the reader.
    std::atomic<uint32_t> stampSequence_{0};
    std::atomic<uint64_t> stampFrames_{0};
    std::atomic<int64_t> stampTicks_{0};
    std::atomic<int64_t> lastBlockTicks_{0};
};

// When a device counts as stalled: no block from its callback for the limit, counted from the
// later of its last block and the reader's return from a hold-up of its own (the meter stopped
// with kill -STOP, or starved of the processor). A reader that wakes late is no stalled device:
// whatever piled up meanwhile is read, or lost as an overrun, and bridged.
class StallWatch {
public:
    using Clock = CaptureIntake::Clock;

    // The stream started at now.
    void Start(Clock::time_point now);
    // Reader, at each look for audio: when the device will count as stalled, as of now, unless
    // a block arrives first. limitSeconds: how long a device may go without a block, s.
    Clock::time_point Deadline(const CaptureIntake& intake, Clock::time_point now,
                               double limitSeconds);
    // Reader: it sleeps until wake (or a block) before its next look.
    void Sleeps(Clock::time_point wake) { due_ = std::max(due_, wake); }

private:
    Clock::time_point since_{};  // the later of the last block and the reader's return
    Clock::time_point due_{};    // when the reader's next look is due, at the latest
};

}  // namespace wobblemeter
