// FIR design and filtering, and biquads from analog prototypes, for the meter's chain.
#include "meter/dsp/dsp.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace wobblemeter {

namespace {

// Modified Bessel function of the first kind, order 0, by its power series.
double BesselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 200 && term > sum * 1e-17; ++k) {
        term *= q / (static_cast<double>(k) * static_cast<double>(k));
        sum += term;
    }
    return sum;
}

// Two doubles side by side (the real and imaginary part of a sample), for arithmetic on both
// at once. Aligned to 16 bytes: the samples live in a std::vector<double>, whose storage
// operator new aligns to at least that, at even positions. (A smaller alignment on the type
// would not reach the templates below: clang drops it from a template argument.)
typedef double Pair __attribute__((vector_size(16), may_alias));
// WebAssembly's operator new aligns to 8 only, but its loads and stores take any address (a
// misaligned one is only slower), and without SIMD the pairs are two scalar doubles there.
#ifndef __wasm__
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= alignof(Pair));
#endif

// Dot product of a window of n samples with n symmetric taps: pairs of samples that share a
// tap are added first, in four running sums so that it pipelines.
template <typename T>
T SymmetricDot(const T* x, const double* taps, size_t n) {
    T s0 = {}, s1 = {}, s2 = {}, s3 = {};
    const size_t half = n / 2;
    const T* back = x + n - 1;
    size_t i = 0;
    for (; i + 4 <= half; i += 4) {
        s0 += taps[i] * (x[i] + back[-static_cast<std::ptrdiff_t>(i)]);
        s1 += taps[i + 1] * (x[i + 1] + back[-static_cast<std::ptrdiff_t>(i + 1)]);
        s2 += taps[i + 2] * (x[i + 2] + back[-static_cast<std::ptrdiff_t>(i + 2)]);
        s3 += taps[i + 3] * (x[i + 3] + back[-static_cast<std::ptrdiff_t>(i + 3)]);
    }
    for (; i < half; ++i) s0 += taps[i] * (x[i] + back[-static_cast<std::ptrdiff_t>(i)]);
    if (n % 2 == 1) s1 += taps[half] * x[half];
    return (s0 + s1) + (s2 + s3);
}

#if defined(__x86_64__)
// Four doubles: two complex samples side by side; unaligned loads are allowed.
typedef double Quad __attribute__((vector_size(32), aligned(8), may_alias));

// The two complex samples of a quad in the other order (GCC 12 and clang both take this
// builtin; GCC's own __builtin_shuffle is not clang's).
__attribute__((target("avx"))) inline Quad SwapSamples(Quad q) {
    return __builtin_shufflevector(q, q, 2, 3, 0, 1);
}

// SymmetricDot of complex samples with AVX, two taps at a time: quads holds each pair of
// taps of the first half spread over four doubles (t0 t0 t1 t1).
__attribute__((target("avx"))) Pair SymmetricDotAvx(const Pair* x, const double* quads,
                                                    const double* taps, size_t n) {
    Quad s0 = {}, s1 = {};
    const size_t half = n / 2;
    const auto* front = reinterpret_cast<const double*>(x);
    const auto* back = reinterpret_cast<const double*>(x + n - 2);
    size_t i = 0;
    for (; i + 4 <= half; i += 4) {
        const Quad a = *reinterpret_cast<const Quad*>(front + 2 * i);
        const Quad b =
            SwapSamples(*reinterpret_cast<const Quad*>(back - 2 * static_cast<std::ptrdiff_t>(i)));
        const Quad c = *reinterpret_cast<const Quad*>(front + 2 * i + 4);
        const Quad d = SwapSamples(
            *reinterpret_cast<const Quad*>(back - 2 * static_cast<std::ptrdiff_t>(i) - 4));
        s0 += *reinterpret_cast<const Quad*>(quads + 2 * i) * (a + b);
        s1 += *reinterpret_cast<const Quad*>(quads + 2 * i + 4) * (c + d);
    }
    Pair rest = {};
    for (; i < half; ++i) rest += taps[i] * (x[i] + x[n - 1 - i]);
    if (n % 2 == 1) rest += taps[half] * x[half];
    const Quad s = s0 + s1;
    const Pair low = {s[0], s[1]}, high = {s[2], s[3]};
    return (low + high) + rest;
}
#endif

