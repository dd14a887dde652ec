// A capture source that plays given audio, with losses injected where asked (see fake.h).
#include "meter/capture/fake.h"

#include <algorithm>

#include "meter/audio/audio_file.h"

namespace wobblemeter {

FakeCaptureSource::FakeCaptureSource(std::vector<double> samples, int rate, size_t blockFrames,
                                     std::vector<InjectedLoss> losses, std::string name)
    : samples_(std::move(samples)),
      rate_(rate),
      blockFrames_(std::max<size_t>(blockFrames, 1)),
      losses_(std::move(losses)),
      name_(std::move(name)) {
    std::sort(losses_.begin(), losses_.end(),
              [](const InjectedLoss& a, const InjectedLoss& b) { return a.atFrame < b.atFrame; });
}

std::unique_ptr<FakeCaptureSource> FakeCaptureSource::FromFile(const std::string& path, int channel,
                                                               size_t blockFrames,
                                                               std::vector<InjectedLoss> losses) {
    AudioFile file(path);
    std::vector<double> samples;
    std::vector<double> block(65536);
    while (const size_t count = file.Read(channel - 1, block.data(), block.size()))
        samples.insert(samples.end(), block.begin(), block.begin() + static_cast<long>(count));
    return std::make_unique<FakeCaptureSource>(std::move(samples), file.SampleRate(), blockFrames,
                                               std::move(losses), path);
}

CaptureChunk FakeCaptureSource::Read(double* out, size_t maxFrames, std::chrono::milliseconds) {
    CaptureChunk chunk;
    chunk.capturedAt = std::chrono::steady_clock::now();
    const auto end = static_cast<long long>(samples_.size());
    if (!running_ || position_ >= end) {
        chunk.ended = true;
        return chunk;
    }
    if (failAt_ >= 0 && position_ >= failAt_)
        throw CaptureError("capture device '" + name_ + "' stopped delivering audio (unplugged?)");
    // Losses that cover the reading position, each continuing where the previous one ends.
    for (const InjectedLoss& loss : losses_) {
        if (loss.atFrame > position_ || loss.atFrame + loss.frames <= position_) continue;
        const long long skipped = std::min(loss.atFrame + loss.frames, end) - position_;
        chunk.lostFrames += skipped;
        position_ += skipped;
    }
    // Samples up to the next loss, the end or the block's size.
    long long stop = std::min(end, position_ + static_cast<long long>(blockFrames_));
    stop = std::min(stop, position_ + static_cast<long long>(maxFrames));
    if (failAt_ >= 0 && failAt_ > position_) stop = std::min(stop, failAt_);
    for (const InjectedLoss& loss : losses_)
        if (loss.frames > 0 && loss.atFrame > position_) stop = std::min(stop, loss.atFrame);
    std::copy(samples_.begin() + position_, samples_.begin() + stop, out);
    chunk.frames = static_cast<size_t>(stop - position_);
    position_ = stop;
    return chunk;
}

}  // namespace wobblemeter
