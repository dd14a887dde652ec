// The tone gate: each baseband sample margin samples later, usable where the tone held within
// 20 dB of its reference over the margin on both sides, and marked where its phase stepped
// beyond the band followed.
#include "meter/engine/tone_gate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace wobblemeter {
namespace {

constexpr double kRate = 4000.0;  // baseband samples a second
constexpr double kPassHz = 400.0;
constexpr long long kMargin = 50;

// A tone at hz of baseband, n samples, at the level (dB from the reference 1) of level(i).
struct Baseband {
    std::vector<double> z, power;
    std::vector<uint8_t> lost;
};
template <typename Level>
Baseband Tone(size_t n, double hz, Level level) {
    Baseband b;
    for (size_t i = 0; i < n; ++i) {
        const double a = std::pow(10.0, level(i) / 20.0);
        const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / kRate;
        b.z.push_back(a * std::cos(phase));
        b.z.push_back(a * std::sin(phase));
        b.power.push_back(2.0 * a * a);
        b.lost.push_back(0);
    }
    return b;
}

// Gates b in blocks of block samples; returns every gated sample, its index its position.
std::vector<GatedSample> Gate(ToneGate& gate, const Baseband& b, size_t block = 64) {
    std::vector<GatedSample> all, out;
    const size_t n = b.power.size();
    for (size_t first = 0; first < n; first += block) {
        const size_t m = std::min(block, n - first);
        long long index = -1;
        gate.Push(&b.z[2 * first], &b.power[first], &b.lost[first], m, out, &index);
        if (!out.empty()) {
            // Outputs come in order, margin samples late, after a warm-up of margin samples.
            EXPECT_EQ(index, static_cast<long long>(all.size()) + kMargin);
        }
        all.insert(all.end(), out.begin(), out.end());
    }
    return all;
}

// How many gated samples from the third on (the first ones have no phase step before them) are
// marked beyond the band.
size_t Beyond(const std::vector<GatedSample>& g) {
    size_t n = 0;
    for (size_t i = 2; i < g.size(); ++i) n += g[i].beyond ? 1u : 0u;
    return n;
}

// Indices (of the input) of the first and last unusable gated sample; -1 when all are usable.
std::pair<long long, long long> Closed(const std::vector<GatedSample>& g) {
    long long first = -1, last = -1;
    for (size_t i = 0; i < g.size(); ++i) {
        if (g[i].usable) continue;
        if (first < 0) first = static_cast<long long>(i) + kMargin;
        last = static_cast<long long>(i) + kMargin;
    }
    return {first, last};
}

TEST(ToneGate, GivesEachSampleItsOwnValueAndPowerAtTheIndexItReports) {
    // A sample carrying its neighbour's value, or a zero at the start, is a phase step the tone
    // never took: the demodulator reads it as a jump of up to half the baseband rate.
    const Baseband b = Tone(400, 130.0, [](size_t i) { return -0.01 * static_cast<double>(i); });
    for (const size_t block : {size_t{1}, size_t{7}, size_t{400}}) {
        ToneGate gate(1.0, kMargin, kPassHz, kRate);
        const std::vector<GatedSample> gated = Gate(gate, b, block);
        ASSERT_EQ(gated.size(), 400u - 2 * kMargin) << block;
        for (size_t k = 0; k < gated.size(); ++k) {
            const size_t at = k + kMargin;
            ASSERT_EQ(gated[k].z, std::complex<double>(b.z[2 * at], b.z[2 * at + 1])) << k;
            ASSERT_EQ(gated[k].power, b.power[at]) << k;
        }
    }
}

TEST(ToneGate, ClosesAMarginBeforeAStepBelowMinusTwentyDecibelsAndOpensAMarginAfter) {
    // The tone falls by 20.5 dB from sample 1000 to 1099.
    const auto dip = [](double db) {
        return [db](size_t i) { return i >= 1000 && i < 1100 ? db : 0.0; };
    };
    ToneGate gate(1.0, kMargin, kPassHz, kRate);
    const std::vector<GatedSample> g = Gate(gate, Tone(3000, 100.0, dip(-20.5)));
    ASSERT_EQ(g.size(), 3000u - 2 * kMargin);
    EXPECT_EQ(Closed(g), std::make_pair(1000 - kMargin, 1099 + kMargin));
    EXPECT_EQ(gate.Falls(), 1);
    EXPECT_EQ(gate.Count(), 3000);
    // The samples come back in order: each turned by the tone's step from the one before.
    const std::complex<double> step = std::polar(1.0, 2.0 * std::numbers::pi * 100.0 / kRate);
    for (size_t i = 2; i < 900; ++i) {
        ASSERT_NEAR(std::abs(g[i].z - g[i - 1].z * step), 0.0, 1e-12) << i;
        ASSERT_DOUBLE_EQ(g[i].power, 2.0) << i;
    }
    // A step of 19.5 dB leaves the gate open.
    ToneGate open(1.0, kMargin, kPassHz, kRate);
    EXPECT_EQ(Closed(Gate(open, Tone(3000, 100.0, dip(-19.5)))), std::make_pair(-1LL, -1LL));
    EXPECT_EQ(open.Falls(), 0);
}

TEST(ToneGate, LostInputClosesItLikeAnAbsentTone) {
    Baseband b = Tone(2000, 100.0, [](size_t) { return 0.0; });
    b.lost[700] = 1;
    ToneGate gate(1.0, kMargin, kPassHz, kRate);
    EXPECT_EQ(Closed(Gate(gate, b, 333)), std::make_pair(700 - kMargin, 700 + kMargin));
    EXPECT_EQ(gate.Falls(), 1);
}

TEST(ToneGate, MarksPhaseStepsBeyondTheBandOnlyWhereTheToneIsStrong) {
    // 450 Hz lies beyond the band of 400 Hz; 350 Hz within it.
    const auto gated = [](double hz, double db) {
        ToneGate gate(1.0, kMargin, kPassHz, kRate);
        return Gate(gate, Tone(500, hz, [db](size_t) { return db; }));
    };
    EXPECT_EQ(Beyond(gated(350.0, 0.0)), 0u);
    EXPECT_EQ(Beyond(gated(450.0, 0.0)), 398u);
    // At -7 dB the step may be a drop-out's edge: not marked. At -5 dB it is the tone's own.
    EXPECT_EQ(Beyond(gated(450.0, -7.0)), 0u);
    EXPECT_EQ(Beyond(gated(450.0, -5.0)), 398u);
    // A step of more than a quarter turn (1500 Hz at 4000 Hz) is beyond any band.
    EXPECT_EQ(Beyond(gated(1500.0, 0.0)), 398u);
}

TEST(ToneGate, SumsThePowerOfTheBasebandAndTheInputAfterTheWarmUp) {
    ToneGate gate(1.0, kMargin, kPassHz, kRate);
    Gate(gate, Tone(1000, 100.0, [](size_t) { return -6.0; }));
    const double level = std::pow(10.0, -6.0 / 10.0);
    EXPECT_NEAR(gate.ToneSquares(), (1000 - kMargin) * level, 1e-9);
    EXPECT_NEAR(gate.InputSquares(), (1000 - kMargin) * 2.0 * level, 1e-9);
}

}  // namespace
}  // namespace wobblemeter
