// The bounded buffer from an audio callback (one producer) to the reading thread (one consumer):
// one channel's samples, and marks for the frames lost between them. Lock-free: the producer
// never waits, locks or allocates; what does not fit is counted as lost, never dropped silently.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace wobblemeter {

class CaptureRing {
public:
    // Holds up to capacityFrames samples (at least 1).
    explicit CaptureRing(size_t capacityFrames);
    CaptureRing(const CaptureRing&) = delete;
    CaptureRing& operator=(const CaptureRing&) = delete;

    // Producer. Appends sample (channel, counted from 0) of each of frames frames of
    // channels-interleaved floats; frames that do not fit are lost at the end. Returns how many
    // were stored.
    size_t Push(const float* interleaved, size_t frames, int channels, int channel);
    // Producer. Notes that frames frames were lost after everything pushed so far.
    void MarkLost(uint64_t frames);
    // Producer. Publishes a loss still waiting for a free mark (each Push tries as well); true
    // when none waits. For a producer that has finished.
    bool Flush() { return pendingLoss_ == 0 || PublishPendingLoss(); }
    // Producer. Room left, in frames.
    size_t Space() const;

    // Consumer. What Pop delivered: lost frames first, then frames samples.
    struct Taken {
        uint64_t lostFrames = 0;
        size_t frames = 0;
    };
    // Consumer. Takes the losses due at the reading position and then up to maxFrames samples,
    // stopping at the next loss, as doubles.
    Taken Pop(double* out, size_t maxFrames);
    // Consumer. Frames pushed but not yet taken (losses not counted).
    size_t Available() const;

private:
    // A loss: frames frames lost before the sample that will be pushed as number `at`.
    struct Loss {
        uint64_t at = 0;
        uint64_t frames = 0;
    };
    // Loss marks not yet taken; when all are in use, later losses wait in pendingLoss_ and the
    // samples behind them are lost too, so order is kept.
    static constexpr size_t kLossSlots = 256;

    bool PublishPendingLoss();

    std::vector<float> samples_;
    std::vector<Loss> losses_;
    // Positions count frames from the start and never wrap (2^64 frames).
    std::atomic<uint64_t> written_{0};  // producer's
    std::atomic<uint64_t> read_{0};     // consumer's
    std::atomic<uint64_t> lossesPublished_{0};
    std::atomic<uint64_t> lossesTaken_{0};
    uint64_t pendingLoss_ = 0;  // producer only
};

}  // namespace wobblemeter
