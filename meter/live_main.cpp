// wobblemeter's live commands: lists capture devices, and records a device's channel into a
// WAV file, with progress and overruns on standard error and a summary on standard output.
#include "meter/live_main.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>

#include "meter/capture.h"
#include "meter/live_record.h"
#include "meter/meter.h"

namespace wobblemeter {
namespace {

constexpr int kExitFailed = 1;
// The progress line on a terminal is redrawn this often.
constexpr std::chrono::milliseconds kProgressInterval{250};

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RequestStop(int) {
    stopRequested.store(true);
}

// Ctrl-C (and SIGTERM) end the recording cleanly; a second one ends the program at once. A
// signal ignored from the start (SIGINT of a background job) stays ignored.
void CatchStopSignals() {
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = RequestStop;
        action.sa_flags = static_cast<int>(SA_RESETHAND);
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

bool FlushedStdout() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    std::fprintf(stderr, "wobblemeter: cannot write the summary: %s\n",
                 errno != 0 ? std::strerror(errno) : "write error");
    return false;
}

}  // namespace

int ListDevicesCommand() {
    std::vector<CaptureDeviceInfo> devices;
    try {
        devices = ListCaptureDevices();
    } catch (const CaptureError& e) {
        std::fprintf(stderr, "wobblemeter: %s\n", e.what());
        return kExitFailed;
    }
    if (devices.empty()) {
        std::fprintf(stderr, "wobblemeter: no capture device found\n");
        return kExitFailed;
    }
    std::printf("  channels    rate  name\n");
    for (const CaptureDeviceInfo& device : devices)
        std::printf("%c %8d %7.0f  %s\n", device.isDefault ? '*' : ' ', device.maxInputChannels,
                    device.defaultRate, device.name.c_str());
    std::printf("(* the default device)\n");
    return FlushedStdout() ? 0 : kExitFailed;
}

int RecordLiveCommand(const LiveArguments& arguments) {
    const bool terminal = isatty(STDERR_FILENO) != 0;
    long long recorded = 0;
    int rate = 0;
    bool progressShown = false;
    auto endProgress = [&progressShown] {
        if (progressShown) std::fprintf(stderr, "\r%60s\r", "");
        progressShown = false;
    };
    try {
        CaptureOptions options;
        options.device = arguments.device;
        options.rate = arguments.rate;
        options.channel = arguments.channel;
        const std::unique_ptr<CaptureSource> source = OpenCaptureDevice(options);
        rate = source->SampleRate();

        RecordOptions record;
        record.frames = std::llround(arguments.durationSeconds * rate);
        record.stopRequested = [] { return stopRequested.load(); };
        record.onLoss = [&](long long atFrame, long long frames) {
            endProgress();
            std::fprintf(stderr,
                         "wobblemeter: input overrun at %.3f s: %lld frames lost, recorded as "
                         "silence\n",
                         static_cast<double>(atFrame) / rate, frames);
        };
        auto shown = std::chrono::steady_clock::now();
        record.onProgress = [&](long long frames) {
            recorded = frames;
            const auto now = std::chrono::steady_clock::now();
            if (!terminal || now - shown < kProgressInterval) return;
            shown = now;
            std::fprintf(stderr, "\rwobblemeter: recording %.1f s",
                         static_cast<double>(frames) / rate);
            if (arguments.durationSeconds > 0)
                std::fprintf(stderr, " of %.1f s", arguments.durationSeconds);
            std::fflush(stderr);
            progressShown = true;
        };
        CatchStopSignals();
        const RecordResult result = RecordCapture(*source, arguments.record, record);
        endProgress();
        if (result.full)
            std::fprintf(stderr,
                         "wobblemeter: %s holds 4 GiB, the most a WAV file can: recording "
                         "stopped at %.0f s\n",
                         arguments.record.c_str(), static_cast<double>(result.frames) / rate);

        std::printf("Recorded:           %s\n", arguments.record.c_str());
        std::printf("Device:             %s, channel %d, %d Hz\n", source->DeviceName().c_str(),
                    arguments.channel, rate);
        std::printf("Audio:              %.3f s (%lld frames)\n",
                    static_cast<double>(result.frames) / rate, result.frames);
        if (result.losses == 0)
            std::printf("Lost:               none\n");
        else
            std::printf("Lost:               %lld frames in %d overrun(s), recorded as silence\n",
                        result.lostFrames, result.losses);
        return FlushedStdout() ? 0 : kExitFailed;
    } catch (const CaptureError& e) {
        endProgress();
        if (recorded > 0)
            std::fprintf(stderr, "wobblemeter: %s; %s holds the %.3f s recorded before\n", e.what(),
                         arguments.record.c_str(), static_cast<double>(recorded) / rate);
        else
            std::fprintf(stderr, "wobblemeter: %s\n", e.what());
    } catch (const MeterError& e) {
        endProgress();
        std::fprintf(stderr, "wobblemeter: %s\n", e.what());
    } catch (const std::exception& e) {
        endProgress();
        std::fprintf(stderr, "wobblemeter: %s\n", e.what());
    }
    return kExitFailed;
}

}  // namespace wobblemeter
