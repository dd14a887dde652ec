// wobblemeter: reads a recording of a wow-and-flutter test tone and prints its readings.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "meter/cli/batch_main.h"
#include "meter/cli/live_main.h"
#include "meter/cli/number_options.h"
#include "meter/engine/revolution.h"
#include "meter/meter.h"
#include "meter/output/csv_log.h"
#include "meter/output/plot.h"
#include "meter/output/report.h"
#include "res/version.h"
#include "sys/output_file.h"
#include "sys/process.h"
#include "sys/std_streams.h"
#include "sys/terminal.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Measurements that take longer than this show their progress on a terminal.
constexpr std::chrono::milliseconds kProgressDelay{500};

// Writes the readings to stdout; returns the reason when they could not be written (closed
// at start, a full disk, a pipe whose reader has gone), empty when they were.
std::string WriteReadings(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::string reason;
    if (StandardStreamIntact(StandardStream::kOutput, &reason)) return {};
    return reason.empty() ? "write error" : reason;
}

// The plot's file from before the measurement to the end: discarded (an earlier plot stays as
// it was) unless it was handed to CommitPlot.
struct PendingPlot {
    FILE* file = nullptr;
    PendingPlot() = default;
    PendingPlot(const PendingPlot&) = delete;
    PendingPlot& operator=(const PendingPlot&) = delete;
    ~PendingPlot() {
        if (file != nullptr) DiscardOutputFile(file);
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Descriptors 0 to 2 open before anything else is, so that no file takes their place; a
    // reader of standard output that has gone makes writes fail instead of ending the program.
    EnsureStandardStreams();
    // Keep freed buffers for reuse instead of handing them back to the system: the
    // measurement allocates and frees buffers of a few MiB, and every page the system hands
    // out anew costs a page fault, which on some virtual machines is most of the run's time.
    // Peak memory stays that of the largest moment.
    KeepFreedMemoryForReuse();
    // Readings or a plot beyond the file-size limit fail like ones on a full disk, instead of
    // ending the program half-written.
    FailWritesBeyondFileSizeLimit();

    std::vector<std::string> paths;
    std::string plot;
    std::string log;
    std::string rpm;
    std::string verify;
    bool json = false;
    bool csvOutput = false;
    wobblemeter::MeterOptions options;

    CLI::App app{
        "Measures wow and flutter in a recording of a test tone (3150 or 3000 Hz): the weighted\n"
        "and unweighted two-sigma peak, the weighted quasi-peak, the weighted RMS split into wow\n"
        "and flutter, the drift, the speed error and the dominant modulation frequency.",
        "wobblemeter"};
    app.set_version_flag("--version", std::string("wobblemeter version " WOBBLEGEN_VERSION_TEXT));
    app.add_option("FILE", paths,
                   "Recordings to measure (WAV, FLAC, AIFF ... anything libsndfile reads); "
                   "several are measured side by side and reported in order");
    // Numbers are decimal: "010" is 10, never octal; hexadecimal, inf and nan are refused.
    app.add_option("--channel", options.channel, "Channel to measure, counted from 1")
        ->transform(wobblemeter::DecimalInteger(1, 1024))
        ->capture_default_str();
    app.add_option("--carrier", options.carrierHz, "Carrier frequency in Hz instead of finding it")
        ->transform(
            wobblemeter::DecimalReal(wobblemeter::kMinCarrierHz, wobblemeter::kMaxCarrierHz, "Hz"));
    app.add_option(
           "--nominal", options.nominalHz,
           "Nominal carrier in Hz for the speed error (default: the nearer of 3150 and 3000)")
        ->transform(wobblemeter::DecimalReal(1.0, 1e6, "Hz"));
    CLI::Option* rpmOption = app.add_option(
        "--rpm", rpm,
        std::string("Platter speed of a test record, ") + wobblemeter::kPlatterRpmChoices +
            ": the deviation per revolution, its once-per-revolution part, and the spectrum's "
            "lines at the rotation rate named");
    CLI::Option* jsonFlag =
        app.add_flag("--json", json,
                     "Print the readings as one JSON object (an array of them for several files)");
    app.add_flag("--csv", csvOutput,
                 "Print the readings as CSV: a header row and a row per file, its name first")
        ->excludes(jsonFlag);
    CLI::Option* verifyOption = app.add_option(
        "--verify", verify,
        "Measure the verification set in DIR (wobblegen-cli --calibration-set DIR) against its "
        "expected.csv and print expected, measured, error and pass or fail");
    const CLI::Option* plotOption = app.add_option(
        "--plot", plot,
        "Draw the deviation, its spectrum, the speed error and, with --rpm, the deviation per "
        "revolution into FILE (.png or .svg)");
    app.add_option("--log", log,
                   "Write the readings of every second into FILE.csv as they form (time, carrier, "
                   "speed error, two-sigma and RMS over the window, modulation, tone present, "
                   "quasi-peak, wow and flutter over the window, drift so far)");
    app.add_option("--window", options.windowSeconds,
                   "Seconds the readings of --log and --live are taken over (the standard's "
                   "least is 5)")
        ->transform(wobblemeter::DecimalReal(1.0, wobblemeter::kMaxWindowSeconds, "s"))
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
        ->transform(
            wobblemeter::DecimalInteger(wobblemeter::kMinSampleRate, wobblemeter::kMaxSampleRate))
        ->needs(liveFlag);
    app.add_option("--duration", live.durationSeconds,
                   "Stop after this many seconds of captured audio (default: at Ctrl-C)")
        ->transform(wobblemeter::DecimalPositive("s"))
        ->needs(liveFlag);
    app.add_option("--record", live.record, "Keep the captured audio in FILE.wav")->needs(liveFlag);
    app.footer(
        "Exit status: 0 measured (with --verify: every reading passes), 1 a file or the session\n"
        "cannot be measured (or the device fails, or a reading fails), 2 bad arguments.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        app.exit(e);  // --help or --version, to standard output
        std::string reason;
        if (StandardStreamIntact(StandardStream::kOutput, &reason)) return 0;
        std::fprintf(stderr, "wobblemeter: cannot write to standard output: %s\n", reason.c_str());
        return kExitFailed;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "wobblemeter: %s (see --help)\n", e.what());
        return kExitUsage;
    }
    if (listDevices) return wobblemeter::ListDevicesCommand();
    if (rpmOption->count() > 0) {
        const std::optional<double> platter = wobblemeter::ParsePlatterRpm(rpm);
        if (!platter) {
            std::fprintf(stderr,
                         "wobblemeter: --rpm: '%s' is not allowed: give %s, written without "
                         "spaces (see --help)\n",
                         rpm.c_str(), wobblemeter::kPlatterRpmChoices);
            return kExitUsage;
        }
        options.rpm = *platter;
    }
    if (verifyOption->count() > 0) {
        // The set's readings are fixed: every other option would change what is checked.
        for (const CLI::Option* option : app.get_options()) {
            if (option != verifyOption && option->count() > 0) {
                std::fprintf(stderr,
                             "wobblemeter: --verify takes no other option or FILE: %s "
                             "(see --help)\n",
                             option->get_name().c_str());
                return kExitUsage;
            }
        }
        if (verify.empty()) {
            std::fprintf(stderr, "wobblemeter: --verify: give the set's directory (see --help)\n");
            return kExitUsage;
        }
        return wobblemeter::VerifyCommand(verify);
    }
    if (liveMode && !paths.empty()) {
        std::fprintf(stderr, "wobblemeter: --live takes no FILE (see --help)\n");
        return kExitUsage;
    }
    if (liveMode && csvOutput) {
        std::fprintf(stderr,
                     "wobblemeter: --csv is for files: give --json or --log FILE.csv with --live "
                     "(see --help)\n");
        return kExitUsage;
    }
    const std::string path = paths.size() == 1 ? paths.front() : std::string();
    if (!liveMode && paths.empty()) {
        std::fprintf(stderr, "wobblemeter: FILE is required (see --help)\n");
        return kExitUsage;
    }
    for (const std::string& p : paths) {
        if (p.empty()) {
            std::fprintf(stderr, "wobblemeter: FILE: an empty name (see --help)\n");
            return kExitUsage;
        }
    }
    const wobblemeter::OutputForm form = json        ? wobblemeter::OutputForm::kJson
                                         : csvOutput ? wobblemeter::OutputForm::kCsv
                                                     : wobblemeter::OutputForm::kSummary;
    if (paths.size() > 1) {
        // One plot and one log belong to one recording.
        if (plotOption->count() > 0 || !log.empty()) {
            std::fprintf(stderr,
                         "wobblemeter: --plot and --log take a single FILE, not %zu: measure "
                         "each file on its own to plot or log it (see --help)\n",
                         paths.size());
            return kExitUsage;
        }
        return wobblemeter::MeasureFilesCommand(paths, options, form);
    }
    const wobblemeter::PlotFormat plotFormat = wobblemeter::PlotFormatOf(plot);
    if (plotOption->count() > 0 && plotFormat == wobblemeter::PlotFormat::kNone) {
        std::fprintf(stderr, "wobblemeter: --plot: '%s' must end in .png or .svg (see --help)\n",
                     plot.c_str());
        return kExitUsage;
    }
    // A plot that cannot be written is found before the measurement, not after it.
    PendingPlot plotFile;
    if (plotOption->count() > 0) {
        plotFile.file = OpenOutputFile(plot.c_str());
        if (plotFile.file == nullptr) {
            std::fprintf(stderr, "wobblemeter: cannot write the plot %s: %s\n", plot.c_str(),
                         std::strerror(errno));
            return kExitFailed;
        }
    }

