// Spectrum of the deviation. Takes: the demodulated frequency offset (Hz) decimated to a few
// hundred values a second (the baseband rate over kSpectrumDecimationFactor), value by value.
// Gives: its Welch-averaged amplitude spectrum (peak Hz of each line; segments of 20 s, half
// overlapping, accumulated as they fill), its largest lines and the dominant modulation.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "meter/dsp/power_spectrum.h"
#include "meter/meter.h"

namespace wobblemeter {

// The spectrum from 0.1 to 200 Hz and its largest lines, in Hz of deviation.
struct SpectrumReading {
    std::vector<double> hz, amplitude;
    std::vector<SpectrumLine> lines;  // largest first
    double modulationHz = 0.0;        // NaN: no line stands out of the noise
};

// Reads the lines of an amplitude spectrum with bins binHz apart; a largest line under the
// floor, set by mixHz and the spectrum's median, is no modulation.
SpectrumReading ReadSpectrum(double binHz, const std::vector<double>& amplitude, double mixHz);

// Amplitude spectrum of one Hann-windowed segment of n values (its mean removed), zero-padded
// to twice the next power of two; returns the bins' spacing in Hz. transform keeps the
// transform for the next call.
double SegmentSpectrum(const float* x, size_t n, double rate,
                       std::unique_ptr<PowerSpectrum>& transform, std::vector<double>& amplitude);

class DeviationSpectrum {
public:
    explicit DeviationSpectrum(double rate);
    void Push(float value);
    size_t Count() const { return count_; }
    // The amplitude spectrum so far (peak amplitude of each line, in the values' unit); returns
    // the bins' spacing in Hz.
    double Read(std::vector<double>& amplitude) const;

private:
    void AddSegment();

    double rate_;
    size_t segment_;           // values per segment
    std::vector<float> held_;  // the values of the segment being filled
    size_t count_ = 0;
    int segments_ = 0;
    std::vector<double> sum_;
    std::unique_ptr<PowerSpectrum> spectrum_;
};

}  // namespace wobblemeter
