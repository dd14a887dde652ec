// Mixing to a complex baseband and decimating it, block by block.
#include "meter/engine/baseband.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace wobblemeter {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The channel filter's stopband starts this many pass half-widths out, or earlier where the
// mixing image comes closer.
constexpr double kStopOverPass = 2.5;
// Narrowest transition the channel filter is allowed: this many Hz, and at least this share
// of the pass half-width (a wide band with a narrow transition would need thousands of taps).
constexpr double kMinTransitionHz = 150.0;
constexpr double kMinTransitionShare = 0.25;
// Lowest baseband rate, and the rate per Hz of pass half-width: the halving filters are flat
// and free of aliases up to a tenth of the rate they deliver (pass edge 0.05 of their input).
constexpr double kMinBasebandRate = 4000.0;
constexpr double kRatePerPassHz = 10.0;
// Stopband attenuation of the decimation and channel filters, dB.
constexpr double kAttenuationDb = 110.0;
// The mixing oscillator is brought back to unit length this often, in groups of samples.
constexpr size_t kRenormaliseGroups = 128;

// Distance of the mixing image at -2 mix (folded at the input rate) from 0 Hz.
double ImageDistance(double rate, double mixHz) {
    const double image = std::fmod(2.0 * mixHz, rate);
    return std::min(image, rate - image);
}

}  // namespace

std::optional<BandPlan> PlanBand(double rate, double mixHz, double passHz) {
    BandPlan plan;
    plan.passHz = passHz;
    plan.stopHz = std::min(kStopOverPass * passHz, ImageDistance(rate, mixHz) - passHz);
    const double transition = std::max(kMinTransitionHz, kMinTransitionShare * passHz);
    if (plan.stopHz < passHz + transition || mixHz + passHz >= rate / 2.0) return {};
    const double lowest = std::max(kMinBasebandRate, kRatePerPassHz * passHz);
    plan.basebandRate = rate;
    while (plan.basebandRate / 2.0 >= lowest) {
        plan.basebandRate /= 2.0;
        ++plan.halvings;
    }
    if (plan.stopHz >= plan.basebandRate / 2.0) return {};
    return plan;
}

double WidestPass(double rate, double mixHz) {
    // From stop >= pass + transition with stop <= image - pass, and mix + pass < rate / 2.
    double pass = std::floor(
        std::min((ImageDistance(rate, mixHz) - kMinTransitionHz) / 2.0, rate / 2.0 - mixHz - 1.0));
    pass =
        std::min(pass, std::floor(ImageDistance(rate, mixHz) / (2.0 + kMinTransitionShare)) + 1.0);
    for (; pass > 0.0; pass -= 1.0)
        if (PlanBand(rate, mixHz, pass)) return pass;
    return 0.0;
}

Baseband::Baseband(double rate, double mixHz, const BandPlan& plan)
    : plan_(plan),
      channel_(DesignLowPass(plan.passHz / plan.basebandRate, plan.stopHz / plan.basebandRate,
                             kAttenuationDb),
               1),
      decimation_(1 << plan.halvings),
      stageOut_(static_cast<size_t>(plan.halvings)) {
    const std::vector<double> halfTaps = DesignLowPass(0.05, 0.45, kAttenuationDb);
    for (int i = 0; i < plan.halvings; ++i) stages_.emplace_back(halfTaps, 2);
    double warmSeconds = static_cast<double>(channel_.Length()) / plan.basebandRate;
    for (int i = 0; i < plan.halvings; ++i)
        warmSeconds += static_cast<double>(halfTaps.size()) / (rate / std::pow(2.0, i));
    warm_ = static_cast<long long>(std::ceil(warmSeconds * plan.basebandRate)) + 1;
    for (size_t k = 0; k <= kLanes; ++k) {
        const double phase = kTwoPi * mixHz / rate * static_cast<double>(k);
        laneRe_[k] = std::cos(phase);
        laneIm_[k] = std::sin(phase);
    }
}

void Baseband::Push(const float* x, size_t n, bool lost) {
    power_.clear();
    lost_.clear();
    mixed_.resize(2 * n);
    if (lost) {
        // Lost input: zeros, which keep the oscillator and the filters in step with time.
        if (zeros_.size() < n) zeros_.assign(n, 0.0f);
        x = zeros_.data();
    }
    // Mean square of the input over each baseband sample's span.
    for (size_t i = 0; i < n;) {
        const size_t take = std::min(n - i, static_cast<size_t>(decimation_ - powerCount_));
        double sum = 0.0;
        for (size_t k = 0; k < take; ++k) sum += static_cast<double>(x[i + k]) * x[i + k];
        powerSum_ += sum;
        powerCount_ += static_cast<int>(take);
        lostSpan_ = lostSpan_ || lost;
        i += take;
        if (powerCount_ == decimation_) {
            power_.push_back(powerSum_ / decimation_);
            lost_.push_back(lostSpan_ ? 1 : 0);
            powerSum_ = 0.0;
            powerCount_ = 0;
            lostSpan_ = false;
        }
    }
    // s e^(-j 2 pi mix t): the oscillator of each sample is its group's start turned by the
    // lane's rotation, so the products within a group do not wait for each other.
    double* out = mixed_.data();
    size_t i = 0;
    while (i < n) {
        const size_t lanes = std::min(kLanes - lane_, n - i);
        const double oscRe = oscRe_, oscIm = oscIm_;
        for (size_t k = 0; k < lanes; ++k) {
            const double s = static_cast<double>(x[i + k]);
            const double re = oscRe * laneRe_[lane_ + k] - oscIm * laneIm_[lane_ + k];
            const double im = oscRe * laneIm_[lane_ + k] + oscIm * laneRe_[lane_ + k];
            out[2 * (i + k)] = s * re;
            out[2 * (i + k) + 1] = -s * im;
        }
        i += lanes;
        lane_ += lanes;
        if (lane_ < kLanes) break;
        lane_ = 0;
        const double next = oscRe_ * laneRe_[kLanes] - oscIm_ * laneIm_[kLanes];
        oscIm_ = oscRe_ * laneIm_[kLanes] + oscIm_ * laneRe_[kLanes];
        oscRe_ = next;
        if (++sinceNormalised_ == kRenormaliseGroups) {
            const double norm = 1.0 / std::sqrt(oscRe_ * oscRe_ + oscIm_ * oscIm_);
            oscRe_ *= norm;
            oscIm_ *= norm;
            sinceNormalised_ = 0;
        }
    }
    const double* z = mixed_.data();
    size_t count = n;
    for (size_t k = 0; k < stages_.size(); ++k) {
        stages_[k].Process(z, count, stageOut_[k]);
        z = stageOut_[k].data();
        count = stageOut_[k].size() / 2;
    }
    channel_.Process(z, count, channelOut_);
}

}  // namespace wobblemeter