// The same for a half-band filter, whose taps at even positions of the first half are the
// only non-zero ones besides the centre: pairs holds those taps, in order.
template <typename T>
T HalfBandDot(const T* x, const std::vector<double>& pairs, double centre, size_t n) {
    T s0 = {}, s1 = centre * x[n / 2];
    const T* back = x + n - 1;
    size_t k = 0;
    for (; k + 2 <= pairs.size(); k += 2) {
        s0 += pairs[k] * (x[2 * k] + back[-static_cast<std::ptrdiff_t>(2 * k)]);
        s1 += pairs[k + 1] * (x[2 * k + 2] + back[-static_cast<std::ptrdiff_t>(2 * k + 2)]);
    }
    if (k < pairs.size()) s0 += pairs[k] * (x[2 * k] + back[-static_cast<std::ptrdiff_t>(2 * k)]);
    return s0 + s1;
}

// The taps at even positions of the first half when the filter is a half-band one (odd length,
// every other tap numerically zero, centre at an odd position); otherwise an empty list.
std::vector<double> HalfBandPairs(const std::vector<double>& taps) {
    const size_t n = taps.size();
    if (n < 3 || n % 2 == 0 || (n / 2) % 2 == 0) return {};
    double largest = 0.0;
    for (double t : taps) largest = std::max(largest, std::fabs(t));
    std::vector<double> pairs;
    for (size_t i = 0; i < n / 2; ++i) {
        if (i % 2 == 0) {
            pairs.push_back(taps[i]);
        } else if (std::fabs(taps[i]) > 1e-12 * largest) {
            return {};
        }
    }
    return pairs;
}

}  // namespace

std::vector<double> DesignLowPass(double passEdge, double stopEdge, double attenuationDb) {
    const double width = stopEdge - passEdge;
    const double cutoff = 0.5 * (passEdge + stopEdge);
    double beta = 0.0;
    if (attenuationDb > 50.0) {
        beta = 0.1102 * (attenuationDb - 8.7);
    } else if (attenuationDb > 21.0) {
        beta = 0.5842 * std::pow(attenuationDb - 21.0, 0.4) + 0.07886 * (attenuationDb - 21.0);
    }
    auto count = static_cast<size_t>(std::ceil((attenuationDb - 7.95) / (14.36 * width))) + 1;
    if (count % 2 == 0) ++count;
    const double middle = static_cast<double>(count - 1) / 2.0;
    std::vector<double> taps(count);
    double sum = 0.0;
    for (size_t n = 0; n < count; ++n) {
        const double t = static_cast<double>(n) - middle;
        const double arg = 2.0 * cutoff * t;
        const double sinc =
            t == 0.0 ? 1.0 : std::sin(std::numbers::pi * arg) / (std::numbers::pi * arg);
        const double r = middle > 0.0 ? t / middle : 0.0;
        const double window =
            BesselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / BesselI0(beta);
        taps[n] = sinc * window;
        sum += taps[n];
    }
    for (double& tap : taps) tap /= sum;
    return taps;
}

double FirMagnitude(const std::vector<double>& taps, double frequency) {
    std::complex<double> sum = 0.0;
    for (size_t n = 0; n < taps.size(); ++n) {
        sum +=
            taps[n] * std::polar(1.0, -2.0 * std::numbers::pi * frequency * static_cast<double>(n));
    }
    return std::abs(sum);
}

ComplexDecimator::ComplexDecimator(std::vector<double> taps, int factor)
    : taps_(std::move(taps)),
      halfBand_(HalfBandPairs(taps_)),
      z_(2 * (taps_.size() - 1), 0.0),
      factor_(static_cast<size_t>(factor)) {
#if defined(__x86_64__)
    if (halfBand_.empty() && __builtin_cpu_supports("avx")) {
        for (size_t i = 0; i + 1 < taps_.size() / 2; i += 2) {
            quads_.insert(quads_.end(), {taps_[i], taps_[i], taps_[i + 1], taps_[i + 1]});
        }
    }
#endif
}

