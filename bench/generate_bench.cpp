// Speed of the test-tone generator on the default 30-second signal, in samples per second:
// GenerateTestTone against the straightforward per-sample loop (WriteTestToneReference), each
// writing a file to /tmp, and every sample kernel on its own writing to /dev/null. Wall-clock
// time, so that the file system's share counts as it does for the programs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "synth/test_tone.h"

namespace {

constexpr int kRate = 44100;
constexpr double kCenter = 3150.0;
constexpr double kLevel = 1.0;
constexpr double kMod = 4.0;
constexpr double kDuration = 30.0;

// Sends the generator's standard-output lines to /dev/null while the benchmark runs, so that
// they neither cost terminal time nor mix with the report.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_;
};

std::string TempPath() {
    return "/tmp/wobblegen-bench-" + std::to_string(getpid()) + ".wav";
}

void SetSamples(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * TestToneFrames(kRate, kDuration));
}

// The generator as the programs call it.
void BM_GenerateTestTone(benchmark::State& state) {
    const std::string path = TempPath();
    QuietStdout quiet;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            GenerateTestTone(kRate, path.c_str(), kCenter, kLevel, kMod, kDuration));
    }
    SetSamples(state);
    std::remove(path.c_str());
}
BENCHMARK(BM_GenerateTestTone)->Unit(benchmark::kMillisecond)->UseRealTime();

// The straightforward loop, opened, buffered and closed the way GenerateTestTone does it: the
// same 32 KiB stream buffer, so that only the sample loop differs.
void BM_StraightforwardLoop(benchmark::State& state) {
    const std::string path = TempPath();
    QuietStdout quiet;
    for (auto _ : state) {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            state.SkipWithError("cannot open the output file");
            break;
        }
        char streamBuffer[2 * kSampleBlockSize * sizeof(int16_t)];
        std::setvbuf(file, streamBuffer, _IOFBF, sizeof streamBuffer);
        benchmark::DoNotOptimize(
            WriteTestToneReference(file, kRate, kCenter, kLevel, kMod, kDuration));
        std::fclose(file);
    }
    SetSamples(state);
    std::remove(path.c_str());
}
BENCHMARK(BM_StraightforwardLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each kernel without the file system: the samples go to /dev/null.
void BM_Kernel(benchmark::State& state) {
    const auto kernel = static_cast<ToneKernel>(state.range(0));
    state.SetLabel(ToneKernelName(kernel));
    const ToneKernel saved = ActiveToneKernel();
    if (!SetToneKernel(kernel)) {
        state.SkipWithError("not available on this processor or in this build");
        return;
    }
    QuietStdout quiet;
    FILE* null = std::fopen("/dev/null", "wb");
    std::setvbuf(null, nullptr, _IONBF, 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(WriteTestTone(null, kRate, kCenter, kLevel, kMod, kDuration));
    }
    std::fclose(null);
    SetToneKernel(saved);
    SetSamples(state);
}
BENCHMARK(BM_Kernel)
    ->DenseRange(static_cast<int>(ToneKernel::kPortable), static_cast<int>(ToneKernel::kAvx512))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The console report, then GenerateTestTone's speed as a multiple of the straightforward loop's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Color : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto items = run.counters.find("items_per_second");
            if (items == run.counters.end() || run.run_type != Run::RT_Iteration) continue;
            const std::string name = run.benchmark_name();
            if (name.rfind("BM_GenerateTestTone", 0) == 0) fast_ = items->second.value;
            if (name.rfind("BM_StraightforwardLoop", 0) == 0) reference_ = items->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (fast_ > 0.0 && reference_ > 0.0) {
            std::printf(
                "GenerateTestTone: %.1f M samples/s, straightforward loop: %.1f M samples/s, "
                "ratio %.2f\n",
                fast_ / 1e6, reference_ / 1e6, fast_ / reference_);
        }
    }

private:
    double fast_ = 0.0;
    double reference_ = 0.0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
