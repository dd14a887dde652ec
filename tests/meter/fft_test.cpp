// The FFT seam: the forward transform's sign, scale and bin order (the power spectrum built on it
// has its own file).
#include "meter/dsp/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <vector>

namespace wobblemeter {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kTolerance = 1e-9;

TEST(ComplexFft, ToneOnABinLandsWholeInThatBinUnscaled) {
    constexpr size_t kSize = 64;
    constexpr size_t kBin = 5;
    ComplexFft fft(kSize);
    ASSERT_EQ(fft.Size(), kSize);
    for (size_t n = 0; n < kSize; ++n)
        fft.Data()[n] = std::polar(1.0, kTwoPi * kBin * static_cast<double>(n) / kSize);
    fft.Forward();
    for (size_t k = 0; k < kSize; ++k) {
        const double expected = k == kBin ? static_cast<double>(kSize) : 0.0;
        EXPECT_NEAR(fft.Data()[k].real(), expected, kTolerance) << "bin " << k;
        EXPECT_NEAR(fft.Data()[k].imag(), 0.0, kTolerance) << "bin " << k;
    }
}

TEST(ComplexFft, DelayOfOneSampleTurnsEachBinBackByItsAngle) {
    constexpr size_t kSize = 16;
    ComplexFft fft(kSize);
    for (size_t n = 0; n < kSize; ++n) fft.Data()[n] = n == 1 ? 1.0 : 0.0;
    fft.Forward();
    for (size_t k = 0; k < kSize; ++k) {
        const std::complex<double> expected =
            std::polar(1.0, -kTwoPi * static_cast<double>(k) / kSize);
        EXPECT_NEAR(std::abs(fft.Data()[k] - expected), 0.0, kTolerance) << "bin " << k;
    }
}

TEST(ComplexFft, TransformsAgainOnTheSameBuffer) {
    ComplexFft fft(8);
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t n = 0; n < 8; ++n) fft.Data()[n] = 2.0;
        fft.Forward();
        EXPECT_NEAR(fft.Data()[0].real(), 16.0, kTolerance) << "pass " << pass;
        EXPECT_NEAR(std::abs(fft.Data()[3]), 0.0, kTolerance) << "pass " << pass;
    }
}

}  // namespace
}  // namespace wobblemeter
