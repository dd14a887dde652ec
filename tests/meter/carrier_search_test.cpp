// The carrier search: the mixing frequency of a steady tone to within its resolution, blocks
// before the tone passed over, a given carrier waited for, and a tone too weak to stand out
// of the noise refused as no steady tone.
#include "meter/engine/carrier_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace wobblemeter {
namespace {

constexpr double kRate = 44100.0;  // blocks of 16384 samples, bins of 2.69 Hz
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// seconds of a tone of amplitude a at hz in white noise of RMS noise (stream seeds it).
std::vector<float> Tone(double seconds, double hz, double a, double noise = 0.0,
                        unsigned stream = 1) {
    std::mt19937 random(stream);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<float> x(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = static_cast<float>(a * std::sin(kTwoPi * hz * static_cast<double>(i) / kRate + 0.3) +
                                  noise * gauss(random));
    }
    return x;
}

// Pushes x into the search in blocks of block samples until it is complete; returns Decide().
bool Search(CarrierSearch& search, const std::vector<float>& x, size_t block = 4410) {
    size_t done = 0;
    while (done < x.size() && !search.Complete()) {
        const size_t n = std::min({block, x.size() - done, search.Room()});
        const size_t taken = search.Push(x.data() + done, n);
        EXPECT_LE(taken, n);
        done += taken;
        if (taken < n) break;
    }
    return search.Decide();
}

TEST(CarrierSearch, FindsASteadyLineWithinAThousandthOfAHertz) {
    for (double hz : {517.3, 3150.0, 3000.61, 12345.6, 19800.2}) {
        CarrierSearch search(kRate, 0.0);
        ASSERT_TRUE(Search(search, Tone(12.0, hz, 0.5))) << hz << ": " << search.Reason();
        EXPECT_NEAR(search.CarrierHz(), hz, 0.001) << hz;
        EXPECT_EQ(search.MeanHz(), search.CarrierHz());
        // A steady tone ends the search after four half-overlapping blocks (0.93 s), well
        // before its 12 s.
        EXPECT_EQ(search.Samples().size(), size_t{3 * 8192 + 16384});
        EXPECT_EQ(search.SpanStart(), 0);
        ASSERT_FALSE(search.Lines().empty());
        EXPECT_NEAR(search.Lines()[0], hz, 0.5);
    }
}

TEST(CarrierSearch, PassesOverBlocksBeforeTheToneBegins) {
    // 3 s of hiss, then the tone: the span starts a whole number of half blocks in.
    std::vector<float> x = Tone(3.0, 3150.0, 0.0, 0.01);
    const std::vector<float> tone = Tone(9.0, 3150.0, 0.5);
    x.insert(x.end(), tone.begin(), tone.end());
    CarrierSearch search(kRate, 0.0);
    ASSERT_TRUE(Search(search, x, 10000)) << search.Reason();
    // The first block that shows the tone holds its onset too: a little wider a line.
    EXPECT_NEAR(search.CarrierHz(), 3150.0, 0.05);
    EXPECT_EQ(search.SpanStart() % 8192, 0);
    EXPECT_GT(search.SpanStart(), 3 * 44100 - 16384);
    EXPECT_LE(search.SpanStart(), 3 * 44100);
    // The samples held are the input's from there on.
    EXPECT_EQ(search.Samples()[0], x[static_cast<size_t>(search.SpanStart())]);
}

TEST(CarrierSearch, GivenCarrierIsWaitedForAndItsMeanFrequencyRead) {
    // A tape 0.5 % fast: the carrier given stays the mixing frequency, the mean is the tone's.
    CarrierSearch search(kRate, 3150.0);
    ASSERT_TRUE(Search(search, Tone(12.0, 3165.75, 0.5)));
    EXPECT_EQ(search.CarrierHz(), 3150.0);
    EXPECT_NEAR(search.MeanHz(), 3165.75, 0.01);
    // No tone near it: refused, naming where the strongest line lies.
    CarrierSearch elsewhere(kRate, 500.0);
    EXPECT_FALSE(Search(elsewhere, Tone(12.0, 3150.0, 0.5)));
    EXPECT_NE(elsewhere.Reason().find("no tone near 500.0 Hz"), std::string::npos)
        << elsewhere.Reason();
    EXPECT_NE(elsewhere.Reason().find("the strongest line lies at 3150.0 Hz"), std::string::npos)
        << elsewhere.Reason();
}

TEST(CarrierSearch, ToneThatStandsOutOfTheNoiseTooLittleIsNoSteadyTone) {
    // In noise of RMS 0.1 a tone at 3150 Hz stands kMinBandOverFloor (10) times over the floor
    // of its band at an amplitude of about 0.067. At 0.057 (7.5 times) it is refused, in every
    // block of the span, as no steady tone (not taken for a tone swinging wildly); at 0.08 (13
    // times) it is taken for a tone.
    for (unsigned stream : {1u, 2u, 3u}) {
        CarrierSearch weak(kRate, 0.0);
        EXPECT_FALSE(Search(weak, Tone(12.0, 3150.0, 0.057, 0.1, stream))) << stream;
        EXPECT_FALSE(weak.ToneSeen());
        EXPECT_EQ(weak.Reason().rfind("no steady tone: the strongest line, near 3150.", 0), 0u)
            << weak.Reason();
        CarrierSearch found(kRate, 0.0);
        EXPECT_TRUE(Search(found, Tone(12.0, 3150.0, 0.08, 0.1, stream))) << found.Reason();
        EXPECT_TRUE(found.ToneSeen()) << stream;
    }
}

TEST(CarrierSearch, LinesOutsideTheCarrierRangeAreNoCarrier) {
    CarrierSearch low(kRate, 0.0);
    EXPECT_FALSE(Search(low, Tone(12.0, 400.0, 0.5)));
    EXPECT_NE(low.Reason().find("400.0 Hz, lies outside the carrier range 500 to 20000 Hz"),
              std::string::npos)
        << low.Reason();
    // A tone within the range 60 dB under one outside it is the other's company, not the tone;
    // 17 dB under it, it is.
    std::vector<float> both = Tone(12.0, 400.0, 0.5);
    const std::vector<float> faint = Tone(12.0, 1000.0, 0.0005), quiet = Tone(12.0, 1000.0, 0.07);
    std::vector<float> louder = both;
    for (size_t i = 0; i < both.size(); ++i) {
        both[i] += faint[i];
        louder[i] += quiet[i];
    }
    CarrierSearch dwarfed(kRate, 0.0);
    EXPECT_FALSE(Search(dwarfed, both));
    EXPECT_NE(dwarfed.Reason().find("lies outside the carrier range"), std::string::npos)
        << dwarfed.Reason();
    CarrierSearch beside(kRate, 0.0);
    ASSERT_TRUE(Search(beside, louder)) << beside.Reason();
    EXPECT_NEAR(beside.CarrierHz(), 1000.0, 1.0);
    CarrierSearch silent(kRate, 0.0);
    EXPECT_FALSE(Search(silent, std::vector<float>(44100, 0.0f)));
    EXPECT_EQ(silent.Reason(), "the recording is silent where it should hold the tone");
}

TEST(CarrierSearch, TwoTonesAreNamedLargestFirst) {
    std::vector<float> x = Tone(12.0, 3150.0, 0.5);
    const std::vector<float> second = Tone(12.0, 3300.0, 0.3);
    for (size_t i = 0; i < x.size(); ++i) x[i] += second[i];
    CarrierSearch search(kRate, 0.0);
    ASSERT_TRUE(Search(search, x));
    ASSERT_EQ(search.Lines().size(), 2u);
    EXPECT_NEAR(search.Lines()[0], 3150.0, 0.1);
    EXPECT_NEAR(search.Lines()[1], 3300.0, 0.1);
}

}  // namespace
}  // namespace wobblemeter
