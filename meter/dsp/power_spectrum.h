// Power spectra of Hann-windowed blocks through our FFT (fft.h), and the reading of a peak
// between bins: the building block of the carrier search and of the deviation's spectrum.
// Takes: a block of up to size samples (any unit). Gives: size / 2 + 1 bins of power, unscaled
// (a cosine of amplitude a on a bin of a full block reads (a size / 4)^2), rate / size apart.
#pragma once

#include <cstddef>
#include <vector>

#include "meter/dsp/fft.h"

namespace wobblemeter {

// Smallest power of two at or above n (1 for 0).
size_t NextPowerOfTwo(size_t n);

// Power spectra of blocks of up to size samples, Hann-windowed and zero-padded to size points
// (a power of two, at least 2): size / 2 + 1 bins. The buffers and the plan serve every block.
// The real transform is taken as a complex one of half the size over the even and odd samples,
// then split: FFTW plans that several times faster than its real-input transform, and planning
// dominates short files.
class PowerSpectrum {
public:
    explicit PowerSpectrum(size_t size);
    PowerSpectrum(const PowerSpectrum&) = delete;
    PowerSpectrum& operator=(const PowerSpectrum&) = delete;

    size_t Size() const { return size_; }
    // Power of the block of n samples at x (n <= size), its mean removed first when asked;
    // valid until the next call.
    const std::vector<double>& operator()(const double* x, size_t n, bool removeMean);
    const std::vector<double>& operator()(const float* x, size_t n, bool removeMean);

private:
    template <typename T>
    const std::vector<double>& Compute(const T* x, size_t n, bool removeMean);

    size_t size_, half_;
    ComplexFft fft_;  // of half_ points, transformed in place
    std::vector<double> power_;
    std::vector<double> window_;  // Hann window of the last block length, its first half
    size_t windowLength_ = 0;
};

// Offset of a peak from bin k, in bins, from a parabola through the logarithms of its
// neighbours: exact for a Gaussian, close for a Hann window's main lobe.
double PeakOffset(const std::vector<double>& power, size_t k);

// Height of that parabola's top at the offset, as a factor on power[k].
double PeakGain(const std::vector<double>& power, size_t k, double offset);

}  // namespace wobblemeter
