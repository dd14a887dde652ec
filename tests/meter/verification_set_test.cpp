// The verification set through the meter's own demodulation (mixing, halving decimators,
// channel filter, phase steps) and the new stages: each signal's unweighted two-sigma through
// the flat band, its weighted two-sigma and the quasi-peak reading, against expected.csv.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "meter/dsp/dsp.h"
#include "meter/dsp/flat_band.h"
#include "meter/dsp/weighting.h"
#include "meter/engine/quasi_peak.h"
#include "synth/calibration_set.h"
#include "tests/meter/meter_test_util.h"

namespace wobblemeter {
namespace {

using wobblemeter_test::ScratchDir;

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The demodulated frequency's offset from the carrier, Hz, at the baseband rate, from where
// every filter of the chain holds signal.
struct Deviation {
    std::vector<double> hz;
    double rate;
};

Deviation Demodulate(const std::string& path, double carrierHz) {
    SF_INFO info;
    const std::vector<double> x = wobblemeter_test::ReadSamples(path, info);
    double rate = info.samplerate;
    std::vector<ComplexDecimator> stages;
    const std::vector<double> halving = DesignLowPass(0.05, 0.45, 110.0);
    size_t warm = 0;  // input samples before the chain's output is fully formed
    size_t factor = 1;
    while (rate / 2.0 >= 4000.0) {
        stages.emplace_back(halving, 2);
        warm += halving.size() * factor;
        rate /= 2.0;
        factor *= 2;
    }
    stages.emplace_back(DesignLowPass(400.0 / rate, 1000.0 / rate, 110.0), 1);
    warm += stages.back().Length() * factor;

    Deviation d{{}, rate};
    std::vector<double> re, im, outRe, outIm;
    std::complex<double> previous = 0.0;
    size_t produced = 0;
    constexpr size_t kBlock = 8192;
    for (size_t first = 0; first < x.size(); first += kBlock) {
        const size_t n = std::min(kBlock, x.size() - first);
        re.resize(n);
        im.resize(n);
        for (size_t i = 0; i < n; ++i) {
            const double phase =
                kTwoPi * carrierHz * static_cast<double>(first + i) / info.samplerate;
            re[i] = x[first + i] * std::cos(phase);
            im[i] = -x[first + i] * std::sin(phase);
        }
        for (ComplexDecimator& stage : stages) {
            stage.Process(re.data(), im.data(), re.size(), outRe, outIm);
            re.swap(outRe);
            im.swap(outIm);
        }
        for (size_t i = 0; i < re.size(); ++i, ++produced) {
            const std::complex<double> z(re[i], im[i]);
            if (produced * factor > warm)
                d.hz.push_back(std::arg(z * std::conj(previous)) * rate / kTwoPi);
            previous = z;
        }
    }
    return d;
}

double TwoSigma(std::vector<double> magnitudes) {
    const auto rank =
        static_cast<std::ptrdiff_t>(0.95 * static_cast<double>(magnitudes.size() - 1));
    std::nth_element(magnitudes.begin(), magnitudes.begin() + rank, magnitudes.end());
    return magnitudes[static_cast<size_t>(rank)];
}

struct Expected {
    std::string file;
    int signal;
    double carrierHz, modulationHz, deviationPercent, unweighted, weighted;
};

std::vector<Expected> ReadTable(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // header
    std::vector<Expected> rows;
    while (std::getline(in, line)) {
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream fields(line);
        Expected e;
        int rate = 0;
        fields >> e.file >> e.signal >> e.carrierHz >> rate >> e.modulationHz >>
            e.deviationPercent >> e.unweighted >> e.weighted;
        if (fields) rows.push_back(e);
    }
    return rows;
}

TEST(VerificationSet, EverySignalReadsItsExpectedTwoSigmaThroughTheFlatBand) {
    ScratchDir dir;
    char message[256] = "";
    ASSERT_EQ(WriteCalibrationSet(dir.Path("").c_str(), nullptr, message, sizeof message), 0)
        << message;
    const std::vector<Expected> table = ReadTable(dir.Path("expected.csv"));
    ASSERT_EQ(table.size(), 16u);
    for (const Expected& e : table) {
        SCOPED_TRACE(e.file);
        const Deviation d = Demodulate(dir.Path(e.file), e.carrierHz);
        BiquadCascade band = MakeFlatBandFilter(d.rate);
        BiquadCascade weighting = MakeWeightingFilter(d.rate);
        band.Settle(0.0);  // the mean offset: mixed at the carrier
        weighting.Settle(0.0);
        QuasiPeakDetector quasiPeak(d.rate);
        std::vector<double> unweighted, weighted;
        const auto settle = static_cast<size_t>(3.0 * d.rate);
        for (size_t n = 0; n < d.hz.size(); ++n) {
            const double u = band.Process(d.hz[n]);
            const double w = weighting.Process(d.hz[n]);
            quasiPeak.Push(w, n >= settle);
            if (n < settle) continue;
            unweighted.push_back(std::fabs(u));
            weighted.push_back(std::fabs(w));
        }
        ASSERT_GT(unweighted.size(), static_cast<size_t>(26.0 * d.rate));
        const double toPercent = 100.0 / e.carrierHz;
        const double u = TwoSigma(unweighted) * toPercent;
        const double w = TwoSigma(weighted) * toPercent;
        if (e.signal == 1) {
            EXPECT_LT(u, 0.001);
            EXPECT_LT(w, 0.001);
            continue;
        }
        EXPECT_NEAR(u, e.unweighted, 0.02 * e.unweighted);
        EXPECT_NEAR(w, e.weighted, (e.signal == 8 ? 0.10 : 0.02) * e.weighted);
        if (e.modulationHz == 4.0) {
            EXPECT_NEAR(quasiPeak.Reading() * toPercent, e.deviationPercent,
                        0.01 * e.deviationPercent);
        }
    }
}

}  // namespace
}  // namespace wobblemeter
