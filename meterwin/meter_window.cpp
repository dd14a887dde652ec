// The meter window's logic: states, controls, the file measured off the interface thread,
// exports in the command-line tool's forms, the remembered device and scale.
#include "meterwin/meter_window.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "meter/csv_log.h"
#include "meter/message.h"
#include "meter/plot.h"
#include "meter/report.h"
#include "meterwin/dropped_files.h"
#include "meterwin/file_reader.h"
#include "sys/output_file.h"

namespace wobblemeter {

namespace {

// The part of path after its last slash.
std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool HasExtension(const std::string& path) {
    const std::string base = BaseName(path);
    const size_t dot = base.rfind('.');
    return dot != std::string::npos && dot > 0;
}

}  // namespace

MeterWindow::MeterWindow(MeterView& view, MeterWindowOptions options)
    : view_(view), options_(std::move(options)) {}

MeterWindow::~MeterWindow() {
    OnClose();
}

double MeterWindow::BarScale() const {
    return kBarScales[scale_];
}

void MeterWindow::Begin(const std::optional<std::string>& file) {
    if (!options_.settingsPath.empty()) settings_ = LoadSettings(options_.settingsPath);
    for (size_t i = 0; i < kBarScales.size(); ++i) {
        if (kBarScales[i] == settings_.barScalePercent) scale_ = i;
    }
    std::string listed;
    try {
        if (options_.listDevices) devices_ = options_.listDevices();
    } catch (const CaptureError& e) {
        listed = e.what();
    }
    device_ = -1;
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (devices_[i].name == settings_.device) device_ = static_cast<int>(i);
    }
    for (size_t i = 0; i < devices_.size() && device_ < 0; ++i) {
        if (devices_[i].isDefault) device_ = static_cast<int>(i);
    }
    if (device_ < 0 && !devices_.empty()) device_ = 0;

    Display idle = BlankDisplay(WindowState::kIdle, "", BarScale());
    if (!listed.empty())
        idle.status = listed;
    else if (devices_.empty())
        idle.status = "no capture device found";
    else
        idle.status = "Open a recording (File > Open), or drop one on the window";
    ShowState(std::move(idle));
    if (file) OpenFile(*file);
}

void MeterWindow::ShowState(Display display) {
    display_ = std::move(display);
    view_.Show(display_);
    UpdateControls();
}

void MeterWindow::UpdateControls() {
    const bool reading = display_.state == WindowState::kReadingFile;
    Controls c;
    c.open = true;
    c.stop = reading;
    c.exportResult = result_.has_value() && !reading;
    c.chooseDevice = !devices_.empty();
    for (const CaptureDeviceInfo& device : devices_) c.devices.push_back(device.name);
    c.device = device_;
    c.scale = scale_;
    if (c == controls_) return;
    controls_ = std::move(c);
    view_.SetControls(controls_);
}

void MeterWindow::OnOpen() {
    const std::optional<std::string> path = view_.AskForFile(FileKind::kAudio, {});
    if (path) OpenFile(*path);
}

void MeterWindow::OpenFile(const std::string& path) {
    file_.reset();  // a reading under way is cancelled
    result_.reset();
    seconds_.clear();
    source_ = path;
    file_ = std::make_unique<FileReader>(path, MeterOptions{});
    Display reading = BlankDisplay(WindowState::kReadingFile, path, BarScale());
    reading.progress = 0.0;
    reading.status = "Reading " + path;
    ShowState(std::move(reading));
}

void MeterWindow::OnDrop(const std::string& text) {
    const std::vector<std::string> paths = DroppedPaths(text);
    if (paths.empty()) {
        view_.ShowMessage("Drop an audio file from this computer to measure it");
        return;
    }
    OpenFile(paths.front());
}

void MeterWindow::OnStop() {
    if (display_.state != WindowState::kReadingFile || !file_) return;
    file_->Stop();
    Poll();
}

void MeterWindow::Poll() {
    if (display_.state != WindowState::kReadingFile || !file_) return;
    for (SecondReading& r : file_->TakeSeconds()) seconds_.push_back(std::move(r));
    if (file_->Finished()) {
        FinishFile();
        return;
    }
    const double progress = file_->Progress();
    if (progress == display_.progress) return;
    display_.progress = progress;
    display_.status = Format("Reading %s: %.0f %%", source_.c_str(), 100.0 * progress);
    view_.Show(display_);
}

