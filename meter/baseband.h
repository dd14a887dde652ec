// Mixer and decimators. Takes: the input samples (real, at the recording's rate) and the
// mixing frequency. Gives: the complex baseband around it, low-passed and decimated in halving
// steps to a few kHz, with each baseband sample's input power and whether lost input fell in
// its span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "meter/dsp.h"

namespace wobblemeter {

// Half-width of the band kept around the mixing frequency by default, Hz: the carrier's swing
// plus the highest modulation measured (200 Hz); enough for 10 % on 3150 Hz.
constexpr double kDefaultPassHz = 400.0;

// The band the demodulator sees: its half-width, the channel filter's stopband, and the rate.
struct BandPlan {
    double passHz = 0.0;
    double stopHz = 0.0;
    int halvings = 0;
    double basebandRate = 0.0;
};

// The plan for a band of +-passHz around mixHz in a recording at rate, or none where it does
// not fit (the band reaches half the rate, or the mixing image comes too close).
std::optional<BandPlan> PlanBand(double rate, double mixHz, double passHz);

// The widest band PlanBand() allows around mixHz at rate, Hz (0: none).
double WidestPass(double rate, double mixHz);

class Baseband {
public:
    Baseband(double rate, double mixHz, const BandPlan& plan);

    // Mixes and decimates n samples (lost: n frames of lost input, x is then ignored); the
    // baseband samples that fell due replace the previous block's.
    void Push(const float* x, size_t n, bool lost);

    const std::vector<double>& Re() const { return stageRe_.back(); }
    const std::vector<double>& Im() const { return stageIm_.back(); }
    // Mean square of the input over each baseband sample's span of input samples.
    const std::vector<double>& Power() const { return power_; }
    // Whether lost input fell in that span.
    const std::vector<uint8_t>& Lost() const { return lost_; }

    // Baseband samples until every filter holds real input.
    long long Warm() const { return warm_; }
    // Input samples per baseband sample.
    int Decimation() const { return decimation_; }
    const BandPlan& Plan() const { return plan_; }

private:
    BandPlan plan_;
    std::vector<ComplexDecimator> stages_;
    ComplexDecimator channel_;
    long long warm_ = 0;
    int decimation_ = 1;
    // Mixing oscillator e^(j 2 pi mix t), advanced by rotation and renormalised now and then.
    double oscRe_ = 1.0, oscIm_ = 0.0, stepRe_ = 1.0, stepIm_ = 0.0;
    int sinceNormalised_ = 0;
    double powerSum_ = 0.0;
    int powerCount_ = 0;
    bool lostSpan_ = false;
    std::vector<double> mixedRe_, mixedIm_;
    std::vector<std::vector<double>> stageRe_, stageIm_;
    std::vector<double> power_;
    std::vector<uint8_t> lost_;
};

}  // namespace wobblemeter
