// The weighting curve against its table, the band limit, and the decimation filters.
#include "meter/weighting.h"

#include <gtest/gtest.h>

#include <cmath>

#include "meter/dsp.h"

namespace wobblemeter {
namespace {

double Db(std::complex<double> h) {
    return 20.0 * std::log10(std::abs(h));
}

// Baseband rates the meter runs its filters at: 8 kHz, 44.1 kHz, 48 kHz and 32 kHz inputs.
constexpr double kRates[] = {4000.0, 5512.5, 6000.0, 7999.0, 8000.0};

TEST(WeightingFilter, MatchesTheTableAtEveryPoint) {
    for (double rate : kRates) {
        const BiquadCascade filter = MakeWeightingFilter(rate);
        for (const WeightingPoint& point : kWeightingTable) {
            const bool core = point.hz >= 0.4 && point.hz <= 100.0;
            EXPECT_NEAR(Db(filter.Response(point.hz, rate)), point.db, core ? 0.25 : 1.0)
                << point.hz << " Hz at " << rate << " Hz";
        }
        EXPECT_NEAR(Db(filter.Response(4.0, rate)), 0.0, 1e-9);
    }
}

TEST(WeightingFilter, DigitalFollowsTheAnalogPrototype) {
    for (double hz : {0.1, 1.0, 4.0, 20.0, 100.0}) {
        EXPECT_NEAR(Db(MakeWeightingFilter(4000.0).Response(hz, 4000.0)), AnalogWeightingDb(hz),
                    0.05)
            << hz;
    }
}

TEST(BandLimitFilter, PassesFourHertzAndHalvesPowerAtItsEdges) {
    for (double rate : kRates) {
        const BiquadCascade filter = MakeBandLimitFilter(rate);
        EXPECT_NEAR(Db(filter.Response(4.0, rate)), 0.0, 0.002) << rate;
        EXPECT_NEAR(Db(filter.Response(0.5, rate)), -3.01, 0.05) << rate;
        EXPECT_NEAR(Db(filter.Response(200.0, rate)), -3.01, 0.3) << rate;
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
        if (decimator.Push(x, out)) outputs.push_back(out);
    }
    // Windows ending at the 2nd, 4th and 6th input: (0,4,8), (8,0,4), (4,4,4).
    EXPECT_EQ(outputs, (std::vector<double>{4.0, 3.0, 4.0}));
}

}  // namespace
}  // namespace wobblemeter
