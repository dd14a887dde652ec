// wobblemeter-gui-layout-check: the real window, under the X server of $DISPLAY, laid out at the
// sizes given (WIDTHxHEIGHT, "minimum" or "default") with a recording measured and with the
// longest status lines the window writes; says each fault of MeterFrame::LayoutFaults and exits
// 1 where there is one. Usage: wobblemeter-gui-layout-check FILE SIZE...
#include <FL/Fl.H>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "meter/message.h"
#include "meterwin/display.h"
#include "meterwin/fltk/meter_frame.h"
#include "meterwin/meter_window.h"
#include "text/decimal.h"

namespace {

using wobblemeter::MeterFrame;

// The window's events handled for a while: what it shows is laid out and drawn.
void Settle() {
    for (int i = 0; i < 10; ++i) Fl::wait(0.02);
}

bool SizeOf(const std::string& text, int& width, int& height) {
    if (text == "minimum") {
        width = MeterFrame::MinimumWidth();
        height = MeterFrame::MinimumHeight();
        return true;
    }
    if (text == "default") {
        width = MeterFrame::DefaultWidth();
        height = MeterFrame::DefaultHeight();
        return true;
    }
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    constexpr unsigned long long kLargest = 10000;  // pixels
    unsigned long long w = 0, h = 0;
    if (!ParseDecimalWhole(text.substr(0, x).c_str(), kLargest, w) ||
        !ParseDecimalWhole(text.substr(x + 1).c_str(), kLargest, h))
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// The faults at this moment, the status line last given being status, each said with the
// size and what is shown; their count.
int Check(const MeterFrame& frame, const std::string& what, const std::string& status) {
    const std::vector<std::string> faults = frame.LayoutFaults(status);
    for (const std::string& fault : faults)
        std::printf("%dx%d, %s: %s\n", frame.w(), frame.h(), what.c_str(), fault.c_str());
    return static_cast<int>(faults.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: wobblemeter-gui-layout-check FILE SIZE...\n");
        return 2;
    }
    const std::string file = argv[1];
    Fl::scheme("gtk+");
    MeterFrame frame;
    wobblemeter::MeterWindowOptions options;  // no devices, nothing remembered
    wobblemeter::MeterWindow logic(frame, options);
    frame.Attach(&logic);
    frame.show();
    logic.Begin(file);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (logic.State() == wobblemeter::WindowState::kReadingFile &&
           std::chrono::steady_clock::now() < deadline) {
        Fl::wait(0.05);
        logic.Poll();
    }
    if (logic.State() != wobblemeter::WindowState::kFileRead) {
        std::printf("%s was not measured: %s\n", file.c_str(), logic.Shown().status.c_str());
        return 1;
    }
    const wobblemeter::Display measured = logic.Shown();
    // The longest lines: a live session's after Stop (ten hours of it), and a long name read.
    wobblemeter::Display stopped = measured;
    stopped.status = wobblemeter::Text(
                         wobblemeter::Msg::kStoppedAfter, "10:00:43",
                         wobblemeter::Text(wobblemeter::Msg::kReadingsOver, 36038.0, 3.0).c_str()) +
                     "  \u00b7  " + measured.status;
    wobblemeter::Display reading = measured;
    reading.progress = 0.42;
    reading.status = wobblemeter::Text(wobblemeter::Msg::kReadingFileProgress,
                                       ("/home/technician/recordings/customer decks/" +
                                        std::string(70, 'x') + "/side A, 3150 Hz test tone@48k.wav")
                                           .c_str(),
                                       42.0);
    int faults = 0;
    for (int i = 2; i < argc; ++i) {
        int width = 0, height = 0;
        if (!SizeOf(argv[i], width, height)) {
            std::fprintf(stderr, "not a size: %s\n", argv[i]);
            return 2;
        }
        // Resized with a status line shown: the line is laid out again for the new width.
        frame.resize(0, 0, width, height);
        Settle();
        faults += Check(frame, "resized", measured.status);
        for (const auto& [what, display] :
             {std::pair{"a file measured", measured}, std::pair{"a session stopped", stopped},
              std::pair{"a long name read", reading}}) {
            frame.Show(display);
            Settle();
            faults += Check(frame, what, display.status);
        }
        frame.Show(measured);
        Settle();
    }
    frame.Attach(nullptr);
    std::printf("%d layout faults\n", faults);
    return faults == 0 ? 0 : 1;
}
