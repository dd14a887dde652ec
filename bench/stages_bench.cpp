// Cost of the meter's streaming stages per second of 44.1 kHz audio (5512.5 baseband samples a
// second): each stage on its own, all of them together, and the weighting filter the chain
// already runs as the reference they are quoted against.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "meter/dsp/flat_band.h"
#include "meter/dsp/weighting.h"
#include "meter/engine/drift.h"
#include "meter/engine/quasi_peak.h"
#include "meter/engine/revolution.h"
#include "meter/engine/wow_flutter.h"

namespace {

using namespace wobblemeter;

constexpr double kBaseband = 5512.5;

// One second of deviation, Hz: 1 % of a 3150 Hz carrier at 4 Hz and a little at 33 Hz.
const std::vector<double>& Second() {
    static const std::vector<double> x = [] {
        std::vector<double> v(5513);
        for (size_t n = 0; n < v.size(); ++n) {
            const double t = static_cast<double>(n) / kBaseband;
            v[n] = 31.5 * std::sin(2.0 * std::numbers::pi * 4.0 * t) +
                   0.5 * std::sin(2.0 * std::numbers::pi * 33.0 * t);
        }
        return v;
    }();
    return x;
}

void Weighting(benchmark::State& state) {
    BiquadCascade filter = MakeWeightingFilter(kBaseband);
    double sum = 0.0;
    for (auto _ : state)
        for (double x : Second()) sum += filter.Process(x);
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(Weighting);

void FlatBand(benchmark::State& state) {
    BiquadCascade filter = MakeFlatBandFilter(kBaseband);
    double sum = 0.0;
    for (auto _ : state)
        for (double x : Second()) sum += filter.Process(x);
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(FlatBand);

void QuasiPeak(benchmark::State& state) {
    QuasiPeakDetector detector(kBaseband);
    for (auto _ : state) detector.Push(Second().data(), Second().size(), true);
    benchmark::DoNotOptimize(detector.Reading());
}
BENCHMARK(QuasiPeak);

void Drift(benchmark::State& state) {
    DriftMeter drift(kBaseband);
    for (auto _ : state) drift.Push(Second().data(), Second().size(), true);
    benchmark::DoNotOptimize(drift.Slow().High());
}
BENCHMARK(Drift);

void WowFlutter(benchmark::State& state) {
    WowFlutterSplit split(kBaseband);
    for (auto _ : state) split.Push(Second().data(), Second().size(), true);
    benchmark::DoNotOptimize(split.Wow().Rms());
}
BENCHMARK(WowFlutter);

void Fold(benchmark::State& state) {
    RevolutionFold fold(kBaseband, 100.0 / 3.0 / 60.0);
    for (auto _ : state) fold.Push(Second().data(), Second().size(), true);
    benchmark::DoNotOptimize(fold.Revolutions());
}
BENCHMARK(Fold);

// Everything a measurement with --rpm adds, as the chain would run it.
void AllNewStages(benchmark::State& state) {
    BiquadCascade band = MakeFlatBandFilter(kBaseband);
    BiquadCascade weighting = MakeWeightingFilter(kBaseband);
    QuasiPeakDetector detector(kBaseband);
    DriftMeter drift(kBaseband);
    WowFlutterSplit split(kBaseband);
    RevolutionFold fold(kBaseband, 100.0 / 3.0 / 60.0);
    for (auto _ : state) {
        for (double x : Second()) {
            const double u = band.Process(x);
            const double w = weighting.Process(x);
            detector.Push(w, true);
            drift.Push(x, true);
            split.Push(w, true);
            fold.Push(u, true);
        }
    }
    benchmark::DoNotOptimize(detector.Reading());
}
BENCHMARK(AllNewStages);

}  // namespace

BENCHMARK_MAIN();
