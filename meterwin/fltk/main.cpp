// wobblemeter-gui: the window "Wow and Flutter Meter", live from a sound card's input or
// measuring a recording. Usage: wobblemeter-gui [--rpm RPM] [FILE]
#include <FL/Fl.H>

#include <CLI/CLI.hpp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "meter/capture/capture.h"
#include "meter/engine/revolution.h"
#include "meter/message.h"
#include "meterwin/fltk/meter_frame.h"
#include "meterwin/meter_window.h"
#include "meterwin/settings.h"
#include "res/version.h"
#include "sys/process.h"
#include "sys/std_streams.h"

namespace {

// The window takes the measurement's news this often: the readouts move five times a second.
constexpr double kPollSeconds = 0.2;

// FLTK's fatal errors (chiefly "Can't open display" without an X server) as one line on standard
// error that names the program, and status 1.
[[noreturn]] void ToolkitFatal(const char* format, ...) {
    std::fputs("wobblemeter-gui: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    std::exit(1);
}

void Poll(void* logic) {
    static_cast<wobblemeter::MeterWindow*>(logic)->Poll();
    Fl::repeat_timeout(kPollSeconds, Poll, logic);
}

}  // namespace

int main(int argc, char** argv) {
    EnsureStandardStreams();
    // A file written beyond the file-size limit fails like one on a full disk, with a message,
    // instead of ending the program.
    FailWritesBeyondFileSizeLimit();

    std::string file;
    CLI::App app{
        "Opens the window \"Wow and Flutter Meter\": measures wow and flutter live from a\n"
        "capture device, or in a recording of a test tone (FILE, File > Open, or dropped on\n"
        "the window).",
        "wobblemeter-gui"};
    app.set_version_flag("--version",
                         std::string("wobblemeter-gui version " WOBBLEGEN_VERSION_TEXT));
    app.add_option("FILE", file, "Recording to measure at once");
    std::string rpm;
    app.add_option("--rpm", rpm,
                   std::string("Platter speed of a test record, ") +
                       wobblemeter::kPlatterRpmChoices +
                       ": the readings per revolution (chosen as the tool bar's Platter is, and "
                       "remembered)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        app.exit(e);
        std::string reason;
        if (StandardStreamIntact(StandardStream::kOutput, &reason)) return 0;
        std::fprintf(
            stderr, "wobblemeter-gui: %s\n",
            wobblemeter::Text(wobblemeter::Msg::kCannotWriteStdout, reason.c_str()).c_str());
        return 1;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "wobblemeter-gui: %s (see --help)\n", e.what());
        return wobblemeter::ToInt(wobblemeter::ExitStatus::kUsage);
    }

    double platter = -1.0;
    if (!rpm.empty()) {
        const std::optional<double> parsed = wobblemeter::ParsePlatterRpm(rpm);
        if (!parsed) {
            std::fprintf(stderr, "wobblemeter-gui: %s\n",
                         wobblemeter::Text(wobblemeter::Msg::kRpmNotAllowed, rpm.c_str(),
                                           wobblemeter::kPlatterRpmChoices)
                             .c_str());
            return wobblemeter::ToInt(wobblemeter::ExitStatus::kUsage);
        }
        platter = *parsed;
    }

    Fl::fatal = ToolkitFatal;
    Fl::visible_focus(1);
    Fl::scheme("gtk+");
    wobblemeter::MeterFrame frame;
    wobblemeter::MeterWindowOptions options;
    options.settingsPath = wobblemeter::SettingsPath();
    options.listDevices = wobblemeter::ListCaptureDevices;
    options.rpm = platter;
    wobblemeter::MeterWindow logic(frame, options);
    frame.Attach(&logic);
    frame.show();
    logic.Begin(file.empty() ? std::nullopt : std::optional<std::string>(file));
    Fl::add_timeout(kPollSeconds, Poll, &logic);
    const int status = Fl::run();
    Fl::remove_timeout(Poll, &logic);
    frame.Attach(nullptr);
    return status;
}
