// The drop-out bridge: linear prediction from the history, bent onto the offset after.
#include "meter/engine/gap_bridge.h"

#include <algorithm>
#include <cmath>

namespace wobblemeter {

namespace {

// Order of the prediction: a few swings and their harmonics, and room for the noise.
constexpr size_t kOrder = 32;
// Loading of the normal equations' diagonal, relative to its mean.
constexpr double kLoading = 1e-12;
// History the prediction needs at least, samples.
constexpr size_t kMinHistory = 8 * kOrder;
// A prediction straying further than this many times the history's own largest distance from
// its mean is not trusted.
constexpr double kMaxStray = 2.0;

// Forward-backward least squares (the modified covariance method): the coefficients
// a[1 ... order] of x[n] + sum a[k] x[n - k] = e[n] (a[0] = 1) that make the errors of
// predicting forward and backward least in sum. Unlike Burg's method it finds a sinusoid's
// frequency without a bias that depends on its phase, which over a gap of a tenth of a second
// made a swing at 17 Hz drift apart. A little loading on the diagonal keeps the system
// solvable for a signal of fewer lines than the order.
std::vector<double> PredictionCoefficients(const std::vector<double>& x, size_t order) {
    const size_t n = x.size(), p = order;
    // c(i, j): the sum over k = p ... n - 1 of x[k - i] x[k - j]; the first row in full, the
    // others each from the one above it (the same sum one step earlier: one product gained at
    // the start, one lost at the end).
    std::vector<double> c((p + 1) * (p + 1), 0.0);
    for (size_t j = 0; j <= p; ++j) {
        double sum = 0.0;
        for (size_t k = p; k < n; ++k) sum += x[k] * x[k - j];
        c[j] = c[j * (p + 1)] = sum;
    }
    for (size_t i = 1; i <= p; ++i)
        for (size_t j = i; j <= p; ++j) {
            const double sum =
                c[(i - 1) * (p + 1) + j - 1] + x[p - i] * x[p - j] - x[n - i] * x[n - j];
            c[i * (p + 1) + j] = c[j * (p + 1) + i] = sum;
        }
    auto at = [&](size_t i, size_t j) { return c[i * (p + 1) + j]; };
    // Normal equations, rows 1 ... p, augmented with the right-hand side.
    std::vector<double> m(p * (p + 1));
    double trace = 0.0;
    for (size_t i = 1; i <= p; ++i) trace += at(i, i) + at(p - i, p - i);
    for (size_t i = 1; i <= p; ++i) {
        for (size_t j = 1; j <= p; ++j) m[(i - 1) * (p + 1) + j - 1] = at(i, j) + at(p - i, p - j);
        m[(i - 1) * (p + 1) + i - 1] += kLoading * trace / static_cast<double>(p);
        m[(i - 1) * (p + 1) + p] = -(at(0, i) + at(p, p - i));
    }
    std::vector<double> a(p + 1, 0.0);
    a[0] = 1.0;
    for (size_t col = 0; col < p; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < p; ++r)
            if (std::fabs(m[r * (p + 1) + col]) > std::fabs(m[pivot * (p + 1) + col])) pivot = r;
        if (!(std::fabs(m[pivot * (p + 1) + col]) > 0.0)) return a;  // nothing to predict from
        for (size_t k = 0; k <= p; ++k) std::swap(m[col * (p + 1) + k], m[pivot * (p + 1) + k]);
        for (size_t r = 0; r < p; ++r) {
            if (r == col) continue;
            const double f = m[r * (p + 1) + col] / m[col * (p + 1) + col];
            for (size_t k = col; k <= p; ++k) m[r * (p + 1) + k] -= f * m[col * (p + 1) + k];
        }
    }
    for (size_t i = 1; i <= p; ++i) a[i] = m[(i - 1) * (p + 1) + p] / m[(i - 1) * (p + 1) + i - 1];
    return a;
}

void StraightLine(double from, double to, size_t gap, std::vector<double>& out) {
    for (size_t k = 0; k < gap; ++k)
        out[k] = from + (to - from) * static_cast<double>(k + 1) / static_cast<double>(gap + 1);
}

// x predicted on by `ahead` values from the coefficients of kOrder over its mean-free part,
// then bent to meet `after` at the last of them: the bridge's values (ahead - 1) into out.
// False where the prediction strays beyond kMaxStray times the history's largest distance
// from its mean.
bool Predicted(const double* x, size_t n, double after, size_t ahead, std::vector<double>& out) {
    double mean = 0.0;
    for (size_t i = 0; i < n; ++i) mean += x[i];
    mean /= static_cast<double>(n);
    std::vector<double> y(n);
    double largest = 0.0;
    for (size_t i = 0; i < n; ++i) {
        y[i] = x[i] - mean;
        largest = std::max(largest, std::fabs(y[i]));
    }
    const std::vector<double> a = PredictionCoefficients(y, kOrder);
    y.resize(n + ahead);
    for (size_t i = n; i < y.size(); ++i) {
        double p = 0.0;
        for (size_t k = 1; k <= kOrder; ++k) p -= a[k] * y[i - k];
        y[i] = p;
        if (!(std::fabs(p) <= kMaxStray * largest + 1e-12)) return false;
    }
    const double miss = after - (y[n + ahead - 1] + mean);
    out.resize(ahead - 1);
    for (size_t k = 0; k + 1 < ahead; ++k)
        out[k] = y[n + k] + mean + miss * static_cast<double>(k + 1) / static_cast<double>(ahead);
    return true;
}

// How far the bridge's values stray from the truth: the sum of the squares (a sum of the errors
// alone may cancel by chance over a swing).
double Miss(const std::vector<double>& bridge, const double* truth) {
    double sum = 0.0;
    for (size_t k = 0; k < bridge.size(); ++k)
        sum += (bridge[k] - truth[k]) * (bridge[k] - truth[k]);
    return sum;
}

}  // namespace

void OffsetHistory::CopyTo(std::vector<double>& out) const {
    out.resize(held_);
    const size_t start = held_ == kLength ? next_ : 0;
    for (size_t i = 0; i < held_; ++i) out[i] = values_[(start + i) % kLength];
}

void BridgeGap(const std::vector<double>& history, double after, size_t gap,
               std::vector<double>& out) {
    out.resize(gap);
    if (gap == 0) return;
    const size_t n = history.size();
    // The prediction is tried first on the history's own end, as though the gap had fallen
    // there; where it does worse there than a straight line, the line bridges the gap.
    const size_t tried = n > gap + 1 ? n - gap - 1 : 0;
    if (tried < kMinHistory) {
        StraightLine(n == 0 ? after : history.back(), after, gap, out);
        return;
    }
    const double* truth = history.data() + tried;
    std::vector<double> trial(gap);
    StraightLine(history[tried - 1], history[n - 1], gap, trial);
    const double lineMiss = Miss(trial, truth);
    if (!Predicted(history.data(), tried, history[n - 1], gap + 1, trial) ||
        !(Miss(trial, truth) < lineMiss) || !Predicted(history.data(), n, after, gap + 1, out)) {
        StraightLine(history.back(), after, gap, out);
    }
}

}  // namespace wobblemeter
