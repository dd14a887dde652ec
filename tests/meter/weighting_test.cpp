// The weighting curve against its table, the band limit, and the decimation filters.
#include "meter/dsp/weighting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "meter/dsp/dsp.h"

namespace wobblemeter {
namespace {

double Db(std::complex<double> h) {
    return 20.0 * std::log10(std::abs(h));
}

// Baseband rates the meter runs its filters at: input rates of 8 to 384 kHz halved down to
// 4000 Hz or more (8 kHz, 44.1 kHz, 48 kHz and 32 kHz inputs; 15999 Hz, just under a
// halving), and the higher rates of the wider bands a swinging tone is followed in.
constexpr double kRates[] = {4000.0,  5512.5,  6000.0,   7999.5,  8000.0,
                             16000.0, 44100.0, 192000.0, 384000.0};
// Within 1 % (0.086 dB) of the table at each of its points.
constexpr double kTableToleranceDb = 0.086;

TEST(WeightingFilter, MatchesTheTableWithinOnePercentAtEveryPointAndRate) {
    for (double rate : kRates) {
        const BiquadCascade filter = MakeWeightingFilter(rate);
        for (const WeightingPoint& point : kWeightingTable) {
            EXPECT_NEAR(Db(filter.Response(point.hz, rate)), point.db, kTableToleranceDb)
                << point.hz << " Hz at " << rate << " Hz";
        }
        EXPECT_NEAR(Db(filter.Response(4.0, rate)), 0.0, 1e-6);  // rounding, at 384 kHz
    }
}

// The filter run sample by sample on sines gives the table's gain too: the amplitude of its
// settled output, by correlation with the input over whole periods, at the lowest rate, where
// the bilinear warping is largest.
TEST(WeightingFilter, SinesRunThroughItComeOutAtTheTablesGain) {
    constexpr double kRate = 4000.0;
    for (const WeightingPoint& point : kWeightingTable) {
        if (point.hz < 4.0) continue;  // the slow points would take minutes to settle
        BiquadCascade filter = MakeWeightingFilter(kRate);
        const double step = 2.0 * std::numbers::pi * point.hz / kRate;
        const int settle = static_cast<int>(10.0 * kRate);
        const int span =
            static_cast<int>(std::lround(std::ceil(2.0 * point.hz) * kRate / point.hz));
        double inPhase = 0.0, quadrature = 0.0;
        for (int n = 0; n < settle + span; ++n) {
            const double y = filter.Process(std::sin(step * n));
            if (n < settle) continue;
            inPhase += y * std::sin(step * n);
            quadrature += y * std::cos(step * n);
        }
        const double amplitude = 2.0 * std::hypot(inPhase, quadrature) / span;
        EXPECT_NEAR(Db(amplitude), point.db, kTableToleranceDb) << point.hz << " Hz";
    }
}

TEST(WeightingFilter, DigitalFollowsTheAnalogPrototype) {
    for (double hz : {0.1, 1.0, 4.0, 20.0, 100.0}) {
        EXPECT_NEAR(Db(MakeWeightingFilter(4000.0).Response(hz, 4000.0)), AnalogWeightingDb(hz),
                    0.05)
            << hz;
    }
}

TEST(Biquad, SettledHighPassGivesNoStepResponse) {
    BiquadCascade filter = MakeWeightingFilter(6000.0);
    filter.Settle(123.0);
    for (int i = 0; i < 1000; ++i) ASSERT_NEAR(filter.Process(123.0), 0.0, 1e-9) << i;
}

TEST(DesignLowPass, HalvingFilterKeepsThePassbandAndRejectsTheAliases) {
    const std::vector<double> taps = DesignLowPass(0.05, 0.45, 110.0);
    ASSERT_EQ(taps.size() % 2, 1u);
    for (size_t i = 0; i < taps.size(); ++i) EXPECT_DOUBLE_EQ(taps[i], taps[taps.size() - 1 - i]);
    for (double f = 0.0; f <= 0.05; f += 0.005) EXPECT_NEAR(FirMagnitude(taps, f), 1.0, 1e-4) << f;
    for (double f = 0.45; f <= 0.5; f += 0.0025) EXPECT_LT(Db(FirMagnitude(taps, f)), -100.0) << f;
}

TEST(RealDecimator, KeepsEveryFactorthOutputOfTheFilter) {
    const std::vector<double> taps = {0.25, 0.5, 0.25};
    RealDecimator decimator(taps, 2);
    std::vector<double> outputs;
    for (double x : {4.0, 8.0, 0.0, 4.0, 4.0, 4.0}) {
        double out = 0.0;
        if (decimator.Process(x, out)) outputs.push_back(out);
    }
    // Windows ending at the 2nd, 4th and 6th input: (0,4,8), (8,0,4), (4,4,4).
    EXPECT_EQ(outputs, (std::vector<double>{4.0, 3.0, 4.0}));
}

TEST(ComplexDecimator, BlocksOfAnySizeGiveTheDirectConvolution) {
    for (const std::vector<double>& taps :
         {DesignLowPass(0.05, 0.45, 110.0), DesignLowPass(0.05, 0.2, 60.0)}) {
        std::vector<double> re(1000), im(1000);
        for (size_t i = 0; i < re.size(); ++i) {
            re[i] = std::sin(0.37 * static_cast<double>(i * i % 101));
            im[i] = std::cos(0.11 * static_cast<double>(i % 17));
        }
        ComplexDecimator decimator(taps, 3);
        std::vector<double> gotRe, gotIm, outRe, outIm;
        size_t done = 0;
        for (size_t block :
             {size_t{1}, size_t{2}, size_t{7}, size_t{64}, size_t{5}, size_t{300}, size_t{621}}) {
            decimator.Process(&re[done], &im[done], block, outRe, outIm);
            gotRe.insert(gotRe.end(), outRe.begin(), outRe.end());
            gotIm.insert(gotIm.end(), outIm.begin(), outIm.end());
            done += block;
        }
        ASSERT_EQ(done, re.size());
        ASSERT_EQ(gotRe.size(), re.size() / 3);
        for (size_t k = 0; k < gotRe.size(); ++k) {
            const size_t last = 3 * k + 2;  // outputs after every third input
            double wantRe = 0.0, wantIm = 0.0;
            for (size_t t = 0; t < taps.size() && t <= last; ++t) {
                wantRe += taps[t] * re[last - t];
                wantIm += taps[t] * im[last - t];
            }
            ASSERT_NEAR(gotRe[k], wantRe, 1e-12) << k;
            ASSERT_NEAR(gotIm[k], wantIm, 1e-12) << k;
        }
    }
}

}  // namespace
}  // namespace wobblemeter
