// The bounded buffer between the audio callback and the reading thread (see ring.h).
// Ordering: a loss mark is published before the samples behind it, and the reader loads the
// write position before the marks, so it never reads past a loss it has not seen.
#include "meter/capture/ring.h"

#include <algorithm>

namespace wobblemeter {

CaptureRing::CaptureRing(size_t capacityFrames)
    : samples_(std::max<size_t>(capacityFrames, 1)), losses_(kLossSlots) {}

size_t CaptureRing::Space() const {
    const uint64_t used =
        written_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire);
    return samples_.size() - static_cast<size_t>(used);
}

size_t CaptureRing::Available() const {
    return static_cast<size_t>(written_.load(std::memory_order_acquire) -
                               read_.load(std::memory_order_relaxed));
}

bool CaptureRing::PublishPendingLoss() {
    const uint64_t published = lossesPublished_.load(std::memory_order_relaxed);
    if (published - lossesTaken_.load(std::memory_order_acquire) == kLossSlots) return false;
    losses_[published % kLossSlots] = {written_.load(std::memory_order_relaxed), pendingLoss_};
    lossesPublished_.store(published + 1, std::memory_order_release);
    pendingLoss_ = 0;
    return true;
}

void CaptureRing::MarkLost(uint64_t frames) {
    if (frames == 0) return;
    pendingLoss_ += frames;
    PublishPendingLoss();
}

size_t CaptureRing::Push(const float* interleaved, size_t frames, int channels, int channel) {
    // A loss still waiting for a mark goes first; until it has one, nothing may follow it.
    if (pendingLoss_ != 0 && !PublishPendingLoss()) {
        pendingLoss_ += frames;
        return 0;
    }
    const size_t stride = static_cast<size_t>(channels);
    const uint64_t written = written_.load(std::memory_order_relaxed);
    const size_t count = std::min(frames, Space());
    size_t index = static_cast<size_t>(written % samples_.size());
    const float* in = interleaved + channel;
    for (size_t i = 0; i < count; ++i, in += stride) {
        samples_[index] = *in;
        if (++index == samples_.size()) index = 0;
    }
    written_.store(written + count, std::memory_order_release);
    if (count < frames) MarkLost(frames - count);
    return count;
}

CaptureRing::Taken CaptureRing::Pop(double* out, size_t maxFrames) {
    Taken taken;
    const uint64_t read = read_.load(std::memory_order_relaxed);
    const uint64_t written = written_.load(std::memory_order_acquire);
    const uint64_t published = lossesPublished_.load(std::memory_order_acquire);
    uint64_t next = lossesTaken_.load(std::memory_order_relaxed);
    while (next < published && losses_[next % kLossSlots].at == read) {
        taken.lostFrames += losses_[next % kLossSlots].frames;
        ++next;
    }
    lossesTaken_.store(next, std::memory_order_release);

    uint64_t end = written;
    if (next < published) end = std::min(end, losses_[next % kLossSlots].at);
    taken.frames = static_cast<size_t>(std::min<uint64_t>(maxFrames, end - read));
    size_t index = static_cast<size_t>(read % samples_.size());
    for (size_t i = 0; i < taken.frames; ++i) {
        out[i] = samples_[index];
        if (++index == samples_.size()) index = 0;
    }
    read_.store(read + taken.frames, std::memory_order_release);
    return taken;
}

}  // namespace wobblemeter
