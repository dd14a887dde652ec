// Design aid, not part of the build: fits the weighting filter's analog prototype
// (meter/dsp/weighting.cpp) to the tabulated curve and prints its coefficients and errors.
// The prototype is s^3 times four quadratics s^2 + b s + c over six (s in Hz units), each b and
// c kept positive as the exponential of a parameter. Two rounds, each Levenberg-Marquardt on
// the dB errors and then minimax at the table's points by Lawson's reweighting:
//   1. from 17 random starts, the analog prototype alone, the straight-line interpolation
//      between the points (dB against log frequency, 7 points in each interval) weighted 0.05;
//   2. from the best of those, the analog prototype and its bilinear form at 4000 Hz (the
//      lowest baseband rate, where the warping is largest) together, the interpolation weighted
//      0.4 to keep the curve smooth between the points.
// Build and run (about two minutes): g++ -O2 -std=c++20 fit_weighting.cpp && ./a.out
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

namespace {

using Complex = std::complex<double>;
using Params = std::vector<double>;  // log b, log c of each quadratic: numerators first

constexpr int kNumerators = 4, kDenominators = 6;
constexpr double kLowestRate = 4000.0;
constexpr double kHz[] = {0.1, 0.2, 0.315, 0.4, 0.63, 0.8, 1,   1.6, 2,
                          4,   6.3, 10,    20,  40,   63,  100, 200};
constexpr double kDb[] = {-48, -30.6, -19.7, -15.0, -8.4,  -6.0,  -4.2,  -1.8, -0.9,
                          0,   -0.9,  -2.1,  -5.9,  -10.4, -14.2, -17.3, -23.0};
constexpr size_t kPoints = std::size(kHz);
constexpr double kLowPointWeight = 0.2;  // 0.1 Hz, outside the band the fit is for

struct Setup {
    bool digital = false;   // also the bilinear form at kLowestRate
    double between = 0.05;  // weight of the interpolation between the points
    std::vector<double> weights = std::vector<double>(kPoints, 1.0);
};

double Interpolated(double hz) {
    for (size_t i = 0; i + 1 < kPoints; ++i) {
        if (hz <= kHz[i + 1]) {
            const double t = std::log(hz / kHz[i]) / std::log(kHz[i + 1] / kHz[i]);
            return kDb[i] + t * (kDb[i + 1] - kDb[i]);
        }
    }
    return kDb[kPoints - 1];
}

// Response at hz; rate 0: the analog prototype, otherwise its bilinear form at that rate.
Complex Response(const Params& p, double hz, double rate) {
    const Complex s(
        0.0, rate > 0.0 ? rate / std::numbers::pi * std::tan(std::numbers::pi * hz / rate) : hz);
    Complex h = s * s * s;
    for (int k = 0; k < kNumerators + kDenominators; ++k) {
        const Complex q = s * s + std::exp(p[2 * k]) * s + std::exp(p[2 * k + 1]);
        h = k < kNumerators ? h * q : h / q;
    }
    return h;
}

double Db(const Params& p, double hz, double rate = 0.0) {
    return 20.0 * std::log10(std::abs(Response(p, hz, rate)) / std::abs(Response(p, 4.0, rate)));
}

// The larger error at table point i of the forms fitted.
double PointError(const Params& p, size_t i, const Setup& setup) {
    double e = std::fabs(Db(p, kHz[i]) - kDb[i]);
    if (setup.digital) e = std::max(e, std::fabs(Db(p, kHz[i], kLowestRate) - kDb[i]));
    return e;
}

std::vector<double> Residuals(const Params& p, const Setup& setup) {
    std::vector<double> r;
    for (size_t i = 0; i < kPoints; ++i) {
        r.push_back((Db(p, kHz[i]) - kDb[i]) * setup.weights[i]);
        if (setup.digital) r.push_back((Db(p, kHz[i], kLowestRate) - kDb[i]) * setup.weights[i]);
    }
    for (size_t i = 1; i + 1 < kPoints; ++i) {
        for (int j = 1; j < 8; ++j) {
            const double hz = kHz[i] * std::pow(kHz[i + 1] / kHz[i], j / 8.0);
            r.push_back((Db(p, hz) - Interpolated(hz)) * setup.between);
        }
    }
    return r;
}

double SumOfSquares(const std::vector<double>& r) {
    double s = 0.0;
    for (double x : r) s += x * x;
    return s;
}

// Solves a x = b by Gaussian elimination with partial pivoting; false when singular.
bool Solve(std::vector<std::vector<double>> a, std::vector<double> b, std::vector<double>& x) {
    const size_t n = b.size();
    for (size_t i = 0; i < n; ++i) {
        size_t m = i;
        for (size_t j = i + 1; j < n; ++j)
            if (std::fabs(a[j][i]) > std::fabs(a[m][i])) m = j;
        std::swap(a[i], a[m]);
        std::swap(b[i], b[m]);
        if (std::fabs(a[i][i]) < 1e-300) return false;
        for (size_t j = i + 1; j < n; ++j) {
            const double f = a[j][i] / a[i][i];
            for (size_t k = i; k < n; ++k) a[j][k] -= f * a[i][k];
            b[j] -= f * b[i];
        }
    }
    x.assign(n, 0.0);
    for (size_t i = n; i-- > 0;) {
        double s = b[i];
        for (size_t k = i + 1; k < n; ++k) s -= a[i][k] * x[k];
        x[i] = s / a[i][i];
    }
    return true;
}

// Levenberg-Marquardt with a forward-difference Jacobian.
Params LevenbergMarquardt(Params p, int iterations, const Setup& setup) {
    double lambda = 1e-3;
    std::vector<double> r = Residuals(p, setup);
    double cost = SumOfSquares(r);
    const size_t n = p.size();
    for (int it = 0; it < iterations; ++it) {
        const size_t m = r.size();
        std::vector<std::vector<double>> jacobian(m, std::vector<double>(n));
        for (size_t j = 0; j < n; ++j) {
            Params q = p;
            constexpr double kStep = 1e-6;
            q[j] += kStep;
            const std::vector<double> rq = Residuals(q, setup);
            for (size_t i = 0; i < m; ++i) jacobian[i][j] = (rq[i] - r[i]) / kStep;
        }
        std::vector<std::vector<double>> normal(n, std::vector<double>(n, 0.0));
        std::vector<double> gradient(n, 0.0);
        for (size_t i = 0; i < m; ++i) {
            for (size_t j = 0; j < n; ++j) {
                gradient[j] -= jacobian[i][j] * r[i];
                for (size_t k = 0; k < n; ++k) normal[j][k] += jacobian[i][j] * jacobian[i][k];
            }
        }
        bool improved = false;
        for (int tries = 0; tries < 20 && !improved; ++tries) {
            auto damped = normal;
            for (size_t j = 0; j < n; ++j) damped[j][j] += lambda * (normal[j][j] + 1e-12);
            std::vector<double> step;
            if (!Solve(damped, gradient, step)) {
                lambda *= 10.0;
                continue;
            }
            Params q = p;
            for (size_t j = 0; j < n; ++j) q[j] += step[j];
            const std::vector<double> rq = Residuals(q, setup);
            const double c = SumOfSquares(rq);
            if (std::isfinite(c) && c < cost) {
                if (cost - c < 1e-14 * cost) it = iterations;  // converged
                p = q;
                r = rq;
                cost = c;
                lambda = std::max(lambda / 3.0, 1e-12);
                improved = true;
            } else {
                lambda *= 4.0;
            }
        }
        if (!improved) break;
    }
    return p;
}

double Worst(const Params& p, const Setup& setup) {
    double worst = 0.0;
    for (size_t i = 1; i < kPoints; ++i) worst = std::max(worst, PointError(p, i, setup));
    return worst;
}

// Least squares, then 60 rounds of Lawson's reweighting towards the minimax at the points;
// the best round's parameters.
Params Fit(Params p, Setup setup) {
    setup.weights.assign(kPoints, 1.0);
    setup.weights[0] = kLowPointWeight;
    p = LevenbergMarquardt(p, 300, setup);
    Params best = p;
    double bestWorst = Worst(p, setup);
    for (int round = 0; round < 60; ++round) {
        double sum = 0.0;
        for (size_t i = 1; i < kPoints; ++i) {
            setup.weights[i] *= std::sqrt(PointError(p, i, setup) + 1e-4);
            sum += setup.weights[i];
        }
        for (size_t i = 1; i < kPoints; ++i) setup.weights[i] *= 2.0 * (kPoints - 1) / sum;
        p = LevenbergMarquardt(p, 60, setup);
        const double worst = Worst(p, setup);
        if (std::isfinite(worst) && worst < bestWorst) {
            bestWorst = worst;
            best = p;
        }
    }
    return best;
}

}  // namespace

