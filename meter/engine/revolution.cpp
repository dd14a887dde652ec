// Turntable view. The angle advances by the rotation rate over the sample rate each sample
// (times the platter's speed); each bin keeps the sum and count of the counted deviation that
// fell in it, and five sums fit the once-per-revolution sinusoid, so the fold costs a few
// multiplications per sample and bins numbers of memory however long the record plays.
#include "meter/engine/revolution.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "text/decimal.h"

namespace wobblemeter {

namespace {

constexpr double kThirtyThreeRpm = 100.0 / 3.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Samples between exact cosines of the angle: the rotation's rounding stays near 1e-13.
constexpr int kExactEvery = 1024;

// A bin's mean holds a sinusoid of one cycle per revolution reduced by the mean of a cosine
// over the bin's width: sin(pi / bins) / (pi / bins).
double BinAverageGain(int bins) {
    const double half = std::numbers::pi / bins;
    return std::sin(half) / half;
}

double Determinant(const std::array<std::array<double, 3>, 3>& m) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// Angle of bin k's centre, radians.
double BinCentre(int k, int bins) {
    return 2.0 * std::numbers::pi * (k + 0.5) / bins;
}

}  // namespace

std::optional<double> ParsePlatterRpm(const std::string& text) {
    double rpm = 0.0;
    if (!ParsePlainDecimal(text.c_str(), rpm)) return std::nullopt;
    // The decimal spellings of 33 1/3 as records and turntables print them, each read as the
    // nearest double to what it says: "33.330" is 33.33, "33.34" none of them.
    for (const double name : {33.0, 33.3, 33.33, 33.333})
        if (rpm == name) return kThirtyThreeRpm;
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

void RevolutionFold::Push(double deviation, bool counted, double speed) {
    if (counted) {
        const auto bins = static_cast<double>(sum_.size());
        const auto bin = std::min(sum_.size() - 1, static_cast<size_t>(angle_ * bins));
        sum_[bin] += deviation;
        ++count_[bin];
        squares_ += deviation * deviation;
        ++counted_;
        sumX_ += deviation;
        sumCos_ += cos_;
        sumSin_ += sin_;
        xCos_ += deviation * cos_;
        xSin_ += deviation * sin_;
        cosCos_ += cos_ * cos_;
        sinSin_ += sin_ * sin_;
        cosSin_ += cos_ * sin_;
        revolutions_ += step_ * speed;
    }
    const double turn = step_ * speed;
    // A turn is far below one revolution either way: a comparison wraps it (floor would be a
    // library call per sample).
    angle_ += turn;
    if (angle_ >= 1.0)
        angle_ -= 1.0;
    else if (angle_ < 0.0)
        angle_ += 1.0;
    if (++sinceExact_ >= kExactEvery) {
        // The rotation below gathers rounding; from the angle itself now and then.
        sinceExact_ = 0;
        cos_ = std::cos(kTwoPi * angle_);
        sin_ = std::sin(kTwoPi * angle_);
    } else {
        // A turn is a few milliradians at most (78 rpm at 4000 Hz: 2e-3), where these terms
        // of the series are exact to double precision and cheaper than cos and sin.
        const double x = kTwoPi * turn, x2 = x * x;
        const double c = 1.0 - x2 / 2.0 * (1.0 - x2 / 12.0);
        const double s = x * (1.0 - x2 / 6.0 * (1.0 - x2 / 20.0));
        const double next = cos_ * c - sin_ * s;
        sin_ = sin_ * c + cos_ * s;
        cos_ = next;
    }
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
    // Least squares: c + a cos + b sin fits the counted samples best where the normal
    // equations M (c, a, b) = v hold. Over whole revolutions they reduce to a = 2 mean(x cos),
    // b = 2 mean(x sin); over part of one more, the fit still takes the component alone and
    // leaves a constant (or slow) offset out of it.
    const auto n = static_cast<double>(counted_);
    const std::array<std::array<double, 3>, 3> m{
        {{n, sumCos_, sumSin_}, {sumCos_, cosCos_, cosSin_}, {sumSin_, cosSin_, sinSin_}}};
    const std::array<double, 3> v{sumX_, xCos_, xSin_};
    const double det = Determinant(m);
    if (!(std::fabs(det) > 0.0)) return 0.0;
    // Cramer's rule for a and b.
    std::array<double, 2> ab{};
    for (size_t column = 1; column <= 2; ++column) {
        std::array<std::array<double, 3>, 3> mi = m;
        for (size_t row = 0; row < 3; ++row) mi[row][column] = v[row];
        ab[column - 1] = Determinant(mi) / det;
    }
    // a cos t + b sin t = |a + ib| cos(t - arg(a + ib)): its peak lies at arg(a + ib).
    return {ab[0], ab[1]};
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
    // The sum of (x - a cos - b sin)^2 over the counted samples, from the sums kept.
    const std::complex<double> once = OncePerRevolution();
    const double a = once.real(), b = once.imag();
    const double rest = squares_ - 2.0 * (a * xCos_ + b * xSin_) + a * a * cosCos_ +
                        b * b * sinSin_ + 2.0 * a * b * cosSin_;
    return std::sqrt(std::max(0.0, rest / static_cast<double>(counted_)));
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
