// wobblemeter-gui.exe: the window "Wow and Flutter Meter" on Windows, live from a recording
// device or measuring a recording. Usage: wobblemeter-gui [--rpm RPM] [FILE]
// A window program has no console: what --help, --version and a wrong command line print goes
// to standard output or error where the program was given them (a pipe, a file, a console it
// was started from with redirection), else into a message box, as Windows programs do.
#include <windows.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>

#include "meter/capture/capture.h"
#include "meter/engine/revolution.h"
#include "meter/message.h"
#include "meterwin/meter_window.h"
#include "meterwin/settings.h"
#include "meterwin/win32/meter_frame.h"
#include "meterwin/win32/wide.h"
#include "res/version.h"
#include "sys/std_streams.h"

namespace {

constexpr const char* kProgram = "wobblemeter-gui";

// Text for the user outside the window: to the stream where there is one, else a message box
// (an error's with the warning icon).
void Tell(StandardStream stream, const std::string& text) {
    if (!StandardStreamWasClosed(stream)) {
        std::fputs(text.c_str(), stream == StandardStream::kOutput ? stdout : stderr);
        std::fflush(stream == StandardStream::kOutput ? stdout : stderr);
        return;
    }
    const UINT icon = stream == StandardStream::kOutput ? MB_ICONINFORMATION : MB_ICONWARNING;
    MessageBoxW(nullptr, wobblemeter::WidenLines(text).c_str(),
                wobblemeter::Widen(kProgram).c_str(), MB_OK | icon);
}

std::string ErrorLine(const std::string& text) {
    std::string line = kProgram;
    line += ": ";
    line += text;
    line += '\n';
    return line;
}

// The messages until the window closes, with the menu's shortcuts.
int RunMessageLoop(const wobblemeter::MeterFrame& frame) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (frame.Handle() != nullptr &&
            TranslateAcceleratorW(frame.Handle(), frame.Accelerators(), &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int main(int argc, char** argv) {
    EnsureStandardStreams();
    std::string file, rpm;
    CLI::App app{
        "Opens the window \"Wow and Flutter Meter\": measures wow and flutter live from a\n"
        "recording device, or in a recording of a test tone (FILE, File > Open, or dropped on\n"
        "the window).",
        kProgram};
    app.set_version_flag("--version",
                         std::string("wobblemeter-gui version " WOBBLEGEN_VERSION_TEXT));
    app.add_option("FILE", file, "Recording to measure at once");
    app.add_option("--rpm", rpm,
                   std::string("Platter speed of a test record, ") +
                       wobblemeter::kPlatterRpmChoices +
                       ": the readings per revolution (chosen as the tool bar's Platter is, and "
                       "remembered)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        std::ostringstream out, err;
        app.exit(e, out, err);
        Tell(StandardStream::kOutput, out.str());
        return 0;
    } catch (const CLI::ParseError& e) {
        std::string text = e.what();
        text += " (see --help)";
        Tell(StandardStream::kError, ErrorLine(text));
        return wobblemeter::ToInt(wobblemeter::ExitStatus::kUsage);
    }
    double platter = -1.0;
    if (!rpm.empty()) {
        const std::optional<double> parsed = wobblemeter::ParsePlatterRpm(rpm);
        if (!parsed) {
            Tell(StandardStream::kError,
                 ErrorLine(wobblemeter::Text(wobblemeter::Msg::kRpmNotAllowed, rpm.c_str(),
                                             wobblemeter::kPlatterRpmChoices)));
            return wobblemeter::ToInt(wobblemeter::ExitStatus::kUsage);
        }
        platter = *parsed;
    }

    wobblemeter::MeterFrame frame;
    std::string why;
    if (!frame.Create(&why)) {
        Tell(StandardStream::kError, ErrorLine(why));
        return 1;
    }
    wobblemeter::MeterWindowOptions options;
    options.settingsPath = wobblemeter::SettingsPath();
    options.listDevices = wobblemeter::ListCaptureDevices;
    options.rpm = platter;
    wobblemeter::MeterWindow logic(frame, options);
    frame.Attach(&logic);
    frame.ShowWindow(SW_SHOWDEFAULT);
    logic.Begin(file.empty() ? std::nullopt : std::optional<std::string>(file));
    const int status = RunMessageLoop(frame);
    frame.Attach(nullptr);
    return status;
}
