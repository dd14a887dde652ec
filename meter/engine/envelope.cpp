// Minimum and maximum over stretches that double in length as the input goes on.
#include "meter/engine/envelope.h"

#include <algorithm>
#include <cmath>

namespace wobblemeter {

namespace {

// Minimum and maximum that pass over NaN (no value).
float Lower(float a, float b) {
    return std::isnan(a) ? b : std::isnan(b) ? a : std::min(a, b);
}
float Higher(float a, float b) {
    return std::isnan(a) ? b : std::isnan(b) ? a : std::max(a, b);
}

}  // namespace

EnvelopeBuilder::EnvelopeBuilder(size_t samplesPerStretch)
    : per_(std::max<size_t>(1, samplesPerStretch)) {}

void EnvelopeBuilder::Push(double v) {
    const auto f = static_cast<float>(v);
    if (fill_ == 0) {
        low_.push_back(f);
        high_.push_back(f);
    } else {
        low_.back() = Lower(low_.back(), f);
        high_.back() = Higher(high_.back(), f);
    }
    if (++fill_ == per_) {
        fill_ = 0;
        if (low_.size() == kEnvelopeStretches) Halve();
    }
}

Envelope EnvelopeBuilder::Read(double startSeconds, double sampleRate, double scale) const {
    Envelope e;
    e.startSeconds = startSeconds;
    e.stretchSeconds = static_cast<double>(per_) / sampleRate;
    e.low.reserve(low_.size());
    e.high.reserve(high_.size());
    for (size_t i = 0; i < low_.size(); ++i) {
        e.low.push_back(static_cast<float>(low_[i] * scale));
        e.high.push_back(static_cast<float>(high_[i] * scale));
    }
    return e;
}

void EnvelopeBuilder::Halve() {
    for (size_t i = 0; i < low_.size() / 2; ++i) {
        low_[i] = Lower(low_[2 * i], low_[2 * i + 1]);
        high_[i] = Higher(high_[2 * i], high_[2 * i + 1]);
    }
    low_.resize(low_.size() / 2);
    high_.resize(high_.size() / 2);
    per_ *= 2;
}

}  // namespace wobblemeter
