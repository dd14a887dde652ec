// Mean frequency over whole periods of the modulation, from a copy of bounded size.
#include "meter/engine/mean_carrier.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <utility>

namespace wobblemeter {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Whole periods needed for the mean over periods; fewer, it is Hann-weighted.
constexpr double kMinPeriods = 2.0;

// Hann-weighted mean over the valid values: a plain mean over a span that ends part way
// through a slow swing would be pulled towards that swing.
double WindowedMean(const std::vector<float>& x, const std::vector<uint8_t>& valid) {
    const size_t n = x.size();
    double sum = 0.0, weights = 0.0;
    for (size_t i = 0; i < n; ++i) {
        if (!valid[i]) continue;
        const double w =
            0.5 - 0.5 * std::cos(kTwoPi * (static_cast<double>(i) + 0.5) / static_cast<double>(n));
        sum += w * x[i];
        weights += w;
    }
    return weights > 0.0 ? sum / weights : 0.0;
}

// Mean of x[first ... first + n), a span of whole periods of a swing of cycles per value.
// With every value valid this is the plain mean; with gaps it is the offset of the least-
// squares fit of offset + sinusoid to the valid values, which the missing part of the swing
// does not bias.
double MeanOverPeriods(const std::vector<float>& x, const std::vector<uint8_t>& valid, size_t first,
                       size_t n, double cyclesPerValue) {
    double sum = 0.0;
    size_t count = 0;
    for (size_t i = first; i < first + n; ++i) {
        if (!valid[i]) continue;
        sum += x[i];
        ++count;
    }
    if (count == n) return sum / static_cast<double>(n);
    // Normal equations of x = m + a cos + b sin.
    double a[3][4] = {};
    const std::complex<double> step = std::polar(1.0, kTwoPi * cyclesPerValue);
    std::complex<double> phasor = 1.0;
    for (size_t i = first; i < first + n; ++i) {
        if (valid[i]) {
            const double basis[3] = {1.0, phasor.real(), phasor.imag()};
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c) a[r][c] += basis[r] * basis[c];
                a[r][3] += basis[r] * x[i];
            }
        }
        phasor *= step;
        if ((i - first) % 1024 == 1023) phasor /= std::abs(phasor);
    }
    // Gaussian elimination with partial pivoting; a singular system falls back to the mean.
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 3; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (!(std::fabs(a[pivot][col]) > 1e-9 * static_cast<double>(count)))
            return count > 0 ? sum / static_cast<double>(count) : 0.0;
        std::swap(a[col], a[pivot]);
        for (int r = 0; r < 3; ++r) {
            if (r == col) continue;
            const double f = a[r][col] / a[col][col];
            for (int c = col; c < 4; ++c) a[r][c] -= f * a[col][c];
        }
    }
    return a[0][3] / a[0][0];
}

}  // namespace

MeanCarrier::MeanCarrier(double rate, size_t cap)
    : rate_(rate), cap_(std::max<size_t>(2, cap & ~size_t{1})) {}

void MeanCarrier::Push(float value, bool valid) {
    if (pairing_ == 1) {
        values_.push_back(value);
        valid_.push_back(valid ? 1 : 0);
    } else {
        partSum_ += static_cast<double>(value);
        ++partCount_;
        if (valid) {
            partValidSum_ += static_cast<double>(value);
            ++partValid_;
        }
        if (partCount_ < pairing_) return;
        // A held value stands for the valid ones among the values it averages.
        const double mean = partValid_ > 0 ? partValidSum_ / static_cast<double>(partValid_)
                                           : partSum_ / static_cast<double>(partCount_);
        values_.push_back(static_cast<float>(mean));
        valid_.push_back(partValid_ > 0 ? 1 : 0);
        partSum_ = partValidSum_ = 0.0;
        partCount_ = partValid_ = 0;
    }
    if (values_.size() == cap_) Halve();
}

void MeanCarrier::Halve() {
    const size_t half = values_.size() / 2;
    for (size_t i = 0; i < half; ++i) {
        const float a = values_[2 * i], b = values_[2 * i + 1];
        const bool va = valid_[2 * i] != 0, vb = valid_[2 * i + 1] != 0;
        float mean = 0.5f * (a + b);
        if (va != vb) mean = va ? a : b;
        values_[i] = mean;
        valid_[i] = va || vb ? 1 : 0;
    }
    values_.resize(half);
    valid_.resize(half);
    pairing_ *= 2;
    rate_ /= 2.0;
}

double MeanCarrier::Mean(double modulationHz) const {
    const size_t span = values_.size();
    if (span == 0) return 0.0;
    const double periods = std::isfinite(modulationHz)
                               ? std::floor(static_cast<double>(span) / rate_ * modulationHz)
                               : 0.0;
    if (periods >= kMinPeriods) {
        const auto n = static_cast<size_t>(std::llround(periods / modulationHz * rate_));
        return MeanOverPeriods(values_, valid_, (span - n) / 2, n, modulationHz / rate_);
    }
    return WindowedMean(values_, valid_);
}

}  // namespace wobblemeter