    if (liveMode) {
        live.log = log;
        live.plot = plot;
        live.plotFile = std::exchange(plotFile.file, nullptr);
        live.plotFormat = plotFormat;
        live.json = json;
        live.meter = options;
        return wobblemeter::LiveCommand(live);
    }

    // On a terminal, a measurement that takes a while shows how far it has read.
    bool progressShown = false;
    if (IsTerminal(StandardStream::kError)) {
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

    wobblemeter::MeterResult result;
    bool logKept = true;
    std::string failure;
    try {
        result = wobblemeter::MeasureFile(path, options);
        if (progressShown) std::fprintf(stderr, "\r%40s\r", "");
        logKept = logWritten();
    } catch (const wobblemeter::MeterError& e) {
        if (progressShown) std::fprintf(stderr, "\n");
        failure = e.what();
        logWritten();
    } catch (const std::bad_alloc&) {
        failure = "out of memory";
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (!failure.empty()) {
        std::fprintf(stderr, "wobblemeter: %s: %s\n", path.c_str(), failure.c_str());
        // CSV has a row for every file, a failed one too.
        if (form == wobblemeter::OutputForm::kCsv) {
            const std::string lost = WriteReadings(
                wobblemeter::CsvHeader() + "\n" + wobblemeter::CsvFailureRow(path, failure) + "\n");
            if (!lost.empty())
                std::fprintf(stderr,
                             "wobblemeter: cannot write the readings to standard output: %s\n",
                             lost.c_str());
        }
        return kExitFailed;
    }

    // The readings and the plot each go out whatever became of the other.
    std::string readingsLost;
    try {
        std::string text;
        if (form == wobblemeter::OutputForm::kJson)
            text = wobblemeter::FormatJson(result, path);
        else if (form == wobblemeter::OutputForm::kCsv)
            text = wobblemeter::CsvHeader() + "\n" + wobblemeter::CsvRow(result, path) + "\n";
        else
            text = wobblemeter::FormatSummary(result, path);
        readingsLost = WriteReadings(text);
    } catch (const std::exception& e) {
        readingsLost = e.what();
    }
    const bool plotAsked = plotFile.file != nullptr;
    bool plotWritten = !plotAsked;
    if (plotAsked) {
        try {
            const std::string bytes = wobblemeter::RenderPlot(result, path, plotFormat);
            FILE* file = std::exchange(plotFile.file, nullptr);
            wobblemeter::CommitPlot(file, bytes, plot);
            plotWritten = true;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "wobblemeter: %s\n", e.what());
        }
    }
    if (!readingsLost.empty()) {
        const std::string note =
            plotAsked && plotWritten ? " (the plot " + plot + " is written)" : "";
        std::fprintf(stderr, "wobblemeter: cannot write the readings to standard output: %s%s\n",
                     readingsLost.c_str(), note.c_str());
    }
    return logKept && readingsLost.empty() && plotWritten ? 0 : kExitFailed;
}
