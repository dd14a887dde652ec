// Mixing to a complex baseband and decimating it, block by block.
#include "meter/baseband.h"

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
// The mixing oscillator is brought back to unit length this often, in samples.
constexpr int kRenormalise = 1024;

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
    double pass = std::floor(std::min((ImageDistance(rate, mixHz) - kMinTransitionHz) / 2.0,
                                      rate / 2.0 - mixHz - 1.0));
    pass = std::min(pass, std::floor(ImageDistance(rate, mixHz) / (2.0 + kMinTransitionShare)) + 1.0);
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
      stageRe_(static_cast<size_t>(plan.halvings) + 1),
      stageIm_(static_cast<size_t>(plan.halvings) + 1) {
    const std::vector<double> halfTaps = DesignLowPass(0.05, 0.45, kAttenuationDb);
    for (int i = 0; i < plan.halvings; ++i) stages_.emplace_back(halfTaps, 2);
    double warmSeconds = static_cast<double>(channel_.Length()) / plan.basebandRate;
    for (int i = 0; i < plan.halvings; ++i)
        warmSeconds += static_cast<double>(halfTaps.size()) / (rate / std::pow(2.0, i));
    warm_ = static_cast<long long>(std::ceil(warmSeconds * plan.basebandRate)) + 1;
    stepRe_ = std::cos(kTwoPi * mixHz / rate);
    stepIm_ = std::sin(kTwoPi * mixHz / rate);
}

void Baseband::Push(const float* x, size_t n, bool lost) {
    mixedRe_.resize(n);
    mixedIm_.resize(n);
    power_.clear();
    lost_.clear();
    // Complex products are written out, sparing the library's checks for infinities.
    double oscRe = oscRe_, oscIm = oscIm_;
    const double stepRe = stepRe_, stepIm = stepIm_;
    for (size_t i = 0; i < n; ++i) {
        const double s = lost ? 0.0 : static_cast<double>(x[i]);
        powerSum_ += s * s;
        lostSpan_ = lostSpan_ || lost;
        if (++powerCount_ == decimation_) {
            power_.push_back(powerSum_ / decimation_);
            lost_.push_back(lostSpan_ ? 1 : 0);
            powerSum_ = 0.0;
            powerCount_ = 0;
            lostSpan_ = false;
        }
        mixedRe_[i] = s * oscRe;
        mixedIm_[i] = -s * oscIm;
        const double re = oscRe * stepRe - oscIm * stepIm;
        oscIm = oscRe * stepIm + oscIm * stepRe;
        oscRe = re;
        if (++sinceNormalised_ == kRenormalise) {
            const double norm = 1.0 / std::sqrt(oscRe * oscRe + oscIm * oscIm);
            oscRe *= norm;
            oscIm *= norm;
            sinceNormalised_ = 0;
        }
    }
    oscRe_ = oscRe;
    oscIm_ = oscIm;
    const std::vector<double>* re = &mixedRe_;
    const std::vector<double>* im = &mixedIm_;
    for (size_t k = 0; k < stages_.size(); ++k) {
        stages_[k].Process(re->data(), im->data(), re->size(), stageRe_[k], stageIm_[k]);
        re = &stageRe_[k];
        im = &stageIm_[k];
    }
    channel_.Process(re->data(), im->data(), re->size(), stageRe_.back(), stageIm_.back());
}

}  // namespace wobblemeter
