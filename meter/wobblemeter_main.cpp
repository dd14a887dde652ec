// wobblemeter: reads a recording of a wow-and-flutter test tone and prints its readings.
#include <malloc.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "meter/csv_log.h"
#include "meter/live_main.h"
#include "meter/meter.h"
#include "meter/plot.h"
#include "meter/report.h"
#include "res/version.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Measurements that take longer than this show their progress on a terminal.
constexpr std::chrono::milliseconds kProgressDelay{500};

// Flushes the readings to stdout; says so on stderr when they could not be written (a full
// disk, a closed pipe).
bool WroteReadings() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    std::fprintf(stderr, "wobblemeter: cannot write the readings: %s\n",
                 errno != 0 ? std::strerror(errno) : "write error");
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Keep freed buffers for reuse instead of handing them back to the system: the
    // measurement allocates and frees buffers of a few MiB, and every page the system hands
    // out anew costs a page fault, which on some virtual machines is most of the run's time.
    // Peak memory stays that of the largest moment.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);

    std::string path;
    std::string plot;
    std::string log;
    bool json = false;
    wobblemeter::MeterOptions options;

    CLI::App app{
        "Measures wow and flutter in a recording of a test tone (3150 or 3000 Hz): the weighted\n"
        "and unweighted two-sigma peak, the weighted RMS, the speed error and the dominant\n"
        "modulation frequency.",
        "wobblemeter"};
    app.set_version_flag("--version", std::string("wobblemeter version " WOBBLEGEN_VERSION_TEXT));
    app.add_option("FILE", path,
                   "Recording to measure (WAV, FLAC, AIFF ... anything libsndfile reads)");
    app.add_option("--channel", options.channel, "Channel to measure, counted from 1")
        ->check(CLI::Range(1, 1024))
        ->capture_default_str();
    app.add_option("--carrier", options.carrierHz, "Carrier frequency in Hz instead of finding it")
        ->check(CLI::Range(wobblemeter::kMinCarrierHz, wobblemeter::kMaxCarrierHz));
    app.add_option(
           "--nominal", options.nominalHz,
           "Nominal carrier in Hz for the speed error (default: the nearer of 3150 and 3000)")
        ->check(CLI::Range(1.0, 1e6));
    app.add_flag("--json", json, "Print the readings as one JSON object");
    app.add_option("--plot", plot, "Draw the deviation and its spectrum into FILE (.png or .svg)");
    app.add_option("--log", log,
                   "Write the readings of every second into FILE.csv as they form (time, carrier, "
                   "speed error, two-sigma and RMS over the window, modulation, tone present)");
    app.add_option("--window", options.windowSeconds,
                   "Seconds the readings of --log and --live are taken over (the standard's "
                   "least is 5)")
        ->check(CLI::Range(1.0, wobblemeter::kMaxWindowSeconds))
        ->capture_default_str();
    wobblemeter::LiveArguments live;
    bool listDevices = false;
    bool liveMode = false;
    CLI::Option* liveFlag =
        app.add_flag("--live", liveMode,
                     "Measure from a capture device instead of a file, until --duration or "
                     "Ctrl-C");
    app.add_flag("--list-devices", listDevices, "List the capture devices and exit");
    app.add_option("--device", live.device,
                   "Capture device: a name from --list-devices or an ALSA PCM (hw:1,0, "
                   "plughw:1,0, a PCM of ~/.asoundrc); default: the default device")
        ->needs(liveFlag);
    app.add_option("--rate", live.rate, "Capture rate in Hz (default: the device's)")
        ->check(CLI::Range(wobblemeter::kMinSampleRate, wobblemeter::kMaxSampleRate))
        ->needs(liveFlag);
    app.add_option("--duration", live.durationSeconds,
                   "Stop after this many seconds of captured audio (default: at Ctrl-C)")
        ->check(CLI::PositiveNumber)
        ->needs(liveFlag);
    app.add_option("--record", live.record, "Keep the captured audio in FILE.wav")->needs(liveFlag);
    app.footer(
        "Exit status: 0 measured, 1 the file or session cannot be measured (or the device\n"
        "fails), 2 bad arguments.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "wobblemeter: %s (see --help)\n", e.what());
        return kExitUsage;
    }
    if (listDevices) return wobblemeter::ListDevicesCommand();
    if (liveMode && !path.empty()) {
        std::fprintf(stderr, "wobblemeter: --live takes no FILE (see --help)\n");
        return kExitUsage;
    }
    if (!liveMode && path.empty()) {
        std::fprintf(stderr, "wobblemeter: FILE is required (see --help)\n");
        return kExitUsage;
    }
    if (!plot.empty()) {
        const auto dot = plot.rfind('.');
        std::string extension = dot == std::string::npos ? "" : plot.substr(dot);
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (extension != ".png" && extension != ".svg") {
            std::fprintf(stderr, "wobblemeter: --plot: '%s' must end in .png or .svg\n",
                         plot.c_str());
            return kExitUsage;
        }
    }

    if (liveMode) {
        live.log = log;
        live.plot = plot;
        live.json = json;
        live.meter = options;
        return wobblemeter::LiveCommand(live);
    }

    // On a terminal, a measurement that takes a while shows how far it has read.
    bool progressShown = false;
    if (isatty(STDERR_FILENO)) {
        const auto started = std::chrono::steady_clock::now();
        int shown = -1;
        options.progress = [&progressShown, started, shown](double fraction) mutable {
            const int percent = static_cast<int>(100.0 * fraction);
            if (percent == shown || std::chrono::steady_clock::now() - started < kProgressDelay)
                return;
            std::fprintf(stderr, "\rwobblemeter: reading %3d %%", percent);
            std::fflush(stderr);
            shown = percent;
            progressShown = true;
        };
    }

    // The log is created before measuring, so that an unwritable path is found at once.
    std::unique_ptr<wobblemeter::CsvLog> csv;
    if (!log.empty()) {
        try {
            csv = std::make_unique<wobblemeter::CsvLog>(log);
        } catch (const wobblemeter::MeterError& e) {
            std::fprintf(stderr, "wobblemeter: %s\n", e.what());
            return kExitFailed;
        }
        options.onSecond = [&csv](const wobblemeter::SecondReading& r) { csv->Write(r); };
    }
    // Says so when the log could not be written whole; true when it could (or there is none).
    auto logWritten = [&csv, &log] {
        if (!csv || csv->Close()) return true;
        std::fprintf(stderr, "wobblemeter: cannot write the log %s: %s\n", log.c_str(),
                     csv->Error().c_str());
        return false;
    };

    try {
        const wobblemeter::MeterResult result = wobblemeter::MeasureFile(path, options);
        if (!logWritten()) return kExitFailed;
        if (progressShown) std::fprintf(stderr, "\r%40s\r", "");
        const std::string text =
            json ? wobblemeter::FormatJson(result, path) : wobblemeter::FormatSummary(result, path);
        std::fputs(text.c_str(), stdout);
        if (!WroteReadings()) return kExitFailed;
        if (!plot.empty()) wobblemeter::WritePlot(result, path, plot);
    } catch (const wobblemeter::MeterError& e) {
        if (progressShown) std::fprintf(stderr, "\n");
        std::fprintf(stderr, "wobblemeter: %s: %s\n", path.c_str(), e.what());
        logWritten();
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "wobblemeter: %s: out of memory\n", path.c_str());
        return kExitFailed;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wobblemeter: %s: %s\n", path.c_str(), e.what());
        return kExitFailed;
    }
    return WroteReadings() ? 0 : kExitFailed;
}
