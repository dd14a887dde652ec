// Turntable view. The angle advances by the rotation rate over the sample rate each sample;
// each bin keeps the sum and count of the counted deviation that fell in it, so the fold costs
// one addition per sample and bins numbers of memory however long the record plays.
#include "meter/revolution.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace wobblemeter {

namespace {

constexpr double kThirtyThreeRpm = 100.0 / 3.0;

// A bin's mean holds a sinusoid of one cycle per revolution reduced by the mean of a cosine
// over the bin's width: sin(pi / bins) / (pi / bins).
double BinAverageGain(int bins) {
    const double half = std::numbers::pi / bins;
    return std::sin(half) / half;
}

// Angle of bin k's centre, radians.
double BinCentre(int k, int bins) {
    return 2.0 * std::numbers::pi * (k + 0.5) / bins;
}

}  // namespace

std::optional<double> ParsePlatterRpm(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double rpm = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno != 0) return std::nullopt;
    if (rpm >= 33.0 && rpm <= 33.34) return kThirtyThreeRpm;
    if (rpm == 45.0 || rpm == 78.0) return rpm;
    return std::nullopt;
}

double RotationHz(double rpm, double speedRatio) {
    return rpm / 60.0 * speedRatio;
}

RevolutionFold::RevolutionFold(double sampleRate, double rotationHz, int bins)
    : step_(rotationHz / sampleRate),
      sum_(static_cast<size_t>(bins), 0.0),
      count_(static_cast<size_t>(bins), 0) {}

void RevolutionFold::Push(double deviation, bool counted) {
    if (counted) {
        const auto bins = static_cast<double>(sum_.size());
        const auto bin = std::min(sum_.size() - 1, static_cast<size_t>(angle_ * bins));
        sum_[bin] += deviation;
        ++count_[bin];
        squares_ += deviation * deviation;
        ++counted_;
    }
    angle_ += step_;
    if (angle_ >= 1.0) angle_ -= 1.0;
}

double RevolutionFold::Revolutions() const {
    return static_cast<double>(counted_) * step_;
}

bool RevolutionFold::Complete() const {
    for (long long c : count_)
        if (c == 0) return false;
    return true;
}

std::vector<double> RevolutionFold::Mean() const {
    std::vector<double> mean(sum_.size(), 0.0);
    for (size_t k = 0; k < sum_.size(); ++k)
        if (count_[k] > 0) mean[k] = sum_[k] / static_cast<double>(count_[k]);
    return mean;
}

std::complex<double> RevolutionFold::OncePerRevolution() const {
    if (!Complete()) return 0.0;
    const std::vector<double> mean = Mean();
    const int bins = Bins();
    std::complex<double> sum = 0.0;
    for (int k = 0; k < bins; ++k)
        sum += mean[static_cast<size_t>(k)] * std::polar(1.0, BinCentre(k, bins));
    return 2.0 / bins * sum / BinAverageGain(bins);
}

std::vector<double> RevolutionFold::Remainder() const {
    std::vector<double> rest = Mean();
    const std::complex<double> once = OncePerRevolution();
    const int bins = Bins();
    for (int k = 0; k < bins; ++k) {
        rest[static_cast<size_t>(k)] -=
            BinAverageGain(bins) * (once * std::polar(1.0, -BinCentre(k, bins))).real();
    }
    return rest;
}

double RevolutionFold::RemainingRms() const {
    if (counted_ == 0) return 0.0;
    const double once = std::abs(OncePerRevolution());
    return std::sqrt(std::max(0.0, squares_ / static_cast<double>(counted_) - 0.5 * once * once));
}

int RevolutionHarmonic(double lineHz, double rotationHz, double toleranceHz) {
    if (!(rotationHz > 0.0) || !(lineHz > 0.0)) return 0;
    // Beyond kMaxHarmonic no line list would count harmonics (nor would an int hold them).
    constexpr double kMaxHarmonic = 1000.0;
    const double k = std::round(lineHz / rotationHz);
    if (k < 1.0 || k > kMaxHarmonic || std::fabs(lineHz - k * rotationHz) > toleranceHz) return 0;
    return static_cast<int>(k);
}

std::string RevolutionHarmonicName(int k) {
    if (k == 1) return "once per revolution";
    if (k == 2) return "twice per revolution";
    return std::to_string(k) + " times per revolution";
}

}  // namespace wobblemeter
