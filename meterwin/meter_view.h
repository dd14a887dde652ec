// What the meter window's logic asks of the window: show a display, set the controls, ask for a
// file, show a message, copy text. The FLTK front-end implements it; tests record it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "meterwin/display.h"

namespace wobblemeter {

// Which controls can be used now, and what the switches and choosers show.
struct Controls {
    bool start = false, stop = false, open = false, exportResult = false;
    bool log = false, record = false;         // the switches can be used
    bool logging = false, recording = false;  // and are on
    bool chooseDevice = false;
    std::vector<std::string> devices;     // as the capture device list names them
    int device = -1;                      // the chosen one; -1: none
    size_t scale = kDefaultBarScale;      // index into kBarScales
    size_t platter = 0;                   // index into kPlatterRpms
    size_t span = kDefaultDeviationSpan;  // index into kDeviationSpans

    bool operator==(const Controls&) const = default;
};

// The kinds of file the window asks for.
enum class FileKind {
    kAudio,      // to open: any audio libsndfile reads
    kPlot,       // .png or .svg
    kCsv,        // the log of every second, exported
    kLog,        // the same, written as a live session goes
    kJson,       // the readings
    kRecording,  // .wav
    kReport,     // the service report, .pdf
};

class MeterView {
public:
    virtual ~MeterView() = default;
    virtual void Show(const Display& display) = 0;
    virtual void SetControls(const Controls& controls) = 0;
    // Asks for a file to open (kAudio) or to write (the others), suggesting a name; nothing
    // when the user cancels.
    virtual std::optional<std::string> AskForFile(FileKind kind, const std::string& suggestion) = 0;
    // Asks for a line of text (the report's note) with prompt, suggesting suggestion; nothing
    // when the user cancels.
    virtual std::optional<std::string> AskForText(const std::string& prompt,
                                                  const std::string& suggestion) = 0;
    // A message box with one line: an error in the command-line tool's words.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void CopyText(const std::string& text) = 0;
};

}  // namespace wobblemeter
