// wobblemeter's options as the command-line library reads them, and the rules across them.
#include "meter/cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <optional>

#include "meter/cli/number_options.h"
#include "meter/engine/revolution.h"
#include "meter/message.h"
#include "res/version.h"
#include "sys/same_file.h"

namespace wobblemeter {

namespace {

// The files to measure and how their readings are printed.
void AddReadingOptions(CLI::App& app, Options& o) {
    app.add_option("FILE", o.paths,
                   "Recordings to measure (WAV, FLAC, AIFF ... anything libsndfile reads); "
                   "several are measured side by side and reported in order");
    // Numbers are decimal: "010" is 10, never octal; hexadecimal, inf and nan are refused.
    app.add_option("--channel", o.meter.channel, "Channel to measure, counted from 1")
        ->transform(DecimalInteger(1, 1024))
        ->capture_default_str();
    app.add_option("--carrier", o.meter.carrierHz, "Carrier frequency in Hz instead of finding it")
        ->transform(DecimalReal(kMinCarrierHz, kMaxCarrierHz, "Hz"));
    app.add_option(
           "--nominal", o.meter.nominalHz,
           "Nominal carrier in Hz for the speed error (default: the nearer of 3150 and 3000)")
        ->transform(DecimalReal(1.0, 1e6, "Hz"));
    app.add_option(
        "--rpm", o.rpm,
        std::string("Platter speed of a test record, ") + kPlatterRpmChoices +
            ": the deviation per revolution, its once-per-revolution part, and the spectrum's "
            "lines at the rotation rate named");
    CLI::Option* json =
        app.add_flag("--json", o.json,
                     "Print the readings as one JSON object (an array of them for several files)");
    app.add_flag("--csv", o.csv,
                 "Print the readings as CSV: a header row and a row per file, its name first")
        ->excludes(json);
    app.add_option("--verify", o.verify,
                   "Measure the verification set in DIR (wobblegen-cli --calibration-set DIR) "
                   "against its expected.csv and print expected, measured, error and pass or fail");
    app.add_option("--plot", o.plot,
                   "Draw the deviation, its spectrum, the speed error and, with --rpm, the "
                   "deviation per revolution into FILE (.png or .svg)");
    CLI::Option* report = app.add_option(
        "--report", o.report,
        "Write a one-page service report into FILE.pdf: the readings with their standards and "
        "what each means, the deviation and spectrum panels (and, with --rpm, the platter's), "
        "the recording, the date and the meter's version");
    app.add_option("--note", o.note, "A note on the report: the machine, the work done")
        ->needs(report);
    app.add_option("--paper", o.paper,
                   "The report's paper, a4 or letter (default: by the locale, LC_ALL, LC_PAPER "
                   "or LANG: letter in the US, Canada, Mexico, the Philippines and a few more)")
        ->check(CLI::IsMember({"a4", "letter"}, CLI::ignore_case))
        ->needs(report);
    app.add_option("--log", o.log,
                   "Write the readings of every second into FILE.csv as they form (time, carrier, "
                   "speed error, two-sigma and RMS over the window, modulation, tone present, "
                   "quasi-peak, wow and flutter over the window, drift so far)");
    app.add_option("--window", o.meter.windowSeconds,
                   "Seconds the readings of --log and --live are taken over (the standard's "
                   "least is 5)")
        ->transform(DecimalReal(1.0, kMaxWindowSeconds, "s"))
        ->capture_default_str();
}

// Capture from a device, each option only with --live.
void AddLiveOptions(CLI::App& app, Options& o) {
    CLI::Option* live =
        app.add_flag("--live", o.live,
                     "Measure from a capture device instead of a file, until --duration or Ctrl-C");
    app.add_flag("--list-devices", o.listDevices, "List the capture devices and exit");
    app.add_option("--device", o.capture.device,
                   "Capture device: a name from --list-devices or an ALSA PCM (hw:1,0, "
                   "plughw:1,0, a PCM of ~/.asoundrc); default: the default device")
        ->needs(live);
    app.add_option("--rate", o.capture.rate, "Capture rate in Hz (default: the device's)")
        ->transform(DecimalInteger(kMinSampleRate, kMaxSampleRate))
        ->needs(live);
    app.add_option("--duration", o.capture.durationSeconds,
                   "Stop after this many seconds of captured audio (default: at Ctrl-C)")
        ->transform(DecimalPositive("s"))
        ->needs(live);
    app.add_option("--record", o.capture.record, "Keep the captured audio in FILE.wav")
        ->needs(live);
}

// --verify's rules: the set's readings are fixed, so every other option would change what is
// checked.
void CheckVerify(const Options& o) {
    for (const std::string& name : o.given)
        if (name != "--verify") throw MeterError(Msg::kVerifyAlone, name.c_str());
    if (o.verify.empty()) throw MeterError(Msg::kVerifyNeedsDirectory);
}

// An output file and the option that names it.
struct NamedOutput {
    const char* option;
    const std::string& path;
};

// Every output apart from the input and from each other, before any is opened: writing one
// over another (under any spelling, through a link) would destroy it.
void CheckOutputsApart(const Options& o) {
    std::vector<NamedOutput> outputs;
    if (o.Given("--plot")) outputs.push_back({"--plot", o.plot});
    if (o.Given("--report")) outputs.push_back({"--report", o.report});
    if (o.Given("--log")) outputs.push_back({"--log", o.log});
    if (o.Given("--record")) outputs.push_back({"--record", o.capture.record});
    for (size_t i = 0; i < outputs.size(); ++i) {
        const NamedOutput& out = outputs[i];
        for (const std::string& input : o.paths)
            if (SameFile(out.path, input))
                throw MeterError(Msg::kOutputIsInput, out.option, out.path.c_str(), input.c_str());
        for (size_t j = 0; j < i; ++j)
            if (SameFile(outputs[j].path, out.path))
                throw MeterError(Msg::kOutputsSameFile, outputs[j].option, outputs[j].path.c_str(),
                                 out.option, out.path.c_str());
    }
}

// The rules of the files' and the live commands.
Command CheckMeasuring(Options& o) {
    if (o.live && !o.paths.empty()) throw MeterError(Msg::kLiveTakesNoFile);
    if (o.live && o.csv) throw MeterError(Msg::kLiveTakesNoCsv);
    if (!o.live && o.paths.empty()) throw MeterError(Msg::kFileRequired);
    for (const std::string& path : o.paths)
        if (path.empty()) throw MeterError(Msg::kFileNameEmpty);
    if (o.Given("--log") && o.log.empty()) throw MeterError(Msg::kLogNameEmpty);
    if (o.Given("--record") && o.capture.record.empty()) throw MeterError(Msg::kRecordNameEmpty);
    o.form = o.json ? OutputForm::kJson : o.csv ? OutputForm::kCsv : OutputForm::kSummary;
    if (o.paths.size() > 1) {
        // One plot and one log belong to one recording.
        if (o.Given("--plot") || o.Given("--log"))
            throw MeterError(Msg::kPlotAndLogTakeOneFile, o.paths.size());
        if (o.Given("--report")) throw MeterError(Msg::kReportTakesOneFile, o.paths.size());
        return Command::kFiles;
    }
    if (o.Given("--report") && !IsReportName(o.report))
        throw MeterError(Msg::kReportExtension, o.report.c_str());
    if (!o.Given("--paper") || !ParsePaper(o.paper, o.reportPaper))
        o.reportPaper = PaperFromEnvironment();
    o.plotFormat = PlotFormatOf(o.plot);
    if (o.Given("--plot") && o.plotFormat == PlotFormat::kNone)
        throw MeterError(Msg::kPlotExtension, o.plot.c_str());
    CheckOutputsApart(o);
    return o.live ? Command::kLive : Command::kFile;
}

}  // namespace

bool Options::Given(const std::string& name) const {
    return std::find(given.begin(), given.end(), name) != given.end();
}

Command ParseOptions(int argc, const char* const* argv, Options& options) {
    CLI::App app{
        "Measures wow and flutter in a recording of a test tone (3150 or 3000 Hz): the weighted\n"
        "and unweighted two-sigma peak, the weighted quasi-peak, the weighted RMS split into wow\n"
        "and flutter, the drift, the speed error and the dominant modulation frequency.",
        "wobblemeter"};
    app.set_version_flag("--version", std::string("wobblemeter version " WOBBLEGEN_VERSION_TEXT));
    AddReadingOptions(app, options);
    AddLiveOptions(app, options);
    app.footer(
        "Exit status: 0 measured (with --verify: every reading passes), 1 a file or the session\n"
        "cannot be measured (or the device fails, or a reading fails), 2 bad arguments.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        app.exit(e);  // --help or --version, to standard output
        return Command::kHelpShown;
    } catch (const CLI::ParseError& e) {
        throw MeterError(Msg::kCommandLineRefused, e.what());
    }
    for (const CLI::Option* option : app.get_options())
        if (option->count() > 0) options.given.push_back(option->get_name());
    return Command::kFile;
}

Command CheckOptions(Options& options) {
    if (options.listDevices) return Command::kListDevices;
    if (options.Given("--rpm")) {
        const std::optional<double> platter = ParsePlatterRpm(options.rpm);
        if (!platter)
            throw MeterError(Msg::kRpmNotAllowed, options.rpm.c_str(), kPlatterRpmChoices);
        options.meter.rpm = *platter;
    }
    if (options.Given("--verify")) {
        CheckVerify(options);
        return Command::kVerify;
    }
    return CheckMeasuring(options);
}

}  // namespace wobblemeter
