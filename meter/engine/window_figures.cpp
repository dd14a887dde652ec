// Quasi-peak, wow and flutter over the window, block by block.
#include "meter/engine/window_figures.h"

#include <algorithm>
#include <cmath>

namespace wobblemeter {

namespace {

// Length of a block, s.
constexpr double kBlockSeconds = 0.01;

}  // namespace

WindowFigures::WindowFigures(size_t length, double rate)
    : blockLength_(std::max<size_t>(1, static_cast<size_t>(std::lround(kBlockSeconds * rate)))),
      // Whole blocks that hold the window, and the one being filled.
      blocks_((std::max<size_t>(1, length) + blockLength_ - 1) / blockLength_ + 1) {}

void WindowFigures::Advance() {
    if (++filled_ < blockLength_) return;
    filled_ = 0;
    current_ = current_ + 1 == blocks_.size() ? 0 : current_ + 1;
    blocks_[current_] = Block{};
}

void WindowFigures::Push(double quasiPeak, double wow, double flutter) {
    Block& b = blocks_[current_];
    b.wowSquares += wow * wow;
    b.flutterSquares += flutter * flutter;
    b.quasiPeak = b.counted == 0 ? quasiPeak : std::max(b.quasiPeak, quasiPeak);
    ++b.counted;
    Advance();
}

void WindowFigures::Skip() {
    Advance();
}

void WindowFigures::Clear() {
    std::fill(blocks_.begin(), blocks_.end(), Block{});
    current_ = filled_ = 0;
}

double WindowFigures::QuasiPeak() const {
    double highest = 0.0;
    for (const Block& b : blocks_)
        if (b.counted > 0) highest = std::max(highest, b.quasiPeak);
    return highest;
}

double WindowFigures::WowRms() const {
    double squares = 0.0;
    size_t counted = 0;
    for (const Block& b : blocks_) {
        squares += b.wowSquares;
        counted += b.counted;
    }
    return counted > 0 ? std::sqrt(squares / static_cast<double>(counted)) : 0.0;
}

double WindowFigures::FlutterRms() const {
    double squares = 0.0;
    size_t counted = 0;
    for (const Block& b : blocks_) {
        squares += b.flutterSquares;
        counted += b.counted;
    }
    return counted > 0 ? std::sqrt(squares / static_cast<double>(counted)) : 0.0;
}

}  // namespace wobblemeter
