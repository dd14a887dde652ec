// The demodulator: phase steps of the gated baseband into frequency offsets, drop-outs bridged
// without shifting what follows, long gaps ending the stretch.
#include "meter/engine/demodulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace wobblemeter {
namespace {

constexpr double kRate = 4000.0;  // baseband samples a second
constexpr double kPassHz = 400.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// What a stretch passes on, in order: every offset it takes, counted or bridged. Its filters
// settle at once (settle 0), so that bridged samples are reported too.
struct Record : StretchObserver {
    struct Slot {
        bool counted;
        double offsetHz;
    };
    std::vector<Slot> slots;
    std::vector<float> decimated;  // the spectrum's copy, which sees bridged offsets too
    void Counted(double offsetHz, bool, const Deviation&) override {
        slots.push_back({true, offsetHz});
    }
    void Bridged() override { slots.push_back({false, 0.0}); }
    void Decimated(float offsetHz) override { decimated.push_back(offsetHz); }
};

StretchSetup QuickSetup() {
    StretchSetup s = MakeStretchSetup(kRate, 0.0);
    s.settle = 0;
    s.spectrumFirst = s.spectrumTaps.size() / kSpectrumDecimation + 1;
    return s;
}

// Sample index of the baseband whose phase is phase(index); usable unless gap(index).
GatedSample At(const std::function<double(long long)>& phase, long long index, bool usable) {
    return {std::polar(0.5, phase(index)), 0.5, usable, false};
}

TEST(Demodulator, SteadyPhaseRampReadsItsFrequency) {
    Record record;
    Demodulator d(QuickSetup(), kPassHz, 100, [&](long long) { return &record; });
    const auto phase = [](long long n) { return kTwoPi * 123.25 * static_cast<double>(n) / kRate; };
    for (long long n = 10; n < 1010; ++n) d.Push(At(phase, n, true), n);
    // No step for the first sample: 999 offsets.
    ASSERT_EQ(record.slots.size(), 999u);
    for (const Record::Slot& s : record.slots) {
        ASSERT_TRUE(s.counted);
        ASSERT_NEAR(s.offsetHz, 123.25, 1e-9);
    }
    ASSERT_NE(d.Current(), nullptr);
    EXPECT_EQ(d.Current()->first, 10);
    EXPECT_EQ(d.Current()->last, 1009);
    EXPECT_EQ(d.Total().steps, 999);
    EXPECT_EQ(d.Total().present, 1000);
    EXPECT_EQ(d.Total().strays, 0);
    EXPECT_NEAR(d.Total().toneSquares, 250.0, 1e-9);
}

TEST(Demodulator, KnownFrequencyModulationReadsItsSwingStepByStep) {
    // -80 Hz of offset, swinging 60 Hz at 4 Hz: the phase, in turns, is
    // -80 t + 60 / (2 pi 4) (1 - cos 2 pi 4 t).
    const auto phase = [](long long n) {
        const double t = static_cast<double>(n) / kRate;
        return kTwoPi * (-80.0 * t + 60.0 / (kTwoPi * 4.0) * (1.0 - std::cos(kTwoPi * 4.0 * t)));
    };
    Record record;
    Demodulator d(QuickSetup(), kPassHz, 100, [&](long long) { return &record; });
    for (long long n = 0; n < 4000; ++n) d.Push(At(phase, n, true), n);
    ASSERT_EQ(record.slots.size(), 3999u);
    for (size_t j = 0; j < record.slots.size(); ++j) {
        const auto n = static_cast<long long>(j) + 1;
        const double expected = (phase(n) - phase(n - 1)) / kTwoPi * kRate;
        ASSERT_NEAR(record.slots[j].offsetHz, expected, 1e-9) << j;
    }
    // The swing's extremes: -80 +- 60 Hz, to within what the step's sampling leaves.
    double low = 1e9, high = -1e9;
    for (const Record::Slot& s : record.slots) {
        low = std::min(low, s.offsetHz);
        high = std::max(high, s.offsetHz);
    }
    EXPECT_NEAR(low, -140.0, 0.01);
    EXPECT_NEAR(high, -20.0, 0.01);
}

TEST(Demodulator, LaterSamplesKeepTheirPlaceAcrossManyDropOuts) {
    // A frequency ramp, 50 Hz + 0.01 Hz a sample, with 40 drop-outs of 1 ... 40 samples.
    const auto hz = [](double n) { return 50.0 + 0.01 * n; };
    const auto phase = [&](long long n) {
        const auto m = static_cast<double>(n);
        return kTwoPi / kRate * (50.0 * m + 0.01 * m * (m + 1.0) / 2.0);
    };
    std::vector<bool> usable(20000, true);
    for (int k = 1; k <= 40; ++k)
        for (int i = 0; i < k; ++i) usable[static_cast<size_t>(400 * k + i)] = false;
    Record record;
    Demodulator d(QuickSetup(), kPassHz, 100, [&](long long) { return &record; });
    for (long long n = 0; n < 20000; ++n) d.Push(At(phase, n, usable[static_cast<size_t>(n)]), n);
    EXPECT_EQ(d.Total().dropouts, 40);
    EXPECT_EQ(d.Total().falls, 40);
    EXPECT_EQ(d.Total().stops, 0);
    ASSERT_NE(d.Current(), nullptr);
    EXPECT_EQ(d.Current()->dropouts, 40);
    // One slot for every sample after the first, gaps included; slot j is sample j + 1, and its
    // offset that sample's step from the one before.
    ASSERT_EQ(record.slots.size(), 19999u);
    size_t bridged = 0;
    for (size_t j = 0; j < record.slots.size(); ++j) {
        const Record::Slot& s = record.slots[j];
        if (!s.counted) {
            ++bridged;
            continue;
        }
        ASSERT_NEAR(s.offsetHz, hz(static_cast<double>(j + 1)), 1e-6) << "slot " << j;
    }
    // Each gap and the sample after it (which has no step of its own) are bridged.
    EXPECT_EQ(bridged, 40u * 41u / 2u + 40u);
    EXPECT_EQ(d.Current()->Measured(), 19999 - static_cast<long long>(bridged));
    // A bridge is a straight line from the offset before the gap to the one after: over a ramp
    // the offsets the filters see are those of the ramp without gaps.
    Record whole;
    Demodulator unbroken(QuickSetup(), kPassHz, 100, [&](long long) { return &whole; });
    for (long long n = 0; n < 20000; ++n) unbroken.Push(At(phase, n, true), n);
    ASSERT_EQ(record.decimated.size(), whole.decimated.size());
    ASSERT_GT(record.decimated.size(), 2000u);
    for (size_t i = 0; i < whole.decimated.size(); ++i)
        ASSERT_NEAR(record.decimated[i], whole.decimated[i], 1e-4) << i;
}

TEST(Demodulator, GapLongerThanTheLongestDropOutEndsTheStretch) {
    const auto phase = [](long long n) { return kTwoPi * 20.0 * static_cast<double>(n) / kRate; };
    std::vector<long long> starts;
    std::vector<Record> records(2);
    Demodulator d(QuickSetup(), kPassHz, 10, [&](long long first) {
        starts.push_back(first);
        return &records[starts.size() - 1];
    });
    // 3000 samples, a gap of 11, then 1000: two stretches, the first one the best.
    for (long long n = 0; n < 4011; ++n) d.Push(At(phase, n, n < 3000 || n >= 3011), n);
    ASSERT_EQ(starts, (std::vector<long long>{0, 3011}));
    EXPECT_EQ(d.Total().stops, 1);
    EXPECT_EQ(d.Total().dropouts, 0);
    ASSERT_NE(d.Best(), nullptr);
    EXPECT_EQ(d.Best()->first, 0);
    EXPECT_EQ(d.Best()->last, 2999);
    EXPECT_EQ(d.Current()->first, 3011);
    // A gap of exactly the longest drop-out is bridged.
    Record one;
    Demodulator bridged(QuickSetup(), kPassHz, 10, [&](long long) { return &one; });
    for (long long n = 0; n < 2000; ++n) bridged.Push(At(phase, n, n < 1000 || n >= 1010), n);
    EXPECT_EQ(bridged.Total().stops, 0);
    EXPECT_EQ(bridged.Total().dropouts, 1);
    EXPECT_EQ(one.slots.size(), 1999u);
    bridged.End();
    EXPECT_EQ(bridged.Current(), nullptr);
    ASSERT_NE(bridged.Best(), nullptr);
    EXPECT_EQ(bridged.Best()->Measured(), 1999 - 11);
}

TEST(Demodulator, StepsBeyondTheBandCountAsStrays) {
    // 450 Hz beyond a band of 400 Hz; a sample the gate already marked counts once.
    const auto phase = [](long long n) { return kTwoPi * 450.0 * static_cast<double>(n) / kRate; };
    Demodulator d(QuickSetup(), kPassHz, 10, nullptr);
    for (long long n = 0; n < 100; ++n) {
        GatedSample g = At(phase, n, true);
        g.beyond = n >= 50;
        d.Push(g, n);
    }
    EXPECT_EQ(d.Total().steps, 99);
    EXPECT_EQ(d.Total().strays, 99);
    EXPECT_EQ(d.Current()->strays, 99);
}

}  // namespace
}  // namespace wobblemeter
