// Design aid, not part of the build: fits the poles and zeros of the weighting filter's analog
// prototype (meter/weighting.cpp) to the tabulated curve by multi-start Nelder-Mead on the dB
// errors, the points from 0.4 to 100 Hz counted four times. Prints the corners in Hz and the
// error at each point. Build and run: g++ -O2 -std=c++20 fit_weighting.cpp && ./a.out
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <random>

namespace {

constexpr int kParams = 8;
using Params = std::array<double, kParams>;  // logarithms of w, Q, a, z1, p1, p2, z2, p3

constexpr double kHz[] = {0.1, 0.2, 0.315, 0.4, 0.63, 0.8, 1,   1.6, 2,
                          4,   6.3, 10,    20,  40,   63,  100, 200};
constexpr double kDb[] = {-48, -30.6, -19.7, -15.0, -8.4,  -6.0,  -4.2,  -1.8, -0.9,
                          0,   -0.9,  -2.1,  -5.9,  -10.4, -14.2, -17.3, -23.0};

std::complex<double> Response(const Params& p, double hz) {
    const std::complex<double> s(0.0, hz);
    double c[kParams];
    for (int i = 0; i < kParams; ++i) c[i] = std::exp(p[static_cast<size_t>(i)]);
    const auto [w, q, a, z1, p1, p2, z2, p3] = c;
    const std::complex<double> highPass = s * s / (s * s + s * w / q + w * w) * s / (s + a);
    return highPass * ((s + z1) * (s + z2) / ((s + p1) * (s + p2) * (s + p3)));
}

// Sum of squared weighted errors plus ten times the square of the largest one.
double Cost(const Params& p, bool print = false) {
    const double at4 = 20.0 * std::log10(std::abs(Response(p, 4.0)));
    double sum = 0.0, largest = 0.0;
    for (size_t i = 0; i < std::size(kHz); ++i) {
        const double error = 20.0 * std::log10(std::abs(Response(p, kHz[i]))) - at4 - kDb[i];
        const double weight = kHz[i] >= 0.4 && kHz[i] <= 100.0 ? 4.0 : 1.0;
        sum += (weight * error) * (weight * error);
        largest = std::max(largest, std::fabs(error) * weight);
        if (print) std::printf("%8.3f Hz %7.2f dB  error %+.4f dB\n", kHz[i], kDb[i], error);
    }
    return sum + 10.0 * largest * largest;
}

Params NelderMead(std::array<Params, kParams + 1> simplex, int iterations) {
    std::array<double, kParams + 1> cost;
    for (size_t i = 0; i < simplex.size(); ++i) cost[i] = Cost(simplex[i]);
    for (int it = 0; it < iterations; ++it) {
        std::array<size_t, kParams + 1> order;
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](size_t x, size_t y) { return cost[x] < cost[y]; });
        const auto s = simplex;
        const auto c = cost;
        for (size_t i = 0; i < order.size(); ++i) {
            simplex[i] = s[order[i]];
            cost[i] = c[order[i]];
        }
        Params centre{};
        for (size_t i = 0; i < kParams; ++i)
            for (size_t j = 0; j < kParams; ++j) centre[j] += simplex[i][j] / kParams;
        auto along = [&](double t) {
            Params r;
            for (size_t j = 0; j < kParams; ++j)
                r[j] = centre[j] + t * (simplex[kParams][j] - centre[j]);
            return r;
        };
        const Params reflected = along(-1.0);
        const double reflectedCost = Cost(reflected);
        if (reflectedCost < cost[0]) {
            const Params expanded = along(-2.0);
            const double expandedCost = Cost(expanded);
            simplex[kParams] = expandedCost < reflectedCost ? expanded : reflected;
            cost[kParams] = std::min(expandedCost, reflectedCost);
        } else if (reflectedCost < cost[kParams - 1]) {
            simplex[kParams] = reflected;
            cost[kParams] = reflectedCost;
        } else {
            const Params contracted = along(0.5);
            const double contractedCost = Cost(contracted);
            if (contractedCost < cost[kParams]) {
                simplex[kParams] = contracted;
                cost[kParams] = contractedCost;
            } else {
                for (size_t i = 1; i <= kParams; ++i) {
                    for (size_t j = 0; j < kParams; ++j)
                        simplex[i][j] = simplex[0][j] + 0.5 * (simplex[i][j] - simplex[0][j]);
                    cost[i] = Cost(simplex[i]);
                }
            }
        }
    }
    return *std::min_element(simplex.begin(), simplex.end(),
                             [](const Params& x, const Params& y) { return Cost(x) < Cost(y); });
}

}  // namespace

int main() {
    const Params start = {std::log(0.8), std::log(0.7),   std::log(0.5),  std::log(10.0),
                          std::log(4.0), std::log(100.0), std::log(30.0), std::log(15.0)};
    std::mt19937 random(1);
    std::uniform_real_distribution<double> spread(-1.0, 1.0);
    Params best = start;
    for (int trial = 0; trial < 60; ++trial) {
        std::array<Params, kParams + 1> simplex;
        for (size_t i = 0; i < simplex.size(); ++i) {
            for (size_t j = 0; j < kParams; ++j)
                simplex[i][j] = start[j] + spread(random) * 1.5 + (i == j + 1 ? 0.3 : 0.0);
        }
        const Params found = NelderMead(simplex, 40000);
        if (Cost(found) < Cost(best)) best = found;
    }
    std::printf("w Q a z1 p1 p2 z2 p3 (Hz):");
    for (double v : best) std::printf(" %.10g", std::exp(v));
    std::printf("\n");
    Cost(best, true);
}
