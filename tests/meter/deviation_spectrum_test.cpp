// The deviation's spectrum: Welch-averaged amplitude (peak of each line) of half-overlapping
// 20 s segments, its largest lines read between bins, and the dominant modulation.
#include "meter/engine/deviation_spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace wobblemeter {
namespace {

constexpr double kRate = 500.0;  // values a second: segments of 16384 values, bins of 1/65.5 Hz
constexpr double kMixHz = 3150.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

SpectrumReading Read(const DeviationSpectrum& s) {
    std::vector<double> amplitude;
    const double binHz = s.Read(amplitude);
    return ReadSpectrum(binHz, amplitude, kMixHz);
}

TEST(DeviationSpectrum, LinesReadTheirFrequencyAndPeakAmplitudeLargestFirst) {
    // 60 s of 2 Hz at 4.1 Hz, 0.5 Hz at 31.7 Hz and 0.1 Hz at 150.3 Hz, on an offset of 7 Hz.
    DeviationSpectrum s(kRate);
    for (int n = 0; n < 60 * 500; ++n) {
        const double t = n / kRate;
        s.Push(static_cast<float>(7.0 + 2.0 * std::sin(kTwoPi * 4.1 * t) +
                                  0.5 * std::cos(kTwoPi * 31.7 * t) +
                                  0.1 * std::sin(kTwoPi * 150.3 * t + 1.0)));
    }
    EXPECT_EQ(s.Count(), 30000u);
    std::vector<double> amplitude;
    EXPECT_DOUBLE_EQ(s.Read(amplitude), 500.0 / 32768.0);
    const SpectrumReading r = Read(s);
    ASSERT_EQ(r.lines.size(), 3u);
    // Within a hundredth of a bin; the amplitude within 0.5 % (a Hann lobe read as a parabola).
    EXPECT_NEAR(r.lines[0].hz, 4.1, 2e-4);
    EXPECT_NEAR(r.lines[0].percent, 2.0, 0.01);
    EXPECT_NEAR(r.lines[1].hz, 31.7, 2e-4);
    EXPECT_NEAR(r.lines[1].percent, 0.5, 0.0025);
    EXPECT_NEAR(r.lines[2].hz, 150.3, 2e-4);
    EXPECT_NEAR(r.lines[2].percent, 0.1, 0.0005);
    EXPECT_DOUBLE_EQ(r.modulationHz, r.lines[0].hz);
    // The spectrum shown runs from 0.1 to 200 Hz; the offset's mean is no line.
    ASSERT_FALSE(r.hz.empty());
    EXPECT_GE(r.hz.front(), 0.1);
    EXPECT_LE(r.hz.back(), 200.0);
    EXPECT_GT(r.hz.back(), 199.98);
}

TEST(DeviationSpectrum, OfSevenLinesTheFiveLargestAreNamedLargestFirst) {
    // 60 s of seven swings, each well apart from the others, the smallest still above the
    // share of the largest that counts as a line.
    const double hz[] = {3.1, 7.3, 13.7, 21.1, 44.9, 87.5, 120.2};
    const double size[] = {0.3, 2.0, 0.6, 1.6, 0.4, 1.2, 0.9};
    DeviationSpectrum s(kRate);
    for (int n = 0; n < 60 * 500; ++n) {
        double x = 0.0;
        for (size_t i = 0; i < std::size(hz); ++i)
            x += size[i] * std::sin(kTwoPi * hz[i] * n / kRate);
        s.Push(static_cast<float>(x));
    }
    const SpectrumReading r = Read(s);
    ASSERT_EQ(r.lines.size(), 5u);
    const double largest[][2] = {{7.3, 2.0}, {21.1, 1.6}, {87.5, 1.2}, {120.2, 0.9}, {13.7, 0.6}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(r.lines[i].hz, largest[i][0], 2e-4) << i;
        EXPECT_NEAR(r.lines[i].percent, largest[i][1], 0.005 * largest[i][1]) << i;
    }
}

TEST(DeviationSpectrum, SpanShorterThanASegmentIsOneSegment) {
    // 8 s at 1 Hz, amplitude 3: one segment of 4000 values, padded to 8192 points.
    DeviationSpectrum s(kRate);
    for (int n = 0; n < 4000; ++n) s.Push(static_cast<float>(3.0 * std::sin(kTwoPi * n / kRate)));
    std::vector<double> amplitude;
    EXPECT_DOUBLE_EQ(s.Read(amplitude), 500.0 / 8192.0);
    const SpectrumReading r = Read(s);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_NEAR(r.lines[0].hz, 1.0, 0.001);
    EXPECT_NEAR(r.lines[0].percent, 3.0, 0.015);
}

TEST(DeviationSpectrum, NoiseAloneIsNoModulation) {
    // White noise of 0.01 Hz: no line stands three times over the median.
    std::mt19937 random(7);
    std::normal_distribution<float> gauss(0.0f, 0.01f);
    DeviationSpectrum s(kRate);
    for (int n = 0; n < 60 * 500; ++n) s.Push(gauss(random));
    const SpectrumReading r = Read(s);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_TRUE(std::isnan(r.modulationHz));
    // A line of 0.002 Hz in it (0.00006 % of the carrier): under the least modulation read.
    DeviationSpectrum weak(kRate);
    for (int n = 0; n < 60 * 500; ++n)
        weak.Push(static_cast<float>(0.002 * std::sin(kTwoPi * 4.0 * n / kRate)));
    EXPECT_TRUE(std::isnan(Read(weak).modulationHz));
    DeviationSpectrum strong(kRate);
    for (int n = 0; n < 60 * 500; ++n)
        strong.Push(static_cast<float>(0.004 * std::sin(kTwoPi * 4.0 * n / kRate)));
    EXPECT_NEAR(Read(strong).modulationHz, 4.0, 1e-3);
}

TEST(DeviationSpectrum, SegmentsHalfOverlap) {
    // 50 s: whole segments of 32.8 s start at 0 and 16.4 s. A line from 33 s on lies only in
    // the second, which starts half way through the first.
    DeviationSpectrum s(kRate);
    for (int n = 0; n < 50 * 500; ++n) {
        const double t = n / kRate;
        s.Push(static_cast<float>(t >= 33.0 ? std::sin(kTwoPi * 4.0 * t) : 0.0));
    }
    EXPECT_NEAR(Read(s).modulationHz, 4.0, 0.01);
}

TEST(ReadSpectrum, SideLobesAndNearbyPeaksAreNoLinesOfTheirOwn) {
    // Two lines 5 % apart: only the larger is named.
    DeviationSpectrum s(kRate);
    for (int n = 0; n < 60 * 500; ++n) {
        const double t = n / kRate;
        s.Push(static_cast<float>(1.0 * std::sin(kTwoPi * 20.0 * t) +
                                  0.3 * std::sin(kTwoPi * 21.0 * t)));
    }
    const SpectrumReading r = Read(s);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_NEAR(r.lines[0].hz, 20.0, 2e-4);
}

}  // namespace
}  // namespace wobblemeter
