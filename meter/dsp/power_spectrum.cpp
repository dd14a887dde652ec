// Hann-windowed power spectra through a half-size complex FFT, and peak interpolation.
#include "meter/dsp/power_spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace wobblemeter {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Rotating phasors are brought back to unit length this often, in steps.
constexpr size_t kRenormalise = 1024;

}  // namespace

size_t NextPowerOfTwo(size_t n) {
    size_t p = 1;
    while (p < n) p *= 2;
    return p;
}

PowerSpectrum::PowerSpectrum(size_t size)
    : size_(size), half_(size / 2), fft_(half_), power_(half_ + 1) {}

const std::vector<double>& PowerSpectrum::operator()(const double* x, size_t n, bool removeMean) {
    return Compute(x, n, removeMean);
}

const std::vector<double>& PowerSpectrum::operator()(const float* x, size_t n, bool removeMean) {
    return Compute(x, n, removeMean);
}

template <typename T>
const std::vector<double>& PowerSpectrum::Compute(const T* x, size_t n, bool removeMean) {
    const size_t size = size_, half = half_;
    std::complex<double>* in = fft_.Data();
    const std::complex<double>* out = in;
    double mean = 0.0;
    if (removeMean) {
        for (size_t i = 0; i < n; ++i) mean += static_cast<double>(x[i]);
        mean /= static_cast<double>(n);
    }
    // The window's first quarter, by a rotating unit phasor (the library's cosine per sample
    // would cost more than the transform); the rest follows from its symmetries,
    // w(n - i) = w(i) and w(n / 2 - i) = 1 - w(i).
    if (windowLength_ != n) {
        window_.resize(n / 4 + 1);
        const std::complex<double> step = std::polar(1.0, kTwoPi / static_cast<double>(n));
        std::complex<double> phase = 1.0;
        for (size_t i = 0; i < window_.size(); ++i) {
            window_[i] = 0.5 - 0.5 * phase.real();
            phase *= step;
            if (i % kRenormalise == kRenormalise - 1) phase /= std::abs(phase);
        }
        windowLength_ = n;
    }
    auto* flat = reinterpret_cast<double*>(in);
    if (n % 4 == 0) {
        const size_t quarter = n / 4;
        for (size_t i = 0; i < quarter; ++i) {
            flat[i] = (static_cast<double>(x[i]) - mean) * window_[i];
            flat[2 * quarter - i] =
                (static_cast<double>(x[2 * quarter - i]) - mean) * (1.0 - window_[i]);
            flat[2 * quarter + i] =
                (static_cast<double>(x[2 * quarter + i]) - mean) * (1.0 - window_[i]);
            flat[n - i - 1] = (static_cast<double>(x[n - i - 1]) - mean) * window_[i + 1];
        }
        flat[quarter] = (static_cast<double>(x[quarter]) - mean) * window_[quarter];
        flat[3 * quarter] = (static_cast<double>(x[3 * quarter]) - mean) * window_[quarter];
    } else {
        // Lengths that are no multiple of four: the cosine itself.
        for (size_t i = 0; i < n; ++i) {
            const double w =
                0.5 - 0.5 * std::cos(kTwoPi * static_cast<double>(i) / static_cast<double>(n));
            flat[i] = (static_cast<double>(x[i]) - mean) * w;
        }
    }
    std::fill(flat + n, flat + size, 0.0);
    fft_.Forward();
    // X[k] = E[k] + e^(-j 2 pi k / size) O[k], with E and O the transforms of the even and
    // odd samples: E[k] = (Z[k] + conj Z[half - k]) / 2, O[k] = -j (Z[k] - conj Z[half - k]) / 2.
    std::vector<double>& power = power_;
    power[0] = (out[0].real() + out[0].imag()) * (out[0].real() + out[0].imag());
    power[half] = (out[0].real() - out[0].imag()) * (out[0].real() - out[0].imag());
    const std::complex<double> twiddleStep = std::polar(1.0, -kTwoPi / static_cast<double>(size));
    std::complex<double> twiddle = twiddleStep;
    for (size_t k = 1; k < half; ++k) {
        const std::complex<double> a(out[k].real(), out[k].imag());
        const std::complex<double> b(out[half - k].real(), -out[half - k].imag());
        const std::complex<double> even = 0.5 * (a + b);
        const std::complex<double> odd = std::complex<double>(0.0, -0.5) * (a - b);
        power[k] = std::norm(even + twiddle * odd);
        twiddle *= twiddleStep;
        if (k % kRenormalise == 0) twiddle /= std::abs(twiddle);
    }
    return power;
}

double PeakOffset(const std::vector<double>& p, size_t k) {
    if (k == 0 || k + 1 >= p.size() || p[k - 1] <= 0.0 || p[k] <= 0.0 || p[k + 1] <= 0.0)
        return 0.0;
    const double a = std::log(p[k - 1]), b = std::log(p[k]), c = std::log(p[k + 1]);
    const double d = a - 2.0 * b + c;
    if (d >= 0.0) return 0.0;
    return std::clamp(0.5 * (a - c) / d, -0.5, 0.5);
}

double PeakGain(const std::vector<double>& p, size_t k, double offset) {
    if (offset == 0.0) return 1.0;
    return std::exp(0.25 * (std::log(p[k + 1]) - std::log(p[k - 1])) * offset);
}

}  // namespace wobblemeter
