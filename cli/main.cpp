// wobblegen-cli: writes the wow-and-flutter test-tone WAV file from the command line, the same
// file the dialog writes, or the set of verification signals for meters.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>
#include <string>

#include "res/version.h"
#include "synth/calibration_set.h"
#include "synth/test_tone.h"
#include "sys/std_streams.h"
#include "text/decimal.h"

namespace {

constexpr int kExitUsage = 2;

// The options are taken as text and read with the tools' decimal rules (CLI11's own conversion
// would read "044100" as octal and accept "0x10"); the validators refuse what does not read.

// Whole decimal number of Hz that fits the WAV header's signed 32-bit rate.
constexpr unsigned long long kMaxSampleRate = 2147483647;

CLI::Validator RateValidator() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            unsigned long long value = 0;
            if (!ParseDecimalWhole(text.c_str(), kMaxSampleRate, value)) {
                return "'" + text +
                       "' is not allowed: give a whole decimal number of Hz from 0 to 2147483647";
            }
            return {};
        },
        "HZ");
}

// Finite decimal number; `what` names the unit in the message.
CLI::Validator RealValidator(const std::string& what) {
    return CLI::Validator(
        [what](std::string& text) -> std::string {
            double value = 0.0;
            if (!ParseDecimalReal(text.c_str(), value)) {
                return "'" + text + "' is not allowed: give a finite decimal number of " + what;
            }
            return {};
        },
        "NUMBER");
}

// Text that passed its validator.
double RealFrom(const std::string& text) {
    double value = 0.0;
    ParseDecimalReal(text.c_str(), value);
    return value;
}

// Says on standard error that standard output lost what was written to it (--help,
// --version); false then.
bool StandardOutputKept() {
    std::string reason;
    if (StandardStreamIntact(StandardStream::kOutput, &reason)) return true;
    std::fprintf(stderr, "wobblegen-cli: cannot write standard output (%s)\n", reason.c_str());
    return false;
}

// Writes the verification set into dir; the exit status. Its lines ("Wrote PATH", or what
// failed) go to standard output, as the tone's do, and a failure also to standard error where
// standard output is lost.
int WriteSet(const std::string& dir) {
    char message[512];
    if (WriteCalibrationSet(dir.c_str(), stdout, message, sizeof message) != 0) {
        std::printf("%s\n", message);
        if (!StandardStreamIntact(StandardStream::kOutput, nullptr))
            std::fprintf(stderr, "%s\n", message);
        return 1;
    }
    std::string reason;
    if (!StandardStreamIntact(StandardStream::kOutput, &reason)) {
        std::fprintf(stderr,
                     "Cannot write standard output (%s): the set in %s itself is complete\n",
                     reason.c_str(), dir.c_str());
        return 1;
    }
    return StandardStreamIntact(StandardStream::kError, nullptr) ? 0 : 1;
}

const char* OptionName(ToneArgument argument) {
    switch (argument) {
        case ToneArgument::kSampleRate:
            return "--rate";
        case ToneArgument::kCenterFrequency:
            return "--center";
        case ToneArgument::kLevel:
            return "--level";
        case ToneArgument::kModFrequency:
            return "--mod";
        case ToneArgument::kDuration:
            return "--duration";
        case ToneArgument::kNone:
            break;
    }
    return "";
}

// The command line as given: numbers as text until checked, the defaults the help shows.
struct CommandLine {
    std::string rateText = "44100";
    std::string modText = "4";
    std::string centerText = "3150";
    std::string levelText = "1";
    std::string durationText = "30";
    std::string output = "test.wav";
    std::string setDirectory;  // empty: one tone, not the verification set
};

// The tone asked for, read from options that passed their validators.
struct ToneRequest {
    int sampleRate = 0;
    double modFrequency = 0.0;
    double centerFrequency = 0.0;
    double levelPercent = 0.0;
    double duration = 0.0;
};

// A validator refusing empty text with `message`; `typeName` shows in the help.
CLI::Validator NotEmpty(const std::string& message, const std::string& typeName) {
    return CLI::Validator(
        [message](std::string& text) -> std::string { return text.empty() ? message : ""; },
        typeName);
}

