// Tone gate. Takes: the baseband (complex, interleaved, at the baseband rate), with each
// sample's input power and lost-input marks, block by block. Gives: each baseband sample again,
// margin samples later, marked usable where the tone stays within 20 dB of its reference
// throughout margin samples on both sides of it (next to a gap the filters' window straddles the
// step and the phase goes astray): the gate closes margin samples before the tone falls 20 dB
// and opens margin samples after it returns. Marked beyond the band where the tone, still
// strong (within 6 dB), steps outside the band the demodulator follows.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace wobblemeter {

struct GatedSample {
    std::complex<double> z;
    double power;  // input power over its span
    bool usable;
    bool beyond;  // the tone stood outside the pass band here
};

class ToneGate {
public:
    // reference: the level (|z|^2) the tone keeps; it counts as absent below a hundredth of it.
    // margin: baseband samples a gap spoils on either side; passHz / rate: the band followed.
    ToneGate(double reference, long long margin, double passHz, double basebandRate);

    // Gates n baseband samples (z interleaved: re, im, re, im ...); out receives the samples
    // that fell due, the first at index *first.
    void Push(const double* z, const double* power, const uint8_t* lost, size_t n,
              std::vector<GatedSample>& out, long long* first);
    // Baseband samples taken so far.
    long long Count() const { return index_; }
    // Over every sample after the warm-up: times the tone fell away (present, then absent),
    // and the power of the baseband and of the input.
    long long Falls() const { return falls_; }
    double ToneSquares() const { return toneSquares_; }
    double InputSquares() const { return inputSquares_; }

private:
    double absentBelow_;
    double strongAbove_;
    long long margin_;
    double cosPass_;  // cosine of the largest phase step within the band
    std::vector<GatedSample> ring_;
    long long index_ = 0;
    long long lastAbsent_;
    bool havePrevious_ = false;
    bool wasPresent_ = false;
    std::complex<double> previous_ = 0.0;
    long long falls_ = 0;
    double toneSquares_ = 0.0, inputSquares_ = 0.0;
};

}  // namespace wobblemeter
