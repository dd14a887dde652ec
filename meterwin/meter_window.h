// The meter window's logic, free of any toolkit: what the window shows in each state, what its
// controls do, the measurement off the interface thread, exports and the remembered settings.
// The front-end forwards the user's actions here and calls Poll() five times a second;
// everything here runs on the interface thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "meter/capture.h"
#include "meter/meter.h"
#include "meterwin/display.h"
#include "meterwin/meter_view.h"
#include "meterwin/settings.h"

namespace wobblemeter {

class FileReader;

struct MeterWindowOptions {
    // Where the settings live; empty: nothing is remembered.
    std::string settingsPath;
    // The capture devices; throws CaptureError. Tests give a list of their own.
    std::function<std::vector<CaptureDeviceInfo>()> listDevices;
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
    void OnStop();
    void OnExportPlot();
    void OnExportLog();
    void OnExportJson();
    void OnCopy();
    void OnDeviceChosen(int index);
    void OnScaleChosen(size_t index);
    // The window closes: the measurement ends, its files are finished.
    void OnClose();

    // Takes the measurement's news and shows it.
    void Poll();

    WindowState State() const { return display_.state; }
    const Display& Shown() const { return display_; }
    const Controls& ControlsShown() const { return controls_; }

private:
    void ShowState(Display display);
    void UpdateControls();
    void RememberSettings();
    void FinishFile();
    double BarScale() const;
    // The stem of the source for the names a save dialog suggests ("take" for take.wav).
    std::string SuggestedName(const char* extension) const;
    // Asks for a path to write kind into; adds extension where the name has none.
    std::optional<std::string> AskForOutput(FileKind kind, const char* extension);

    MeterView& view_;
    MeterWindowOptions options_;
    MeterSettings settings_;
    std::vector<CaptureDeviceInfo> devices_;
    int device_ = -1;
    size_t scale_ = kDefaultBarScale;

    Display display_;
    Controls controls_;
    // The file being read, or read last; its readings.
    std::unique_ptr<FileReader> file_;
    std::string source_;
    std::optional<MeterResult> result_;
    std::vector<SecondReading> seconds_;
};

}  // namespace wobblemeter
