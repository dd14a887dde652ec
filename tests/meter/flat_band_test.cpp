// The flat unweighted band against its tolerance and edges, its settling, and the spectrum's
// decimation filter.
#include "meter/dsp/flat_band.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace wobblemeter {
namespace {

double Db(double magnitude) {
    return 20.0 * std::log10(magnitude);
}

// Baseband rates: from 8 kHz, 44.1 kHz, 48 kHz inputs and the highest below 8 kHz.
constexpr double kRates[] = {4000.0, 5512.5, 6000.0, 7999.0};

TEST(FlatBand, WithinOnePercentOfItsFourHertzGainFromPointTwoToTwoHundredHertz) {
    for (double rate : kRates) {
        const BiquadCascade band = MakeFlatBandFilter(rate);
        EXPECT_NEAR(std::abs(band.Response(4.0, rate)), 1.0, 1e-9) << rate;
        for (double hz = 0.2; hz <= 200.0 * 1.0001; hz *= 1.002) {
            ASSERT_NEAR(std::abs(band.Response(hz, rate)), 1.0, 0.01) << hz << " Hz at " << rate;
        }
        for (double hz : {0.2, 0.8, 4.0, 20.0, 200.0})
            EXPECT_NEAR(std::abs(band.Response(hz, rate)), 1.0, 0.005) << hz << " Hz at " << rate;
    }
}

TEST(FlatBand, EdgesFallAsDocumented) {
    for (double rate : kRates) {
        SCOPED_TRACE(rate);
        const BiquadCascade band = MakeFlatBandFilter(rate);
        auto db = [&](double hz) { return Db(std::abs(band.Response(hz, rate))); };
        EXPECT_NEAR(db(0.1535), -3.0, 0.05);
        EXPECT_LT(db(0.098), -20.0);
        EXPECT_LT(db(0.0575), -40.0);
        EXPECT_LT(db(0.0328), -60.0);
        EXPECT_NEAR(db(219.5), -3.0, 0.1);
        EXPECT_LT(db(256.5), -20.0);
        EXPECT_LT(db(299.5), -40.0);
        for (double hz = 328.0; hz < rate / 2.0; hz += 1.0) ASSERT_LT(db(hz), -59.9) << hz;
    }
}

// Two-sigma of |x|: the level 95 % of the values stay at or below.
double TwoSigma(std::vector<double> values) {
    const auto rank = static_cast<std::ptrdiff_t>(0.95 * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + rank, values.end());
    return values[static_cast<size_t>(rank)];
}

TEST(FlatBand, SlowSinusoidAtAnyPhaseReadsItsSteadyTwoSigmaAfterThreeSeconds) {
    constexpr double kRate = 4000.0;
    for (double hz : {0.2, 0.3, 0.8}) {
        for (int phase = 0; phase < 8; ++phase) {
            BiquadCascade band = MakeFlatBandFilter(kRate);
            band.Settle(0.0);  // the mean
            std::vector<double> read;
            for (int n = 0; n < 30 * static_cast<int>(kRate); ++n) {
                const double t = n / kRate;
                const double y = band.Process(
                    std::sin(2.0 * std::numbers::pi * hz * t + std::numbers::pi * phase / 4.0));
                if (t >= 3.0) read.push_back(std::fabs(y));
            }
            const double steady = 0.99692 * std::abs(band.Response(hz, kRate));
            EXPECT_NEAR(TwoSigma(read), steady, 0.005 * steady) << hz << " Hz, phase " << phase;
        }
    }
}

// Amplitude of the component at cycles per sample of x, by least squares over whole cycles.
double Amplitude(const std::vector<double>& x, double cyclesPerSample) {
    double c = 0.0, s = 0.0;
    for (size_t n = 0; n < x.size(); ++n) {
        c += x[n] * std::cos(2.0 * std::numbers::pi * cyclesPerSample * static_cast<double>(n));
        s += x[n] * std::sin(2.0 * std::numbers::pi * cyclesPerSample * static_cast<double>(n));
    }
    return 2.0 * std::hypot(c, s) / static_cast<double>(x.size());
}

TEST(SpectrumDecimation, KeepsTwoHundredHertzWholeAndRejectsWhatWouldFoldOntoIt) {
    for (double baseband : kRates) {
        SCOPED_TRACE(baseband);
        const SpectrumDecimation d = DesignSpectrumDecimation(baseband);
        EXPECT_EQ(d.factor, 8);
        EXPECT_DOUBLE_EQ(d.rate, baseband / 8.0);
        for (double hz = 0.0; hz <= 210.0; hz += 0.5)
            ASSERT_NEAR(FirMagnitude(d.taps, hz / baseband), 1.0, 1e-4) << hz;
        for (double hz = d.rate - 210.0; hz <= baseband / 2.0; hz += 0.5)
            ASSERT_LT(Db(FirMagnitude(d.taps, hz / baseband)), -90.0) << hz;

        // A line at 200 Hz through the decimator keeps its size.
        RealDecimator decimator(d.taps, d.factor);
        std::vector<double> out;
        for (int n = 0; n < static_cast<int>(20 * baseband); ++n) {
            double y = 0.0;
            if (decimator.Process(std::sin(2.0 * std::numbers::pi * 200.0 * n / baseband), y) &&
                n > static_cast<int>(d.taps.size()))
                out.push_back(y);
        }
        out.resize(static_cast<size_t>(10 * d.rate));  // whole cycles of 200 Hz
        EXPECT_NEAR(Amplitude(out, 200.0 / d.rate), 1.0, 1e-3);
    }
}

}  // namespace
}  // namespace wobblemeter
