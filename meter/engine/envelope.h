// Envelope of a deviation for the plot. Takes: values one by one (any unit, at a steady rate;
// NaN for none). Gives: their minimum and maximum over consecutive stretches of time, scaled, at
// most kEnvelopeStretches of them: the stretches double in length whenever they run out, so
// memory stays bounded however long the input.
#pragma once

#include <cstddef>
#include <vector>

#include "meter/meter.h"

namespace wobblemeter {

// Stretches of an envelope, at most.
constexpr size_t kEnvelopeStretches = 2048;

class EnvelopeBuilder {
public:
    // samplesPerStretch: the first stretches' length (values), at least 1.
    explicit EnvelopeBuilder(size_t samplesPerStretch);
    // Adds a value; NaN (no value) widens no stretch but takes its place in time.
    void Push(double v);
    // The envelope so far, its first stretch at startSeconds, values at sampleRate, scaled.
    Envelope Read(double startSeconds, double sampleRate, double scale) const;
    size_t Stretches() const { return low_.size(); }

private:
    void Halve();
    size_t per_;
    size_t fill_ = 0;
    std::vector<float> low_, high_;
};

}  // namespace wobblemeter