void MeterWindow::FinishFile() {
    result_ = file_->Result();
    if (result_) {
        ShowState(DisplayOfResult(*result_, source_, BarScale()));
        return;
    }
    if (file_->Cancelled()) {
        Display stopped = BlankDisplay(WindowState::kStopped, source_, BarScale());
        stopped.status = Format("Stopped at %.0f %% of %s: nothing measured",
                                100.0 * file_->Progress(), source_.c_str());
        ShowState(std::move(stopped));
        return;
    }
    // The command-line tool's words, without its name in front.
    const std::string why = source_ + ": " + file_->ResultError();
    Display failed = BlankDisplay(WindowState::kError, source_, BarScale());
    failed.status = why;
    ShowState(std::move(failed));
    view_.ShowMessage(why);
}

std::string MeterWindow::SuggestedName(const char* extension) const {
    std::string stem = source_.empty() ? "wobblemeter" : source_;
    const size_t slash = stem.rfind('/');
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        stem.erase(dot);
    return stem + extension;
}

std::optional<std::string> MeterWindow::AskForOutput(FileKind kind, const char* extension) {
    std::optional<std::string> path = view_.AskForFile(kind, SuggestedName(extension));
    if (path && !path->empty() && path->back() != '/' && !HasExtension(*path)) *path += extension;
    return path;
}

void MeterWindow::OnExportPlot() {
    if (!result_) return;
    const std::optional<std::string> path = AskForOutput(FileKind::kPlot, ".png");
    if (!path) return;
    if (PlotFormatOf(*path) == PlotFormat::kNone) {
        view_.ShowMessage("cannot write the plot " + *path + ": its name must end in .png or .svg");
        return;
    }
    try {
        WritePlot(*result_, source_, *path);
    } catch (const MeterError& e) {
        view_.ShowMessage(e.what());
    }
}

void MeterWindow::OnExportLog() {
    if (!result_) return;
    const std::optional<std::string> path = AskForOutput(FileKind::kCsv, ".csv");
    if (!path) return;
    try {
        CsvLog log(*path);
        for (const SecondReading& r : seconds_) log.Write(r);
        if (!log.Close()) throw MeterError("cannot write the log " + *path + ": " + log.Error());
    } catch (const MeterError& e) {
        view_.ShowMessage(e.what());
    }
}

void MeterWindow::OnExportJson() {
    if (!result_) return;
    const std::optional<std::string> path = AskForOutput(FileKind::kJson, ".json");
    if (!path) return;
    const std::string json = FormatJson(*result_, source_);
    const std::string failed = "cannot write the readings " + *path + ": ";
    FILE* file = OpenOutputFile(path->c_str());
    if (file == nullptr) {
        view_.ShowMessage(failed + std::strerror(errno));
        return;
    }
    errno = 0;
    const bool complete =
        std::fwrite(json.data(), 1, json.size(), file) == json.size() && std::fflush(file) == 0;
    const int error = errno;  // why, before the close can change it
    if (!complete) {
        DiscardOutputFile(file);
        view_.ShowMessage(failed + (error != 0 ? std::strerror(error) : "write error"));
    } else if (!CommitOutputFile(file)) {
        view_.ShowMessage(failed + std::strerror(errno));
    }
}

void MeterWindow::OnCopy() {
    view_.CopyText(ReadingsText(display_));
}

void MeterWindow::OnDeviceChosen(int index) {
    if (index < 0 || static_cast<size_t>(index) >= devices_.size()) return;
    device_ = index;
    settings_.device = devices_[static_cast<size_t>(index)].name;
    RememberSettings();
    UpdateControls();
}

void MeterWindow::OnScaleChosen(size_t index) {
    if (index >= kBarScales.size()) return;
    scale_ = index;
    settings_.barScalePercent = kBarScales[index];
    RememberSettings();
    display_.bar.scalePercent = BarScale();
    view_.Show(display_);
    UpdateControls();
}

void MeterWindow::RememberSettings() {
    if (options_.settingsPath.empty()) return;
    std::string error;
    // Not remembering is no reason to bother the user while measuring.
    SaveSettings(options_.settingsPath, settings_, &error);
}

void MeterWindow::OnClose() {
    file_.reset();
}

}  // namespace wobblemeter