void ComplexDecimator::Process(const double* z, size_t n, std::vector<double>& out) {
    const size_t length = taps_.size();
    const size_t history = length - 1;
    z_.insert(z_.end(), z, z + 2 * n);
    out.clear();
    // The output after new sample j is due when phase_ + j + 1 is a multiple of factor_; its
    // window is samples j ... j + history of z_.
    const double centre = taps_[length / 2];
    const auto* x = reinterpret_cast<const Pair*>(z_.data());
    for (size_t j = factor_ - 1 - phase_; j < n; j += factor_) {
        Pair y;
        if (!halfBand_.empty()) {
            y = HalfBandDot(x + j, halfBand_, centre, length);
#if defined(__x86_64__)
        } else if (!quads_.empty()) {
            y = SymmetricDotAvx(x + j, quads_.data(), taps_.data(), length);
#endif
        } else {
            y = SymmetricDot(x + j, taps_.data(), length);
        }
        out.push_back(y[0]);
        out.push_back(y[1]);
    }
    phase_ = (phase_ + n) % factor_;
    z_.erase(z_.begin(), z_.end() - static_cast<std::ptrdiff_t>(2 * history));
}

void ComplexDecimator::Process(const double* re, const double* im, size_t n,
                               std::vector<double>& outRe, std::vector<double>& outIm) {
    std::vector<double> z(2 * n);
    for (size_t i = 0; i < n; ++i) {
        z[2 * i] = re[i];
        z[2 * i + 1] = im[i];
    }
    Process(z.data(), n, split_);
    outRe.resize(split_.size() / 2);
    outIm.resize(split_.size() / 2);
    for (size_t i = 0; i < outRe.size(); ++i) {
        outRe[i] = split_[2 * i];
        outIm[i] = split_[2 * i + 1];
    }
}

RealDecimator::RealDecimator(std::vector<double> taps, int factor)
    : taps_(std::move(taps)), buffer_(2 * taps_.size(), 0.0), factor_(factor) {}

bool RealDecimator::Process(double x, double& out) {
    const size_t n = taps_.size();
    pos_ = pos_ == 0 ? n - 1 : pos_ - 1;
    buffer_[pos_] = buffer_[pos_ + n] = x;
    if (++phase_ < factor_) return false;
    phase_ = 0;
    out = SymmetricDot<double>(&buffer_[pos_], taps_.data(), n);
    return true;
}

Biquad::Biquad(AnalogQuadratic num, AnalogQuadratic den, double sampleRate) {
    // s (in Hz units) = K (1 - 1/z) / (1 + 1/z), then both sides times (1 + 1/z)^2.
    const double k = sampleRate / std::numbers::pi;
    const double k2 = k * k;
    const double a0 = den.c2 * k2 + den.c1 * k + den.c0;
    b0_ = (num.c2 * k2 + num.c1 * k + num.c0) / a0;
    b1_ = (2.0 * num.c0 - 2.0 * num.c2 * k2) / a0;
    b2_ = (num.c2 * k2 - num.c1 * k + num.c0) / a0;
    a1_ = (2.0 * den.c0 - 2.0 * den.c2 * k2) / a0;
    a2_ = (den.c2 * k2 - den.c1 * k + den.c0) / a0;
}

double Biquad::Settle(double x) {
    const double y = x * (b0_ + b1_ + b2_) / (1.0 + a1_ + a2_);
    s2_ = b2_ * x - a2_ * y;
    s1_ = b1_ * x - a1_ * y + s2_;
    return y;
}

std::complex<double> Biquad::Response(double frequency, double sampleRate) const {
    const std::complex<double> z1 =
        std::polar(1.0, -2.0 * std::numbers::pi * frequency / sampleRate);
    const std::complex<double> z2 = z1 * z1;
    return (b0_ + b1_ * z1 + b2_ * z2) / (1.0 + a1_ * z1 + a2_ * z2);
}

std::complex<double> BiquadCascade::Response(double frequency, double sampleRate) const {
    std::complex<double> h = 1.0;
    for (const Biquad& s : sections_) h *= s.Response(frequency, sampleRate);
    return h;
}

void BiquadCascade::Normalize(double frequency, double sampleRate) {
    if (!sections_.empty())
        sections_.front().Scale(1.0 / std::abs(Response(frequency, sampleRate)));
}

}  // namespace wobblemeter
