// The meter window's logic, free of any toolkit: what the window shows in each state, what its
// controls do, the measurement (live or of a file) off the interface thread in a LiveSession,
// the log and the recording, exports and the remembered settings. The front-end forwards the
// user's actions here and calls Poll() five times a second; everything here runs on the
// interface thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "meter/capture/capture.h"
#include "meter/live/live_session.h"
#include "meter/meter.h"
#include "meterwin/display.h"
#include "meterwin/meter_view.h"
#include "meterwin/settings.h"

namespace wobblemeter {

struct MeterWindowOptions {
    // Where the settings live; empty: nothing is remembered.
    std::string settingsPath;
    // The capture devices; throws CaptureError. Tests give a list of their own.
    std::function<std::vector<CaptureDeviceInfo>()> listDevices;
    // Opens a capture device; empty: OpenCaptureDevice. Tests give a fake source.
    std::function<std::unique_ptr<CaptureSource>(const CaptureOptions&)> openCapture;
    // The platter given on the command line (one of kPlatterRpms); negative: the one
    // remembered.
    double rpm = -1.0;
};

class MeterWindow {
public:
    MeterWindow(MeterView& view, MeterWindowOptions options);
    ~MeterWindow();
    MeterWindow(const MeterWindow&) = delete;
    MeterWindow& operator=(const MeterWindow&) = delete;

    // Lists the devices, picks the remembered one (else the default), shows the idle window;
    // then opens file where one is given (the command line's).
    void Begin(const std::optional<std::string>& file);

    // File > Open..., and a file given or dropped.
    void OnOpen();
    void OpenFile(const std::string& path);
    // The text of a drop: the first local file named in it is opened.
    void OnDrop(const std::string& text);
    // Measure > Start: live from the chosen device.
    void OnStart();
    void OnStop();
    // The switches: on asks for a file (and, before Start, keeps it for the session), off
    // finishes the file.
    void OnLog();
    void OnRecord();
    void OnExportPlot();
    void OnExportLog();
    void OnExportJson();
    // The service report: a .pdf name, then the note (the last one suggested).
    void OnExportReport();
    void OnCopy();
    void OnDeviceChosen(int index);
    void OnScaleChosen(size_t index);
    // The platter (index into kPlatterRpms): the readings per revolution from the next
    // measurement on; a file shown is measured again with it.
    void OnPlatterChosen(size_t index);
    // The deviation panel's span (index into kDeviationSpans), shown at once and remembered.
    void OnSpanChosen(size_t index);
    // The window closes: the measurement ends, its log and recording are finished. Returns what
    // could not be finished (the command-line tool's words), empty when all went well.
    std::string OnClose();

    // Takes the measurement's news and shows it.
    void Poll();

    WindowState State() const { return display_.state; }
    const Display& Shown() const { return display_; }
    const Controls& ControlsShown() const { return controls_; }

private:
    void ShowState(Display display);
    void UpdateControls();
    void RememberSettings();
    void PollLive(const SessionSnapshot& snapshot);
    void PollFile(const SessionSnapshot& snapshot);
    void FinishSession(const SessionSnapshot& snapshot);
    // Ends a session under way (cancels a file being read) before another starts.
    void EndSession();
    // The name a save dialog suggests: beside the file measured ("take.csv" for take.wav), or
    // for a live session "wobblemeter-20260102-150405.csv" in the working directory.
    std::string SuggestedName(const char* extension) const;
    double BarScale() const;
    // Asks for a path to write kind into; adds extension where the name has none.
    std::optional<std::string> AskForOutput(FileKind kind, const char* extension);
    // True (and the message shown) when an export's path is the recording measured (the file
    // read, or a live session's recording), which writing it would destroy.
    bool IsTheInput(const std::string& path);

    MeterView& view_;
    MeterWindowOptions options_;
    MeterSettings settings_;
    std::vector<CaptureDeviceInfo> devices_;
    int device_ = -1;
    size_t scale_ = kDefaultBarScale;
    size_t platter_ = 0;
    size_t span_ = kDefaultDeviationSpan;
    double sessionRpm_ = 0.0;  // the platter of the session measuring or measured last

    Display display_;
    Controls controls_;
    // The session measuring (or that measured last): live or of a file; its readings.
    LiveSession session_;
    bool sessionLive_ = false;
    bool sessionActive_ = false;  // started and not yet taken in as ended
    std::string source_;          // the file, or the device as opened
    std::string recordedTo_;      // a live session's recording, for the JSON
    std::optional<MeterResult> result_;
    std::vector<SecondReading> seconds_;
    double hold_ = 0.0;  // the largest weighted figure of the live session; NaN: none
    bool logging_ = false, recording_ = false;  // as the session last said
    std::string outputError_;                   // the last log or recording failure shown
    // What was shown and measured before a file was opened, given back where that file cannot
    // be measured: a failed open does not wipe the readings before it.
    struct Kept {
        Display display;
        std::optional<MeterResult> result;
        std::vector<SecondReading> seconds;
        std::string source, recordedTo;
        bool live = false;
    };
    std::optional<Kept> kept_;
    // Chosen before Start: the session logs and records from its first second.
    std::string pendingLog_, pendingRecording_;
    std::string reportNote_;  // the last report's note, suggested for the next
};

}  // namespace wobblemeter
