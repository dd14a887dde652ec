// A fake capture device paced to a multiple of real time.
#include "tests/meter/paced_source.h"

#include <thread>
#include <utility>

namespace wobblemeter_test {

PacedSource::PacedSource(std::vector<double> samples, int rate, double speed, size_t blockFrames,
                         long long failAt)
    : fake_(std::move(samples), rate, blockFrames), rate_(rate), speed_(speed) {
    if (failAt >= 0) fake_.FailAt(failAt);
}

void PacedSource::Start() {
    fake_.Start();
    started_ = std::chrono::steady_clock::now();
}

wobblemeter::CaptureChunk PacedSource::Read(double* out, size_t maxFrames,
                                            std::chrono::milliseconds timeout) {
    // When the next block is due: what was delivered, in seconds of audio, over the speed.
    const auto due =
        started_ +
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(static_cast<double>(delivered_) / rate_ / speed_));
    if (due > std::chrono::steady_clock::now() + timeout) {
        std::this_thread::sleep_for(timeout);
        return {};
    }
    std::this_thread::sleep_until(due);
    wobblemeter::CaptureChunk chunk = fake_.Read(out, maxFrames, timeout);
    delivered_ += static_cast<long long>(chunk.frames) + chunk.lostFrames;
    return chunk;
}

}  // namespace wobblemeter_test
