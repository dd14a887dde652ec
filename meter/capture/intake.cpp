// The audio callback's work on each block (see intake.h).
#include "meter/capture/intake.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace wobblemeter {
namespace {

// A clocked device is never further ahead of the wall clock than its latency; one that is this
// much further is not clocked (the ALSA file plugin), s. The ring must hold more than this for
// such a device to wait rather than lose frames.
constexpr double kUnclockedMarginSeconds = 1.0;
// Delays and losses read off the device clock beyond these are taken for a faulty clock, s.
constexpr double kMaxDelaySeconds = 2.0;
constexpr double kMaxEstimatedLossSeconds = 60.0;
// How long a waiting block sleeps between looks at the ring.
constexpr std::chrono::milliseconds kWaitStep{1};
// A reader that looks for audio this much later than it meant to was held up itself, s.
constexpr double kReaderHeldUpSeconds = 0.5;

CaptureIntake::Clock::duration Seconds(double seconds) {
    return std::chrono::duration_cast<CaptureIntake::Clock::duration>(
        std::chrono::duration<double>(seconds));
}

}  // namespace

CaptureIntake::CaptureIntake(CaptureRing& ring, int channels, int channel, double rate,
                             double latency)
    : ring_(ring), channels_(channels), channel_(channel), rate_(rate), latency_(latency) {}

uint64_t CaptureIntake::EstimateLoss(double adcTime) const {
    const double seconds = adcTime - expectedAdc_;
    // A clock that does not show the gap still tells that something was lost.
    if (!(seconds > 0.0)) return 1;
    const double frames = std::min(seconds, kMaxEstimatedLossSeconds) * rate_;
    return std::max<uint64_t>(1, static_cast<uint64_t>(std::llround(frames)));
}

bool CaptureIntake::RunsAheadOfClock(Clock::time_point now) const {
    const double delivered = static_cast<double>(timeline_) / rate_;
    const double elapsed = std::chrono::duration<double>(now - firstBlock_).count();
    return delivered > elapsed + latency_ + kUnclockedMarginSeconds;
}

void CaptureIntake::Stamp(Clock::time_point lastFrame) {
    const uint32_t sequence = stampSequence_.load(std::memory_order_relaxed);
    stampSequence_.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    stampFrames_.store(stored_, std::memory_order_relaxed);
    stampTicks_.store(lastFrame.time_since_epoch().count(), std::memory_order_relaxed);
    stampSequence_.store(sequence + 2, std::memory_order_release);
}

void CaptureIntake::Push(const DeviceBlock& block, Clock::time_point now,
                         const std::atomic<bool>& stopping) {
    if (block.frames == 0) return;
    lastBlockTicks_.store(now.time_since_epoch().count(), std::memory_order_release);
    if (!started_) {
        started_ = true;
        firstBlock_ = now;
    } else if (block.overflow) {
        const uint64_t lost = EstimateLoss(block.adcTime);
        ring_.MarkLost(lost);
        timeline_ += lost;
    }
    expectedAdc_ = block.adcTime + static_cast<double>(block.frames) / rate_;
    timeline_ += block.frames;

    if (block.interleaved == nullptr || block.underflow) {
        ring_.MarkLost(block.frames);
        return;
    }
    while (ring_.Space() < block.frames && RunsAheadOfClock(now) &&
           !stopping.load(std::memory_order_relaxed))
        std::this_thread::sleep_for(kWaitStep);
    stored_ += ring_.Push(block.interleaved, block.frames, channels_, channel_);
    // The first frame entered the converter (currentTime - adcTime) before now, the last one
    // the block's length later, and not after now (a device that is not clocked tells no delay).
    double delay = block.currentTime - block.adcTime;
    if (!(delay >= 0.0 && delay < kMaxDelaySeconds)) delay = 0.0;
    const double span = static_cast<double>(block.frames - 1) / rate_;
    Stamp(now - Seconds(std::max(delay - span, 0.0)));
}

CaptureIntake::Clock::time_point CaptureIntake::CapturedAt(uint64_t delivered,
                                                           Clock::time_point now) const {
    uint32_t before, after;
    uint64_t frames;
    int64_t ticks;
    do {
        before = stampSequence_.load(std::memory_order_acquire);
        frames = stampFrames_.load(std::memory_order_relaxed);
        ticks = stampTicks_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        after = stampSequence_.load(std::memory_order_relaxed);
    } while (before != after || (before & 1U) != 0);
    if (before == 0) return now;
    // The stamp is of the frame that ended `frames` stored frames; ours came that many before.
    const auto behind = static_cast<double>(static_cast<int64_t>(frames - delivered)) / rate_;
    return Clock::time_point(Clock::duration(ticks)) - Seconds(behind);
}

void StallWatch::Start(Clock::time_point now) {
    since_ = now;
    due_ = now;
}

StallWatch::Clock::time_point StallWatch::Deadline(const CaptureIntake& intake,
                                                   Clock::time_point now, double limitSeconds) {
    if (now - due_ > Seconds(kReaderHeldUpSeconds)) since_ = std::max(since_, now);
    due_ = std::max(due_, now);
    since_ = std::max(since_, intake.LastBlockAt());
    return since_ + Seconds(limitSeconds);
}

}  // namespace wobblemeter