int main() {
    std::mt19937 random(2);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const Setup first;
    Params best;
    double bestWorst = INFINITY;
    for (int start = 0; start < 17; ++start) {
        Params p;
        for (int k = 0; k < kNumerators + kDenominators; ++k) {
            // A corner from 0.3 to 300 Hz, log-uniform, and a Q from 0.3 to 1.8.
            const double w = std::exp(std::log(0.3) + unit(random) * std::log(1000.0));
            const double q = 0.3 + 1.5 * unit(random);
            p.push_back(std::log(w / q));
            p.push_back(std::log(w * w));
        }
        const Params found = Fit(p, first);
        if (Worst(found, first) < bestWorst) {
            bestWorst = Worst(found, first);
            best = found;
        }
    }
    Setup second;
    second.digital = true;
    second.between = 0.4;
    best = Fit(best, second);
    std::printf("b c of each quadratic, numerators first:\n");
    for (size_t k = 0; k < best.size(); k += 2)
        std::printf("  {1.0, %.17g, %.17g}\n", std::exp(best[k]), std::exp(best[k + 1]));
    std::printf("Hz, table dB, error of the analog prototype and at 4000 Hz (dB):\n");
    for (size_t i = 0; i < kPoints; ++i) {
        std::printf("%8.3f %7.2f %+8.4f %+8.4f\n", kHz[i], kDb[i], Db(best, kHz[i]) - kDb[i],
                    Db(best, kHz[i], kLowestRate) - kDb[i]);
    }
}
