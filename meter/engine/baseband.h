// Mixer and decimators. Takes: the input samples (real, full scale 1, at the recording's rate),
// block by block, and the mixing frequency (Hz). Gives: the complex baseband around it (a tone
// at its offset from the mixing frequency, at half its amplitude), low-passed and decimated in
// halving steps to the baseband rate (4000 Hz or more, BandPlan), with each baseband sample's
// input power (mean square, full scale 1) and whether lost input fell in its span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "meter/dsp/dsp.h"

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

    // The block's baseband, interleaved (re, im, re, im ...).
    const std::vector<double>& Samples() const { return channelOut_; }
    size_t Size() const { return power_.size(); }
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
    // Mixing oscillator e^(j 2 pi mix t) at the start of the next group of kLanes samples,
    // advanced by rotation and renormalised now and then, and the rotations within a group.
    static constexpr size_t kLanes = 8;
    double oscRe_ = 1.0, oscIm_ = 0.0;
    double laneRe_[kLanes + 1] = {}, laneIm_[kLanes + 1] = {};
    size_t lane_ = 0;  // samples of the current group already mixed
    size_t sinceNormalised_ = 0;
    double powerSum_ = 0.0;
    int powerCount_ = 0;
    bool lostSpan_ = false;
    std::vector<double> mixed_;
    std::vector<float> zeros_;
    std::vector<std::vector<double>> stageOut_;
    std::vector<double> channelOut_;
    std::vector<double> power_;
    std::vector<uint8_t> lost_;
};

}  // namespace wobblemeter
