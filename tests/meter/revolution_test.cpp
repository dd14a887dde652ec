// The turntable view: the fold of a known once-per-revolution swing, what remains without it,
// the names of lines at the rotation rate, and the platter speeds.
#include "meter/engine/revolution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace wobblemeter {
namespace {

constexpr double kRate = 6000.0;  // 48 kHz input
constexpr double kTwoPi = 2.0 * std::numbers::pi;

TEST(RevolutionFold, FindsTheOncePerRevolutionSwingItsSizeAndAngle) {
    // A 33 1/3 rpm platter 0.3 % fast with an off-centre record: 2.1 Hz peak once per
    // revolution, its peak at 100 degrees, and flutter at 7.3 Hz that does not repeat with the
    // platter. The first 3 s turn the platter but are not counted.
    const double rotation = RotationHz(100.0 / 3.0, 1.003);
    const double peakAngle = 100.0 * std::numbers::pi / 180.0;
    RevolutionFold fold(kRate, rotation, 72);
    RevolutionFold coarse(kRate, rotation, 8);  // bins of 45 degrees
    for (int n = 0; n < static_cast<int>(40.0 * kRate); ++n) {
        const double t = n / kRate;
        const double u = 2.1 * std::cos(kTwoPi * rotation * t - peakAngle) +
                         0.8 * std::sin(kTwoPi * 7.3 * t) + (t < 3.0 ? 50.0 : 0.0);
        fold.Push(u, t >= 3.0);
        coarse.Push(u, t >= 3.0);
    }
    EXPECT_NEAR(fold.Revolutions(), 37.0 * rotation, 1e-3);
    ASSERT_TRUE(fold.Complete());
    const std::complex<double> once = fold.OncePerRevolution();
    EXPECT_NEAR(std::abs(once), 2.1, 0.01);
    EXPECT_NEAR(std::arg(once), peakAngle, 0.005);
    // Coarse bins average the swing down (by 2.6 % at 45 degrees); the reading does not.
    EXPECT_NEAR(std::abs(coarse.OncePerRevolution()), 2.1, 0.01);
    // Each bin: the swing averaged over its 5 degrees, and hardly anything else.
    const std::vector<double> mean = fold.Mean();
    const std::vector<double> rest = fold.Remainder();
    ASSERT_EQ(mean.size(), 72u);
    ASSERT_EQ(rest.size(), 72u);
    const double binGain = std::sin(std::numbers::pi / 72.0) / (std::numbers::pi / 72.0);
    for (size_t k = 0; k < mean.size(); ++k) {
        const double angle = kTwoPi * (static_cast<double>(k) + 0.5) / 72.0;
        EXPECT_NEAR(mean[k], 2.1 * binGain * std::cos(angle - peakAngle), 0.1) << k;
        EXPECT_NEAR(rest[k], 0.0, 0.1) << k;
    }
    // What remains is the flutter: 0.8 / sqrt 2 RMS.
    EXPECT_NEAR(fold.RemainingRms(), 0.8 / std::sqrt(2.0), 0.01);
}

TEST(RevolutionFold, ReadsNothingUntilEveryAngleHasBeenSeen) {
    RevolutionFold fold(kRate, 45.0 / 60.0, 36);
    for (int n = 0; n < static_cast<int>(0.9 * kRate / 0.75); ++n) fold.Push(1.0, true);
    EXPECT_FALSE(fold.Complete());
    EXPECT_EQ(fold.OncePerRevolution(), std::complex<double>(0.0));
    for (int n = 0; n < static_cast<int>(0.2 * kRate / 0.75); ++n) fold.Push(1.0, true);
    EXPECT_TRUE(fold.Complete());
    EXPECT_NEAR(std::abs(fold.OncePerRevolution()), 0.0, 1e-9);  // a constant has no swing
}

TEST(RevolutionFold, FollowsAPlatterWhoseSpeedDrifts) {
    // 45 rpm nominal, the platter speeding up from nominal to 2 % fast over 60 s: at the
    // nominal rate alone the fold would slip by almost half a revolution and smear the swing; told
    // the speed, it stays on it. Over 10.3 revolutions and a constant offset the fit still takes
    // the swing alone.
    const double nominal = RotationHz(45.0, 1.0);
    RevolutionFold followed(kRate, nominal, 72), blind(kRate, nominal, 72), part(kRate, nominal);
    double angle = 0.0;
    for (int n = 0; n < static_cast<int>(60.0 * kRate); ++n) {
        const double speed = 1.0 + 0.02 * n / (60.0 * kRate);
        const double u = 1.5 * std::cos(kTwoPi * angle - 2.0);
        followed.Push(u, true, speed);
        blind.Push(u, true);
        if (angle < 10.3) part.Push(u + 0.7, true, speed);
        angle += nominal * speed / kRate;
    }
    EXPECT_NEAR(followed.Revolutions(), angle, 1e-6);
    EXPECT_NEAR(std::abs(followed.OncePerRevolution()), 1.5, 1e-3);
    EXPECT_NEAR(std::arg(followed.OncePerRevolution()), 2.0, 1e-3);
    EXPECT_NEAR(followed.RemainingRms(), 0.0, 1e-3);
    EXPECT_LT(std::abs(blind.OncePerRevolution()), 1.4);
    EXPECT_NEAR(std::abs(part.OncePerRevolution()), 1.5, 1e-6);
    EXPECT_NEAR(part.RemainingRms(), 0.7, 1e-6);  // the constant is no part of the swing
}

TEST(RevolutionLines, NameTheRotationRateAndItsHarmonics) {
    const double rotation = RotationHz(100.0 / 3.0, 1.0);  // 0.5556 Hz
    constexpr double kTolerance = 0.05;                    // two bins of a 20 s spectrum
    EXPECT_EQ(RevolutionHarmonic(0.5556, rotation, kTolerance), 1);
    EXPECT_EQ(RevolutionHarmonic(1.1, rotation, kTolerance), 2);
    EXPECT_EQ(RevolutionHarmonic(3.36, rotation, kTolerance), 6);
    EXPECT_EQ(RevolutionHarmonic(4.0, rotation, kTolerance), 0);  // 7.2 revolutions
    EXPECT_EQ(RevolutionHarmonic(0.3, rotation, kTolerance), 0);  // below the rotation
    EXPECT_EQ(RevolutionHarmonic(0.5556, 0.0, kTolerance), 0);
    EXPECT_EQ(RevolutionHarmonicName(1), "once per revolution");
    EXPECT_EQ(RevolutionHarmonicName(2), "twice per revolution");
    EXPECT_EQ(RevolutionHarmonicName(6), "6 times per revolution");
}

TEST(PlatterRpm, TakesTheThreeSpeedsAndNothingElse) {
    for (const char* text : {"33.33", "33.3", "33", "33.333", "33.0", "33.330", "033.33"})
        EXPECT_EQ(ParsePlatterRpm(text), 100.0 / 3.0) << text;
    for (const char* text : {"45", "45.0", "45.", "045"}) EXPECT_EQ(ParsePlatterRpm(text), 45.0);
    for (const char* text : {"78", "78.00"}) EXPECT_EQ(ParsePlatterRpm(text), 78.0);
    // Near the names but none of them, other spellings of them, and no number at all.
    for (const char* text :
         {"",      "16",    "33.1", "33.34", "33.5", "33.3333", "33.33333", "33.2999", "44.9",
          "45.01", "78.26", "0x2D", "0x21",  "0X4E", " 45",     "45 ",      "\t78",    "45\n",
          "+45",   "4.5e1", "45e0", "45x",   "x45",  "inf",     "nan",      "1e400"})
        EXPECT_FALSE(ParsePlatterRpm(text).has_value()) << text;
    EXPECT_NEAR(RotationHz(45.0, 0.99), 0.7425, 1e-12);
}

}  // namespace
}  // namespace wobblemeter
