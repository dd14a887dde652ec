// Speed of the test-tone generator: the default 30-second file written to /tmp, in samples per
// second.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "synth/test_tone.h"

namespace {

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

void BM_GenerateDefaultFile(benchmark::State& state) {
    const std::string path = "/tmp/wobblegen-bench-" + std::to_string(getpid()) + ".wav";
    const double duration = static_cast<double>(state.range(0));
    QuietStdout quiet;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GenerateTestTone(44100, path.c_str(), 3150, 1, 4, duration));
    }
    state.SetItemsProcessed(state.iterations() * TestToneFrames(44100, duration));
    std::remove(path.c_str());
}
BENCHMARK(BM_GenerateDefaultFile)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
