// The drop-out bridge: Burg's linear prediction from the history, bent onto the offset after.
#include "meter/engine/gap_bridge.h"

#include <algorithm>
#include <cmath>

namespace wobblemeter {

namespace {

// Order of the prediction: a few swings and their harmonics, and room for the noise.
constexpr size_t kOrder = 32;
// History the prediction needs at least, samples.
constexpr size_t kMinHistory = 8 * kOrder;
// A prediction straying further than this many times the history's own largest distance from
// its mean is not trusted.
constexpr double kMaxStray = 2.0;

// Burg's method: the coefficients a[1 ... order] of x[n] + sum a[k] x[n - k] = e[n] (a[0] = 1).
std::vector<double> BurgCoefficients(const std::vector<double>& x, size_t order) {
    const size_t n = x.size();
    std::vector<double> a(order + 1, 0.0), forward(x), backward(x), previous;
    a[0] = 1.0;
    for (size_t m = 1; m <= order; ++m) {
        double num = 0.0, den = 0.0;
        for (size_t i = m; i < n; ++i) {
            num += forward[i] * backward[i - 1];
            den += forward[i] * forward[i] + backward[i - 1] * backward[i - 1];
        }
        if (!(den > 0.0)) break;
        const double k = -2.0 * num / den;
        previous = a;
        for (size_t i = 1; i <= m; ++i) a[i] = previous[i] + k * previous[m - i];
        // Errors of the next order, from the last sample back (backward[i - 1] is still the old).
        for (size_t i = n - 1; i >= m; --i) {
            const double f = forward[i];
            forward[i] = f + k * backward[i - 1];
            backward[i] = backward[i - 1] + k * f;
        }
    }
    return a;
}

void StraightLine(double from, double to, size_t gap, std::vector<double>& out) {
    for (size_t k = 0; k < gap; ++k)
        out[k] = from + (to - from) * static_cast<double>(k + 1) / static_cast<double>(gap + 1);
}

// x predicted on by `ahead` values from Burg's coefficients of kOrder over its mean-free part,
// then bent to meet `after` at the last of them: the bridge's values (ahead - 1) into out.
// False where the prediction strays beyond kMaxStray times the history's largest distance
// from its mean.
bool Predicted(const double* x, size_t n, double after, size_t ahead, std::vector<double>& out) {
    double mean = 0.0;
    for (size_t i = 0; i < n; ++i) mean += x[i];
    mean /= static_cast<double>(n);
    std::vector<double> y(n + ahead);
    double largest = 0.0;
    for (size_t i = 0; i < n; ++i) {
        y[i] = x[i] - mean;
        largest = std::max(largest, std::fabs(y[i]));
    }
    y.resize(n);
    const std::vector<double> a = BurgCoefficients(y, kOrder);
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
