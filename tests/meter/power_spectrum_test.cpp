// Power spectra of Hann-windowed, zero-padded blocks (a real block taken as a complex one of
// half the size), and the reading of a peak between bins.
#include "meter/dsp/power_spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <vector>

namespace wobblemeter {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// |sum of x[i] w[i] e^(-j 2 pi k i / size)|^2, w the Hann window of the block's length.
double DirectPower(const std::vector<double>& x, size_t size, size_t k) {
    const auto n = static_cast<double>(x.size());
    std::complex<double> sum = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(kTwoPi * static_cast<double>(i) / n);
        sum += x[i] * w *
               std::polar(1.0, -kTwoPi * static_cast<double>(k * i) / static_cast<double>(size));
    }
    return std::norm(sum);
}

// A cosine of amplitude a at the centre of bin k, Hann-windowed over the whole block of size
// points: |X[k]| = a size / 4, the neighbours half of it, nothing further out.
TEST(PowerSpectrum, CosineOnABinHasTheHannWindowsPowerThereAndBesideIt) {
    constexpr size_t kSize = 256;
    constexpr size_t kBin = 20;
    constexpr double kAmplitude = 0.5;
    PowerSpectrum spectrum(kSize);
    std::vector<double> x(kSize);
    for (size_t n = 0; n < kSize; ++n)
        x[n] = kAmplitude * std::cos(kTwoPi * kBin * static_cast<double>(n) / kSize);
    const std::vector<double>& power = spectrum(x.data(), x.size(), false);
    ASSERT_EQ(power.size(), kSize / 2 + 1);
    const double peak = std::pow(kAmplitude * kSize / 4.0, 2);
    EXPECT_NEAR(power[kBin], peak, peak * 1e-9);
    EXPECT_NEAR(power[kBin - 1], peak / 4.0, peak * 1e-9);
    EXPECT_NEAR(power[kBin + 1], peak / 4.0, peak * 1e-9);
    for (size_t k = 0; k < power.size(); ++k) {
        if (k + 1 < kBin || k > kBin + 1) {
            EXPECT_LT(power[k], peak * 1e-20) << "bin " << k;
        }
    }
}

TEST(PowerSpectrum, ShortBlocksOfAnyLengthAreWindowedOverTheirLengthAndZeroPadded) {
    // Lengths that are and are not multiples of four, in a transform of 512 points.
    PowerSpectrum spectrum(512);
    for (size_t n : {400u, 401u, 402u, 403u, 512u}) {
        std::vector<double> x(n);
        for (size_t i = 0; i < n; ++i)
            x[i] = 0.3 * std::cos(0.37 * static_cast<double>(i)) +
                   0.1 * std::sin(1.9 * static_cast<double>(i));
        const std::vector<double>& power = spectrum(x.data(), n, false);
        ASSERT_EQ(power.size(), 257u);
        const double scale = DirectPower(x, 512, 30);  // near the larger line
        for (size_t k = 0; k < power.size(); ++k)
            ASSERT_NEAR(power[k], DirectPower(x, 512, k), 1e-10 * scale) << n << " bin " << k;
    }
}

TEST(PowerSpectrum, RemovesTheBlocksMeanWhenAskedAndFloatsReadAsDoubles) {
    PowerSpectrum spectrum(64);
    std::vector<double> x(64);
    std::vector<float> f(64);
    for (size_t i = 0; i < x.size(); ++i) {
        f[i] =
            static_cast<float>(0.25 + 0.5 * std::cos(kTwoPi * 8.0 * static_cast<double>(i) / 64));
        x[i] = f[i];
    }
    // The Hann window sums to 32 over 64 points: a mean of 0.25 shows as (0.25 * 32)^2 at 0 Hz.
    EXPECT_NEAR(spectrum(x.data(), x.size(), false)[0], 64.0, 1e-5);  // the floats' rounding
    const std::vector<double> withMean = spectrum(f.data(), f.size(), false);
    EXPECT_NEAR(withMean[0], 64.0, 1e-5);
    const std::vector<double>& removed = spectrum(f.data(), f.size(), true);
    EXPECT_NEAR(removed[0], 0.0, 1e-9);
    EXPECT_NEAR(removed[8], withMean[8], 1e-9);
    EXPECT_NEAR(removed[8], 64.0, 1e-4);  // (0.5 * 64 / 4)^2
}

TEST(PowerSpectrum, HalfTheRateHoldsTheAlternatingPart) {
    // 0.25 + 0.5 (-1)^i over 64 points: (0.5 * 32)^2 in the last bin, (0.25 * 32)^2 in the first.
    PowerSpectrum spectrum(64);
    std::vector<double> x(64);
    for (size_t i = 0; i < x.size(); ++i) x[i] = 0.25 + (i % 2 == 0 ? 0.5 : -0.5);
    const std::vector<double>& power = spectrum(x.data(), x.size(), false);
    EXPECT_NEAR(power[32], 256.0, 1e-9);
    EXPECT_NEAR(power[0], 64.0, 1e-9);
    EXPECT_NEAR(power[16], 0.0, 1e-9);
}

TEST(PeakOffset, ReadsAGaussianPeakBetweenBinsExactly) {
    // A Gaussian peak at bin 10.3, of height 2: the parabola through the logarithms is exact.
    std::vector<double> p(20);
    for (size_t k = 0; k < p.size(); ++k)
        p[k] = 2.0 * std::exp(-std::pow(static_cast<double>(k) - 10.3, 2) / (2.0 * 1.5 * 1.5));
    const double offset = PeakOffset(p, 10);
    EXPECT_NEAR(offset, 0.3, 1e-12);
    EXPECT_NEAR(p[10] * PeakGain(p, 10, offset), 2.0, 1e-12);
    EXPECT_NEAR(PeakOffset(p, 11), -0.5, 1e-12);  // the far side: clamped to half a bin
    EXPECT_EQ(PeakGain(p, 10, 0.0), 1.0);
    // No neighbours, or a dip: no offset.
    EXPECT_EQ(PeakOffset(p, 0), 0.0);
    EXPECT_EQ(PeakOffset(p, 19), 0.0);
    EXPECT_EQ(PeakOffset({1.0, 0.5, 1.0}, 1), 0.0);
    EXPECT_EQ(PeakOffset({1.0, 0.0, 1.0}, 1), 0.0);
}

TEST(PeakOffset, APeakInTheLastBinHasNoOffsetWhateverLiesBeyondIt) {
    // A line at the top of the spectrum (the strongest at half the sample rate): the memory past
    // the last bin still holds a value that would make it a peak between bins, were it read.
    std::vector<double> rising = {1.0, 2.0, 4.0, 3.0};
    rising.pop_back();
    EXPECT_EQ(PeakOffset(rising, 2), 0.0);
}

TEST(NextPowerOfTwo, RoundsUpToAPowerOfTwo) {
    EXPECT_EQ(NextPowerOfTwo(0), 1u);
    EXPECT_EQ(NextPowerOfTwo(1), 1u);
    EXPECT_EQ(NextPowerOfTwo(5), 8u);
    EXPECT_EQ(NextPowerOfTwo(8), 8u);
    EXPECT_EQ(NextPowerOfTwo(17761), 32768u);
}

}  // namespace
}  // namespace wobblemeter
