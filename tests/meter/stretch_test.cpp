// One stretch of tone: frequency offsets through the filters into the readings once they have
// settled, bridged offsets kept in time but out of the readings, and the readings themselves.
#include "meter/engine/stretch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace wobblemeter {
namespace {

constexpr double kRate = 4000.0;  // baseband samples a second: settled after 12000
constexpr double kMixHz = 3150.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// 2 Hz above the mixing frequency, swinging 1 % of that (31.52 Hz) at 4 Hz.
double Offset(long long n) {
    return 2.0 + 31.52 * std::sin(kTwoPi * 4.0 * static_cast<double>(n) / kRate);
}

struct Count : StretchObserver {
    long long unsettled = 0, settled = 0, bridged = 0, decimated = 0;
    void Counted(double, bool s, const Deviation&) override { ++(s ? settled : unsettled); }
    void Bridged() override { ++bridged; }
    void Decimated(float) override { ++decimated; }
};

TEST(Stretch, SteadySwingReadsItsPeaksRmsSplitCarrierAndLine) {
    const StretchSetup setup = MakeStretchSetup(kRate, 0.0);
    Stretch s(0, setup, nullptr, 2.0);
    for (long long n = 0; n < 10 * 4000; ++n) s.Push(Offset(n), true);
    ASSERT_TRUE(s.Readable());
    EXPECT_EQ(s.Measured(), 40000 - 12000);
    MeterResult r;
    s.Read(kMixHz, 0.0, 3.0, r);
    EXPECT_DOUBLE_EQ(r.measuredSeconds, 7.0);
    EXPECT_DOUBLE_EQ(r.startSeconds, 3.0);
    EXPECT_NEAR(r.carrierHz, 3152.0, 1e-3);
    EXPECT_EQ(r.nominalHz, 3150.0);
    EXPECT_NEAR(r.speedErrorPercent, 0.0635, 1e-4);
    // Two-sigma of a sine: sin(0.95 pi / 2) of its peak; within the histogram's 0.05 %.
    EXPECT_NEAR(r.weightedPeakPercent, 0.99692, 0.0005);
    // The flat band's slow high-pass still carries the swing's start: 0.06 % low after 3 s.
    EXPECT_NEAR(r.unweightedPeakPercent, 0.99692, 0.001);
    EXPECT_NEAR(r.weightedRmsPercent, 0.70711, 0.0002);
    EXPECT_NEAR(r.unweightedRmsPercent, 0.70711, 0.0002);
    EXPECT_NEAR(r.weightedQuasiPeakPercent, 1.0, 0.001);
    EXPECT_NEAR(r.wowRmsPercent, 0.5, 0.001);
    EXPECT_NEAR(r.flutterRmsPercent, 0.5, 0.001);
    EXPECT_NEAR(r.modulationHz, 4.0, 0.001);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_NEAR(r.lines[0].percent, 1.0, 0.005);
    // The traces start where the readings do, in % of the carrier.
    EXPECT_DOUBLE_EQ(r.weighted.startSeconds, 3.0);
    ASSERT_FALSE(r.weighted.high.empty());
    EXPECT_NEAR(*std::max_element(r.weighted.high.begin(), r.weighted.high.end()), 1.0, 0.001);
    // A nominal given is kept.
    MeterResult given;
    s.Read(kMixHz, 3000.0, 3.0, given);
    EXPECT_NEAR(given.speedErrorPercent, 100.0 * 152.0 / 3000.0, 1e-3);
}

TEST(Stretch, FiltersStartSettledAtTheMeanOffsetGiven) {
    // A steady 2 Hz offset from a stretch that expects it reads no deviation at all.
    Stretch s(0, MakeStretchSetup(kRate, 0.0), nullptr, 2.0);
    for (long long n = 0; n < 9 * 4000; ++n) s.Push(2.0, true);
    EXPECT_LT(s.WeightedTwoSigmaHz(), 1e-9);
    EXPECT_LT(s.UnweightedTwoSigmaHz(), 1e-9);
    EXPECT_NEAR(s.MeanOffsetHz(), 2.0, 1e-12);
    EXPECT_NEAR(s.SlowOffsetHz(), 2.0, 1e-9);
    EXPECT_LT(s.DriftHz(), 1e-9);
}

TEST(Stretch, ReadingsWaitForTheFiltersAndBridgedOffsetsStayOutOfThem) {
    const StretchSetup setup = MakeStretchSetup(kRate, 0.0);
    Count count;
    Stretch s(100, setup, &count, 2.0);
    EXPECT_EQ(s.first, 100);
    EXPECT_TRUE(std::isnan(s.QuasiPeakHz()));
    EXPECT_TRUE(std::isnan(s.DriftHz()));
    // 5 s of readings after the 3 s of settling, less one sample: not yet readable.
    for (long long n = 0; n < 32000 - 1; ++n) s.Push(Offset(n), true);
    EXPECT_FALSE(s.Readable());
    s.Push(Offset(31999), true);
    EXPECT_TRUE(s.Readable());
    EXPECT_EQ(count.unsettled, 12000);
    EXPECT_EQ(count.settled, 20000);
    EXPECT_FALSE(std::isnan(s.QuasiPeakHz()));
    // The drift's readings start after 6 s.
    EXPECT_FALSE(std::isnan(s.DriftHz()));
    // A second bridged (as the demodulator fills a gap), swinging far wider: in time, out of
    // the readings.
    const double before = s.WeightedTwoSigmaHz(), quasiPeak = s.QuasiPeakHz();
    MeterResult r;
    s.Read(kMixHz, 0.0, 3.0, r);
    for (long long n = 32000; n < 36000; ++n) s.Push(5.0 * Offset(n), false);
    EXPECT_EQ(count.bridged, 4000);
    EXPECT_EQ(s.Measured(), 20000);
    EXPECT_EQ(s.WeightedTwoSigmaHz(), before);
    EXPECT_EQ(s.QuasiPeakHz(), quasiPeak);
    // The same in Hz: the percentages follow the mean frequency, which the longer span moves.
    MeterResult after;
    s.Read(kMixHz, 0.0, 3.0, after);
    const auto hz = [](const MeterResult& m, double percent) { return percent * m.carrierHz; };
    EXPECT_NEAR(hz(after, after.wowRmsPercent), hz(r, r.wowRmsPercent), 1e-9);
    EXPECT_NEAR(hz(after, after.flutterRmsPercent), hz(r, r.flutterRmsPercent), 1e-9);
    EXPECT_NEAR(hz(after, after.weightedRmsPercent), hz(r, r.weightedRmsPercent), 1e-9);
    // The spectrum's copy: every eighth offset, from the settled part on.
    EXPECT_EQ(count.decimated,
              36000 / kSpectrumDecimation - static_cast<long long>(setup.spectrumFirst));
}

TEST(Stretch, DriftCountsFromSixSecondsOn) {
    Stretch s(0, MakeStretchSetup(kRate, 0.0), nullptr, 2.0);
    for (long long n = 0; n < 6 * 4000; ++n) s.Push(Offset(n), true);
    EXPECT_TRUE(std::isnan(s.DriftHz()));
    s.Push(Offset(6 * 4000), true);
    EXPECT_FALSE(std::isnan(s.DriftHz()));
}

TEST(Stretch, RevolutionHarmonicsAreNamedWithinTwoBins) {
    // Bins of 0.025 Hz: 0.04 Hz off is within two of them, 0.06 Hz off is not.
    std::vector<SpectrumLine> lines = {
        {0.5556, 1.0}, {1.1111, 0.5}, {0.7, 0.2}, {1.7065, 0.1}, {2.2820, 0.1}};
    NameRevolutionHarmonics(lines, 0.5555, 0.025);
    EXPECT_EQ(lines[0].revolutionHarmonic, 1);
    EXPECT_EQ(lines[1].revolutionHarmonic, 2);
    EXPECT_EQ(lines[2].revolutionHarmonic, 0);
    EXPECT_EQ(lines[3].revolutionHarmonic, 3);
    EXPECT_EQ(lines[4].revolutionHarmonic, 0);
    // Without a platter speed nothing is named.
    std::vector<SpectrumLine> none = {{0.5555, 1.0}};
    NameRevolutionHarmonics(none, 0.0, 0.025);
    EXPECT_EQ(none[0].revolutionHarmonic, 0);
}

}  // namespace
}  // namespace wobblemeter
