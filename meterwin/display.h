// What the meter's window shows at one moment, as plain data: the state, the readouts, the bar
// meter, the panels' data and the status line. Made from a measurement's news by the window's
// logic, drawn by the instrument (instrument.h) and the status bar of the front-end.
#pragma once

#include <array>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "meter/live/live_session.h"
#include "meter/meter.h"
#include "meter/output/plot_panels.h"
#include "meterwin/instrument_panels.h"

namespace wobblemeter {

enum class WindowState {
    kIdle,            // nothing measured yet
    kStarting,        // opening the capture device
    kWaitingForTone,  // live: no tone found yet
    kSettling,        // live: tone present, the readings not formed yet
    kMeasuring,       // live: readings over the last window seconds
    kNoTone,          // live: the tone went away
    kStopped,         // live: ended by Stop; the readings of the session stay
    kError,           // the device could not start or was lost, or a file could not be read
    kReadingFile,     // a file is being measured
    kFileRead,        // a file's readings are shown
};

// The state as the window names it ("Waiting for tone").
const char* StateName(WindowState state);

// The bar meter's scales, full scale in % (the user switches between them).
constexpr std::array<double, 5> kBarScales = {0.1, 0.3, 1.0, 3.0, 10.0};
constexpr size_t kDefaultBarScale = 1;  // 0.3 %: a good deck reads 0.03 ... 0.15 %

// The deviation panel's spans the user chooses between, s: the last 1 s, the last 10 s, and the
// whole stretch (0; live, what the session keeps: its last kSnapshotTraceSeconds).
constexpr std::array<double, 3> kDeviationSpans = {1.0, 10.0, 0.0};
constexpr size_t kDefaultDeviationSpan = 2;

// The platters the user chooses between, rpm: none (0), 33 1/3, 45 and 78.
constexpr std::array<double, 4> kPlatterRpms = {0.0, 100.0 / 3.0, 45.0, 78.0};

struct Display {
    WindowState state = WindowState::kIdle;
    // What is measured: "take.wav", "Live: DEVICE, 48000 Hz, channel 1"; empty when idle.
    std::string heading;
    // The panels show a summary over the span read (a file, a finished session), not the
    // last seconds of a live one.
    bool summary = false;
    std::vector<Readout> readouts;
    BarMeter bar;
    // The deviation panel: both traces over [traceStart, traceEnd] s, two-sigma levels (NaN:
    // none yet).
    Envelope unweighted, weighted;
    double traceStartSeconds = 0.0, traceEndSeconds = 0.0;
    // What the traces hold, s (the axis of the whole stretch), and the panel's title.
    double traceFirstSeconds = 0.0, traceLastSeconds = 0.0;
    std::string deviationTitle;
    double unweightedLevelPercent = std::numeric_limits<double>::quiet_NaN();
    double weightedLevelPercent = std::numeric_limits<double>::quiet_NaN();
    // The spectrum panel.
    std::vector<double> spectrumHz, spectrumPercent;
    std::vector<SpectrumLine> lines;
    // The speed error second by second over the session or file, % (NaN: no tone), on a time
    // axis from 0 to speedErrorEndSeconds; the span read shaded (NaN: none); a dashed line at
    // speedErrorLinePercent named speedErrorLabel (NaN: none).
    Envelope speedError;
    double speedErrorEndSeconds = 0.0;
    double speedErrorSpanStartSeconds = std::numeric_limits<double>::quiet_NaN();
    double speedErrorSpanSeconds = std::numeric_limits<double>::quiet_NaN();
    double speedErrorLinePercent = std::numeric_limits<double>::quiet_NaN();
    std::string speedErrorLabel;
    // With a platter chosen: the turntable view of a file or finished session (rpm 0: none).
    RevolutionReading revolution;
    // The status line: what the front-end prints below the instrument.
    std::string status;
    // Share of a file read, 0 ... 1; NaN: no progress to show.
    double progress = std::numeric_limits<double>::quiet_NaN();
};

// The readings of a file (or of a finished session) as the window shows them.
Display DisplayOfResult(const MeterResult& result, const std::string& heading, double barScale);

// What a live session shows as of a snapshot: the readings of the last window seconds, the
// deviation of the last 10 s, the spectrum, the speed error over the session and the status
// line. holdPercent: the largest weighted figure of the session (NaN: none yet); rpm: the
// platter chosen (0: none), whose readings come with the session's summary.
Display DisplayOfSnapshot(const SessionSnapshot& snapshot, double barScale, double holdPercent,
                          double rpm = 0.0);

// The deviation panel's axis and title set for a span (one of kDeviationSpans): the last
// spanSeconds of what the traces hold (from the first where they hold less), or all of it for 0.
void SetDeviationSpan(Display& display, double spanSeconds);

// The window's state for a snapshot of a live session.
WindowState StateOfSnapshot(const SessionSnapshot& snapshot);

// The heading of a live session: "Live: DEVICE, 48000 Hz, channel 1".
std::string LiveHeading(const SessionSnapshot& snapshot);

// Elapsed time as h:mm:ss.
std::string ElapsedText(double seconds);

// What an empty panel of a display waits for, in the status line's words ("Waiting for the test
// tone ..."; at rest, what to do), in its middle instead of axes with nothing to scale them.
std::string WaitingText(const Display& display);

// A reading in % as the window shows it: four decimals, more where fewer than three significant
// digits would remain ("0.000422 %"); a dash where it is not formed.
std::string PercentText(double value);

// An empty display of state: dashes for every reading, empty panels.
Display BlankDisplay(WindowState state, const std::string& heading, double barScale);

// The readings as text, under their groups' names ("AES6 / IEC 60386", then
// "  Weighted two-sigma: 0.0997 %"), with the heading, the state and the status line: what Copy
// puts on the clipboard.
std::string ReadingsText(const Display& display);

// A line as the status line and the alerts show it: control characters escaped (QuotedName),
// each run of more than 81 characters without a space (a long name) shortened to its first and
// last 40, and the whole to its first and last 100. The line as given goes in the tooltip.
std::string ShownLine(const std::string& text);
// The same without the bound on the whole: for the status line, which StatusLines bounds.
std::string ShownNames(const std::string& text);

// The status line laid out in at most maxLines lines of room wide, as width measures a text:
// broken between its parts (at "  ·  "), never inside one; where that is not enough, the widest
// part (a long name) loses characters from its middle ("/home/…/take.wav") until the lines fit,
// so that each part's words, and the last ("drop-outs 3"), stay whole.
std::vector<std::string> StatusLines(const std::string& status,
                                     const std::function<double(const std::string&)>& width,
                                     double room, size_t maxLines);

}  // namespace wobblemeter
