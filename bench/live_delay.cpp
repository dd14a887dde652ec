// The live meter's delay from sound to displayed figure, measured in process with the session
// and the command line's display loop (waiting for news, drawing at most every 40 ms): for each
// draw, the age of the newest audio in the figures drawn, from when that audio entered the
// device (the capture's estimate) to the moment the lines are formatted. Also the chain's own
// delay (audio taken but not yet demodulated) and the device's reported latency. A benchmark,
// not a test. Usage: wobblemeter-live-delay DEVICE RATE SECONDS (bench/live_bench.sh runs it).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "meter/cli/live_display.h"
#include "meter/live/live_session.h"

namespace {

using Clock = std::chrono::steady_clock;

double Quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: wobblemeter-live-delay DEVICE RATE SECONDS\n");
        return 2;
    }
    wobblemeter::LiveOptions options;
    options.capture.device = argv[1];
    options.capture.rate = std::atoi(argv[2]);
    options.durationSeconds = std::atof(argv[3]);
    wobblemeter::LiveSession session;
    session.StartLive(options);

    std::vector<double> ages, chain;
    uint64_t seen = 0;
    Clock::time_point drawn{};
    size_t characters = 0;
    for (;;) {
        seen = session.WaitForUpdate(seen, std::chrono::milliseconds(100));
        const wobblemeter::SessionSnapshot s = session.Snapshot();
        if (s.status == wobblemeter::SessionStatus::kFinished ||
            s.status == wobblemeter::SessionStatus::kFailed)
            break;
        const Clock::time_point now = Clock::now();
        if (s.status != wobblemeter::SessionStatus::kRunning ||
            now - drawn < std::chrono::milliseconds(40) || s.audioCapturedAt == Clock::time_point{})
            continue;
        for (const std::string& line : wobblemeter::DisplayLines(s, 5.0, 80))
            characters += line.size();
        ages.push_back(std::chrono::duration<double>(Clock::now() - s.audioCapturedAt).count());
        if (s.latest.state == wobblemeter::MeterState::kMeasuring)
            chain.push_back(s.seconds - s.latest.timeSeconds);
        drawn = now;
    }
    session.Stop();
    const wobblemeter::SessionSnapshot s = session.Snapshot();
    if (s.status == wobblemeter::SessionStatus::kFailed) {
        std::fprintf(stderr, "wobblemeter-live-delay: %s\n", s.error.c_str());
        return 1;
    }
    std::printf("draws: %zu in %.1f s of audio (%.1f a second; %zu characters formatted)\n",
                ages.size(), s.seconds, static_cast<double>(ages.size()) / s.seconds, characters);
    std::printf("newest audio's age when drawn: median %.1f ms, 95 %% %.1f ms, max %.1f ms\n",
                1e3 * Quantile(ages, 0.5), 1e3 * Quantile(ages, 0.95), 1e3 * Quantile(ages, 1.0));
    std::printf("the device's reported latency: %.1f ms\n", 1e3 * s.deviceLatency);
    std::printf("the chain's own delay (taken, not yet demodulated): median %.1f ms, max %.1f ms\n",
                1e3 * Quantile(chain, 0.5), 1e3 * Quantile(chain, 1.0));
    std::printf("overruns: %d (%lld frames lost)\n", s.overruns, s.lostFrames);
    return 0;
}
