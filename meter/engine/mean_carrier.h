// Mean frequency of a stretch. Takes: the demodulated frequency offset (Hz) decimated to a few
// hundred values a second, value by value, each marked valid unless a bridged gap reached its
// filter. Gives: the mean offset in Hz over whole periods of the dominant modulation (which a
// sinusoidal swing cannot bias) or, without one, Hann-weighted. The values are kept at full rate
// up to a cap; beyond it, pairs are averaged and the rate halves, so memory stays bounded
// however long the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wobblemeter {

class MeanCarrier {
public:
    // rate: of the values; cap: values held at most (even, at least 2).
    explicit MeanCarrier(double rate, size_t cap = size_t{1} << 19);
    void Push(float value, bool valid);
    size_t Count() const { return values_.size(); }
    // The mean offset; modulationHz is the dominant modulation (NaN: none).
    double Mean(double modulationHz) const;

private:
    void Halve();

    double rate_;
    size_t cap_;
    size_t pairing_ = 1;  // values averaged into each held one
    std::vector<float> values_;
    std::vector<uint8_t> valid_;
    // The held value being formed from pairing_ incoming ones.
    double partSum_ = 0.0, partValidSum_ = 0.0;
    size_t partCount_ = 0, partValid_ = 0;
};

}  // namespace wobblemeter
