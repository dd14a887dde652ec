// wobblegen-cli: writes the wow-and-flutter test-tone WAV file from the command line, the same
// file the dialog writes.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "res/version.h"
#include "synth/test_tone.h"
#include "sys/std_streams.h"

namespace {

constexpr int kExitUsage = 2;

// Whole decimal number of Hz that fits the WAV header's signed 32-bit rate.
CLI::Validator RateValidator() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            errno = 0;
            char* end = nullptr;
            const long long value = std::strtoll(text.c_str(), &end, 10);
            const bool digitsOnly =
                !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
            if (!digitsOnly || errno != 0 || *end != '\0' || value > 2147483647LL) {
                return "'" + text +
                       "' is not allowed: give a whole number of Hz from 0 to 2147483647";
            }
            return {};
        },
        "HZ");
}

// Finite decimal number, not negative when asked; `what` names the unit in the message.
CLI::Validator RealValidator(const std::string& what, bool nonNegative) {
    return CLI::Validator(
        [what, nonNegative](std::string& text) -> std::string {
            errno = 0;
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            const bool parsed = !text.empty() && end != text.c_str() && *end == '\0';
            if (!parsed || !std::isfinite(value) || (nonNegative && value < 0.0)) {
                return "'" + text + "' is not allowed: give " + what;
            }
            return {};
        },
        "NUMBER");
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

}  // namespace

int main(int argc, char** argv) {
    EnsureStandardStreams();
    int sampleRate = 44100;
    double modFrequency = 4.0;
    double centerFrequency = 3150.0;
    double levelPercent = 1.0;
    double duration = 30.0;
    std::string output = "test.wav";

    CLI::App app{
        "Writes a wow-and-flutter test tone: a sine carrier whose frequency swings "
        "sinusoidally,\nas a 16-bit mono PCM WAV file at half of full scale.",
        "wobblegen-cli"};
    app.set_version_flag("--version",
                         std::string("wobblegen-cli version " WOBBLEGEN_VERSION_TEXT
                                     " (file version " WOBBLEGEN_FILE_VERSION_DOTTED ")"));
    app.add_option("--rate", sampleRate, "Sample rate in Hz, 0 to 2147483647")
        ->check(RateValidator())
        ->capture_default_str();
    app.add_option("--mod", modFrequency, "Modulation frequency in Hz")
        ->check(RealValidator("a finite number of Hz", false))
        ->capture_default_str();
    app.add_option("--center", centerFrequency, "Center (carrier) frequency in Hz")
        ->check(RealValidator("a finite number of Hz", false))
        ->capture_default_str();
    app.add_option("--level", levelPercent,
                   "Peak frequency deviation in percent of the center frequency")
        ->check(RealValidator("a finite number of percent", false))
        ->capture_default_str();
    app.add_option("--duration", duration, "Length in seconds")
        ->check(RealValidator("a finite number of seconds, 0 or more", true))
        ->capture_default_str();
    app.add_option("-o,--output", output, "Output WAV file")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return text.empty() ? "an empty file name is not allowed" : "";
            },
            "FILE"))
        ->capture_default_str();
    app.footer(
        "Prints \"Opened FILE\" and a summary of the WAV header on standard output.\n"
        "Exit status: 0 written, 1 the file could not be opened or written, 2 bad arguments.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "wobblegen-cli: %s (see --help)\n", e.what());
        return kExitUsage;
    }

    // Values that pass one by one may still fail together (too many frames, a phase that
    // would overflow): blame the option the generator names.
    char message[256];
    const ToneArgument bad = CheckTestToneArguments(
        sampleRate, centerFrequency, levelPercent, modFrequency, duration, message, sizeof message);
    if (bad != ToneArgument::kNone) {
        std::fprintf(stderr, "wobblegen-cli: %s: %s\n", OptionName(bad), message);
        return kExitUsage;
    }
    return GenerateTestTone(sampleRate, output.c_str(), centerFrequency, levelPercent, modFrequency,
                            duration) == 0
               ? 0
               : 1;
}
