// Design aid, not part of the build: derives the time constants of the quasi-peak detector
// (meter/quasi_peak.cpp) from its two time-response points. The charge time constant is
// chosen (1 ms); the instrument's time constant is found so that a train of 60 ms pulses, one a
// second, reads 90 % of a steady 4 Hz sine of the same peak-to-peak, and the discharge time
// constant so that between 100 ms pulses the indication falls to 40 %; the scale makes the
// sine read its peak. Simulated at 96 kHz with the meter's own update, nested bisection.
// Build and run: g++ -O2 -std=c++20 fit_quasi_peak.cpp && ./a.out
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <numbers>

namespace {

constexpr double kRate = 96000.0;
constexpr double kChargeSeconds = 0.001;
constexpr double kSineHz = 4.0;
constexpr double kRunSeconds = 20.0;  // long enough for the periodic steady state

struct Constants {
    double discharge, instrument, scale;
};

struct Extremes {
    double high, low;
};

// Largest and smallest indication over the last second of the run. pulse <= 0: a steady sine of
// peak 1; otherwise pulses of height 2 (peak-to-peak 2, as the sine's) and that length, 1 s apart.
Extremes Run(const Constants& c, double pulse) {
    const double charge = 1.0 - std::exp(-1.0 / (kRate * kChargeSeconds));
    const double discharge = std::exp(-1.0 / (kRate * c.discharge));
    const double lag = 1.0 - std::exp(-1.0 / (kRate * c.instrument));
    double positive = 0.0, negative = 0.0, first = 0.0, indication = 0.0;
    Extremes e{-1e9, 1e9};
    const auto n = static_cast<long>(kRunSeconds * kRate);
    for (long i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double x = pulse <= 0.0 ? std::sin(2.0 * std::numbers::pi * kSineHz * t)
                                      : (std::fmod(t, 1.0) < pulse ? 2.0 : 0.0);
        positive *= discharge;
        negative *= discharge;
        if (x > positive) positive += (x - positive) * charge;
        if (-x > negative) negative += (-x - negative) * charge;
        first += (c.scale * 0.5 * (positive + negative) - first) * lag;
        indication += (first - indication) * lag;
        if (t >= kRunSeconds - 1.0) {
            e.high = std::fmax(e.high, indication);
            e.low = std::fmin(e.low, indication);
        }
    }
    return e;
}

// The scale that makes the steady sine read 1.
double Calibrate(Constants c) {
    c.scale = 1.0;
    return 1.0 / Run(c, 0.0).high;
}

}  // namespace

int main() {
    Constants c{0.0, 0.0, 1.0};
    double dischargeLow = 0.1, dischargeHigh = 5.0;
    for (int i = 0; i < 40; ++i) {
        c.discharge = 0.5 * (dischargeLow + dischargeHigh);
        double instrumentLow = 0.001, instrumentHigh = 1.0;
        for (int j = 0; j < 40; ++j) {
            c.instrument = std::sqrt(instrumentLow * instrumentHigh);
            c.scale = Calibrate(c);
            // A slower instrument reads a short pulse lower.
            (Run(c, 0.060).high > 0.9 ? instrumentLow : instrumentHigh) = c.instrument;
        }
        c.scale = Calibrate(c);
        // A slower discharge keeps the indication higher between pulses.
        (Run(c, 0.100).low > 0.4 ? dischargeHigh : dischargeLow) = c.discharge;
    }
    c.scale = Calibrate(c);
    const Extremes sine = Run(c, 0.0);
    std::printf("charge %.4f s, discharge %.6f s, instrument %.6f s, scale %.6f\n", kChargeSeconds,
                c.discharge, c.instrument, c.scale);
    std::printf("steady 4 Hz: %.5f ... %.5f\n", sine.low, sine.high);
    for (double pulse : {0.010, 0.030, 0.060, 0.100, 0.200, 0.500}) {
        const Extremes e = Run(c, pulse);
        std::printf("%3.0f ms pulses: %.4f ... %.4f\n", pulse * 1000.0, e.low, e.high);
    }
}