// The tone's numbers, in the order the help lists them.
void AddToneOptions(CLI::App& app, CommandLine& line) {
    app.add_option("--rate", line.rateText, "Sample rate in Hz, 0 to 2147483647")
        ->type_name("INT")
        ->check(RateValidator())
        ->capture_default_str();
    app.add_option("--mod", line.modText, "Modulation frequency in Hz")
        ->type_name("FLOAT")
        ->check(RealValidator("Hz"))
        ->capture_default_str();
    app.add_option("--center", line.centerText, "Center (carrier) frequency in Hz")
        ->type_name("FLOAT")
        ->check(RealValidator("Hz"))
        ->capture_default_str();
    app.add_option("--level", line.levelText,
                   "Peak frequency deviation in percent of the center frequency")
        ->type_name("FLOAT")
        ->check(RealValidator("percent"))
        ->capture_default_str();
    app.add_option("--duration", line.durationText, "Length in seconds, 0 or more")
        ->type_name("FLOAT")
        ->check(RealValidator("seconds, 0 or more"))
        ->capture_default_str();
}

// Where the output goes: the tone's file, or instead of it the verification set's folder.
void AddOutputOptions(CLI::App& app, CommandLine& line) {
    app.add_option("-o,--output", line.output, "Output WAV file")
        ->check(NotEmpty("an empty file name is not allowed", "FILE"))
        ->capture_default_str();
    app.add_option("--calibration-set", line.setDirectory,
                   "Instead of one tone: the eight verification signals for meters at 3150 Hz "
                   "(44.1 kHz) and 3000 Hz (48 kHz), 30 s each, and expected.csv with their "
                   "readings, into DIR (created if missing)")
        ->type_name("DIR")
        ->check(NotEmpty("an empty directory name is not allowed", ""))
        ->excludes("--rate")
        ->excludes("--mod")
        ->excludes("--center")
        ->excludes("--level")
        ->excludes("--duration")
        ->excludes("--output");
}

void DescribeCommandLine(CLI::App& app, CommandLine& line) {
    app.set_version_flag("--version",
                         std::string("wobblegen-cli version " WOBBLEGEN_VERSION_TEXT
                                     " (file version " WOBBLEGEN_FILE_VERSION_DOTTED ")"));
    AddToneOptions(app, line);
    AddOutputOptions(app, line);
    app.footer(
        "Numbers are decimal: 044100 is 44100; hexadecimal, inf and nan are refused.\n"
        "Prints \"Opened FILE\" and a summary of the WAV header on standard output\n"
        "(--calibration-set: \"Wrote PATH\" for each file of the set).\n"
        "Exit status: 0 written, 1 the file could not be opened or written, or standard output\n"
        "or error lost a message (the file is then complete), 2 bad arguments.");
}

// Reads the command line into the options app describes; the exit status where that ends the
// program (--help, --version, bad arguments), none where it goes on.
std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        const int status = app.exit(e);
        return StandardOutputKept() ? status : 1;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "wobblegen-cli: %s (see --help)\n", e.what());
        return kExitUsage;
    }
    return std::nullopt;
}

// The tone's arguments together. Values that pass one by one may still fail together (too many
// frames, a phase that would overflow): the option the generator names is blamed, and the exit
// status returned; none where they are good.
std::optional<int> CheckTone(const CommandLine& line, ToneRequest& tone) {
    unsigned long long rate = 0;
    ParseDecimalWhole(line.rateText.c_str(), kMaxSampleRate, rate);
    tone.sampleRate = static_cast<int>(rate);
    tone.modFrequency = RealFrom(line.modText);
    tone.centerFrequency = RealFrom(line.centerText);
    tone.levelPercent = RealFrom(line.levelText);
    tone.duration = RealFrom(line.durationText);
    char message[256];
    const ToneArgument bad =
        CheckTestToneArguments(tone.sampleRate, tone.centerFrequency, tone.levelPercent,
                               tone.modFrequency, tone.duration, message, sizeof message);
    if (bad == ToneArgument::kNone) return std::nullopt;
    std::fprintf(stderr, "wobblegen-cli: %s: %s\n", OptionName(bad), message);
    return kExitUsage;
}

// Writes the tone; the exit status, 1 also when the file is complete but standard output or
// error lost something.
int WriteTone(const ToneRequest& tone, const std::string& output) {
    return GenerateTestTone(tone.sampleRate, output.c_str(), tone.centerFrequency,
                            tone.levelPercent, tone.modFrequency, tone.duration) == 0
               ? 0
               : 1;
}

}  // namespace

int main(int argc, char** argv) {
    EnsureStandardStreams();
    CommandLine line;
    CLI::App app{
        "Writes a wow-and-flutter test tone: a sine carrier whose frequency swings "
        "sinusoidally,\nas a 16-bit mono PCM WAV file at half of full scale.",
        "wobblegen-cli"};
    DescribeCommandLine(app, line);
    if (const auto status = ParseCommandLine(app, argc, argv)) return *status;
    if (!line.setDirectory.empty()) return WriteSet(line.setDirectory);
    ToneRequest tone;
    if (const auto status = CheckTone(line, tone)) return *status;
    return WriteTone(tone, line.output);
}
