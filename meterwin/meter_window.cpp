// The meter window's logic: states, controls, the file measured off the interface thread,
// exports in the command-line tool's forms, the remembered device and scale.
#include "meterwin/meter_window.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <utility>

#include "meter/message.h"
#include "meter/output/csv_log.h"
#include "meter/output/plot.h"
#include "meter/output/report.h"
#include "meter/output/service_report.h"
#include "meterwin/dropped_files.h"
#include "res/version.h"
#include "sys/clock.h"
#include "sys/output_file.h"
#include "sys/same_file.h"

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

// Opens a capture device with open (OpenCaptureDevice where empty). The window opens a device of
// the list it made when it began; where that device cannot be opened and list now finds none (a
// sound server gone since), the failure is the command line's when it finds no device, not the
// audio library's reason for the one named ("Connection refused").
std::function<std::unique_ptr<CaptureSource>(const CaptureOptions&)> OpenOrNoneFound(
    std::function<std::unique_ptr<CaptureSource>(const CaptureOptions&)> open,
    std::function<std::vector<CaptureDeviceInfo>()> list) {
    return [open = std::move(open), list = std::move(list)](const CaptureOptions& capture) {
        try {
            return open ? open(capture) : OpenCaptureDevice(capture);
        } catch (const CaptureError&) {
            bool none = false;
            try {
                none = list && list().empty();
            } catch (const CaptureError&) {
                // Not even a list: the open's own reason stands.
            }
            if (none) throw CaptureError(Msg::kNoCaptureDevice);
            throw;
        }
    };
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
    for (size_t i = 0; i < kDeviationSpans.size(); ++i) {
        if (kDeviationSpans[i] == settings_.deviationSpanSeconds) span_ = i;
    }
    // The command line's platter is chosen, and remembered as a choice is.
    if (options_.rpm >= 0.0) settings_.platterRpm = options_.rpm;
    for (size_t i = 0; i < kPlatterRpms.size(); ++i) {
        if (std::fabs(kPlatterRpms[i] - settings_.platterRpm) < 1e-6) platter_ = i;
    }
    if (options_.rpm >= 0.0) RememberSettings();
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
        idle.status = Text(Msg::kNoCaptureDevice);
    else
        idle.status = Text(Msg::kWindowIdle);
    ShowState(std::move(idle));
    if (file) OpenFile(*file);
}

void MeterWindow::ShowState(Display display) {
    display_ = std::move(display);
    SetDeviationSpan(display_, kDeviationSpans[span_]);
    view_.Show(display_);
    UpdateControls();
}

void MeterWindow::UpdateControls() {
    const bool canCapture = device_ >= 0 && !sessionActive_;
    const bool liveRunning = sessionActive_ && sessionLive_;
    Controls c;
    c.open = true;
    c.start = canCapture;
    c.stop = sessionActive_;
    c.exportResult = result_.has_value() && !sessionActive_;
    // Switched before Start (kept for the session) or while a live session runs.
    c.log = canCapture || liveRunning;
    c.record = canCapture || liveRunning;
    c.logging = liveRunning ? logging_ : !pendingLog_.empty();
    c.recording = liveRunning ? recording_ : !pendingRecording_.empty();
    c.chooseDevice = !devices_.empty() && !sessionActive_;
    for (const CaptureDeviceInfo& device : devices_) c.devices.push_back(device.name);
    c.device = device_;
    c.scale = scale_;
    c.platter = platter_;
    c.span = span_;
    if (c == controls_) return;
    controls_ = std::move(c);
    view_.SetControls(controls_);
}

void MeterWindow::OnOpen() {
    const std::optional<std::string> path = view_.AskForFile(FileKind::kAudio, {});
    if (path) OpenFile(*path);
}

void MeterWindow::EndSession() {
    if (!sessionActive_) return;
    session_.Stop();
    sessionActive_ = false;
    logging_ = recording_ = false;
    // A log or recording that could not be finished is said before the next session starts.
    const std::string failed = session_.Snapshot().outputError;
    if (!failed.empty() && failed != outputError_) view_.ShowMessage(failed);
}

void MeterWindow::OpenFile(const std::string& path) {
    EndSession();  // a reading or a live session under way ends
    kept_.reset();
    if (result_) {
        kept_ = Kept{display_, std::move(result_), std::move(seconds_),
                     source_,  recordedTo_,        sessionLive_};
    }
    result_.reset();
    seconds_.clear();
    source_ = path;
    recordedTo_.clear();
    outputError_.clear();
    MeterOptions meter;
    meter.rpm = sessionRpm_ = kPlatterRpms[platter_];
    session_.StartFile(path, meter);
    sessionLive_ = false;
    sessionActive_ = true;
    Display reading = BlankDisplay(WindowState::kReadingFile, path, BarScale());
    reading.progress = 0.0;
    reading.status = Text(Msg::kReadingFile, path.c_str());
    ShowState(std::move(reading));
}

void MeterWindow::OnDrop(const std::string& text) {
    const std::vector<std::string> paths = DroppedPaths(text);
    if (paths.empty()) {
        view_.ShowMessage(Text(Msg::kDropNotAFile));
        return;
    }
    OpenFile(paths.front());
}

void MeterWindow::OnStart() {
    if (sessionActive_ || device_ < 0) return;
    LiveOptions options;
    options.capture.device = devices_[static_cast<size_t>(device_)].name;
    options.meter.rpm = kPlatterRpms[platter_];
    options.logPath = pendingLog_;
    options.recordPath = pendingRecording_;
    options.open = OpenOrNoneFound(options_.openCapture, options_.listDevices);
    try {
        session_.StartLive(options);
    } catch (const MeterError& e) {
        // The log could not be created: nothing started.
        view_.ShowMessage(e.what());
        return;
    }
    result_.reset();
    seconds_.clear();
    source_ = options.capture.device;
    recordedTo_ = pendingRecording_;
    outputError_.clear();
    hold_ = std::numeric_limits<double>::quiet_NaN();
    pendingLog_.clear();
    pendingRecording_.clear();
    sessionRpm_ = options.meter.rpm;
    sessionLive_ = true;
    sessionActive_ = true;
    const SessionSnapshot s = session_.Snapshot();
    // The worker may have ended already (a device that cannot be opened fails at once): taken
    // in as a poll takes it, so that the error state never shows without its message.
    if (s.status == SessionStatus::kFinished || s.status == SessionStatus::kFailed) {
        Poll();
        return;
    }
    logging_ = s.logging;
    recording_ = !options.recordPath.empty();
    ShowState(DisplayOfSnapshot(s, BarScale(), hold_, sessionRpm_));
}

void MeterWindow::OnStop() {
    if (!sessionActive_) return;
    session_.Stop();
    Poll();
}

void MeterWindow::OnLog() {
    if (sessionActive_ && !sessionLive_) return;
    try {
        if (sessionActive_ && logging_) {
            logging_ = false;
            session_.StopLog();
        } else if (sessionActive_) {
            const std::optional<std::string> path = AskForOutput(FileKind::kLog, ".csv");
            if (path) {
                session_.StartLog(*path);
                logging_ = true;
            }
        } else if (!pendingLog_.empty()) {
            pendingLog_.clear();
        } else if (const auto path = AskForOutput(FileKind::kLog, ".csv")) {
            pendingLog_ = *path;
        }
    } catch (const MeterError& e) {
        view_.ShowMessage(e.what());
    }
    UpdateControls();
}

void MeterWindow::OnRecord() {
    if (sessionActive_ && !sessionLive_) return;
    try {
        if (sessionActive_ && recording_) {
            recording_ = false;
            session_.StopRecording();
        } else if (sessionActive_) {
            const std::optional<std::string> path = AskForOutput(FileKind::kRecording, ".wav");
            if (path) {
                session_.StartRecording(*path);
                recording_ = true;
            }
        } else if (!pendingRecording_.empty()) {
            pendingRecording_.clear();
        } else if (const auto path = AskForOutput(FileKind::kRecording, ".wav")) {
            pendingRecording_ = *path;
        }
    } catch (const MeterError& e) {
        view_.ShowMessage(e.what());
    }
    UpdateControls();
}

void MeterWindow::Poll() {
    if (!sessionActive_) return;
    // The snapshot first: every second it counts is then among those taken.
    const SessionSnapshot s = session_.Snapshot();
    for (SecondReading& r : session_.TakeSeconds()) seconds_.push_back(std::move(r));
    session_.TakeLosses();  // counted in the status line
    if (!s.outputError.empty() && s.outputError != outputError_) {
        outputError_ = s.outputError;
        view_.ShowMessage(outputError_);
    }
    if (s.status == SessionStatus::kFinished || s.status == SessionStatus::kFailed) {
        FinishSession(s);
        return;
    }
    if (sessionLive_)
        PollLive(s);
    else
        PollFile(s);
}

void MeterWindow::PollLive(const SessionSnapshot& s) {
    const SecondReading& r = s.latest;
    if (s.status == SessionStatus::kRunning && r.state == MeterState::kMeasuring &&
        std::isfinite(r.weightedPeakPercent) && !(r.weightedPeakPercent <= hold_))
        hold_ = r.weightedPeakPercent;
    logging_ = s.logging;
    recording_ = s.recording;
    ShowState(DisplayOfSnapshot(s, BarScale(), hold_, sessionRpm_));
}

void MeterWindow::PollFile(const SessionSnapshot& s) {
    const double progress = std::isfinite(s.progress) ? s.progress : 0.0;
    if (progress == display_.progress) return;
    display_.progress = progress;
    display_.status = Text(Msg::kReadingFileProgress, source_.c_str(), 100.0 * progress);
    view_.Show(display_);
}

void MeterWindow::FinishSession(const SessionSnapshot& s) {
    session_.Stop();  // the worker has ended: joins it
    sessionActive_ = false;
    logging_ = recording_ = false;
    result_ = session_.Result();
    const bool failed = s.status == SessionStatus::kFailed;
    if (!failed) kept_.reset();
    if (!sessionLive_) {
        if (result_) {
            ShowState(DisplayOfResult(*result_, source_, BarScale()));
        } else if (!failed) {
            Display stopped = BlankDisplay(WindowState::kStopped, source_, BarScale());
            stopped.status =
                Text(Msg::kStoppedNothingMeasured,
                     100.0 * (std::isfinite(s.progress) ? s.progress : 0.0), source_.c_str());
            ShowState(std::move(stopped));
        } else if (kept_) {
            // The readings before stay, with what they were of; the message says why.
            result_ = std::move(kept_->result);
            seconds_ = std::move(kept_->seconds);
            source_ = std::move(kept_->source);
            recordedTo_ = std::move(kept_->recordedTo);
            sessionLive_ = kept_->live;
            Display before = std::move(kept_->display);
            kept_.reset();
            ShowState(std::move(before));
            view_.ShowMessage(s.error);
        } else {
            // The command-line tool's words, without its name in front.
            Display error = BlankDisplay(WindowState::kError, source_, BarScale());
            error.status = s.error;
            ShowState(std::move(error));
            view_.ShowMessage(s.error);
        }
        return;
    }
    source_ = s.source;
    Display d = result_ ? DisplayOfResult(*result_, LiveHeading(s), BarScale())
                        : DisplayOfSnapshot(s, BarScale(), hold_, sessionRpm_);
    d.state = failed ? WindowState::kError : WindowState::kStopped;
    d.bar.holdPercent = hold_;
    const std::string why =
        result_ ? std::string()
                : Text(Msg::kSessionNoResult, s.source.c_str(), session_.ResultError().c_str());
    if (failed) {
        d.status = result_ ? Text(Msg::kErrorWithReadings, s.error.c_str()) : s.error;
    } else {
        const std::string over =
            result_ ? Text(Msg::kReadingsOver, result_->measuredSeconds, result_->startSeconds)
                    : why;
        // Then what the result's own status line says (carrier, modulation, rate, span).
        d.status = Text(Msg::kStoppedAfter, ElapsedText(s.seconds).c_str(), over.c_str()) +
                   (result_ ? "  \u00b7  " + d.status : std::string());
    }
    ShowState(std::move(d));
    if (failed) view_.ShowMessage(s.error);
}

std::string MeterWindow::SuggestedName(const char* extension) const {
    if (source_.empty() || sessionLive_) {
        const std::time_t now = std::time(nullptr);
        const std::tm local = LocalTime(now);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
        return std::string("wobblemeter-") + stamp + extension;
    }
    std::string stem = source_;
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

bool MeterWindow::IsTheInput(const std::string& path) {
    const std::string& input = sessionLive_ ? recordedTo_ : source_;
    if (input.empty() || !SameFile(path, input)) return false;
    view_.ShowMessage(Text(Msg::kExportIsInput, path.c_str()));
    return true;
}

void MeterWindow::OnExportPlot() {
    if (!result_) return;
    const std::optional<std::string> path = AskForOutput(FileKind::kPlot, ".png");
    if (!path) return;
    if (PlotFormatOf(*path) == PlotFormat::kNone) {
        view_.ShowMessage(Text(Msg::kPlotNameRefused, path->c_str()));
        return;
    }
    if (IsTheInput(*path)) return;
    try {
        WritePlot(*result_, sessionLive_ ? "'" + source_ + "'" : source_, *path);
    } catch (const MeterError& e) {
        view_.ShowMessage(e.what());
    }
}

void MeterWindow::OnExportLog() {
    if (!result_) return;
    const std::optional<std::string> path = AskForOutput(FileKind::kCsv, ".csv");
    if (!path || IsTheInput(*path)) return;
    try {
        CsvLog log(*path);
        for (const SecondReading& r : seconds_) log.Write(r);
        if (!log.Close())
            throw MeterError(Msg::kCannotWriteLog, path->c_str(), log.Error().c_str());
    } catch (const MeterError& e) {
        view_.ShowMessage(e.what());
    }
}

void MeterWindow::OnExportJson() {
    if (!result_) return;
    const std::optional<std::string> path = AskForOutput(FileKind::kJson, ".json");
    if (!path || IsTheInput(*path)) return;
    const std::string json =
        sessionLive_ ? FormatJson(*result_, recordedTo_, source_) : FormatJson(*result_, source_);
    const auto failed = [&](const std::string& why) {
        view_.ShowMessage(Text(Msg::kCannotExportReadings, path->c_str(), why.c_str()));
    };
    FILE* file = OpenOutputFile(path->c_str());
    if (file == nullptr) {
        failed(std::strerror(errno));
        return;
    }
    errno = 0;
    const bool complete =
        std::fwrite(json.data(), 1, json.size(), file) == json.size() && std::fflush(file) == 0;
    const int error = errno;  // why, before the close can change it
    if (!complete) {
        DiscardOutputFile(file);
        failed(error != 0 ? std::strerror(error) : Text(Msg::kWriteError));
    } else if (!CommitOutputFile(file)) {
        failed(std::strerror(errno));
    }
}

void MeterWindow::OnExportReport() {
    if (!result_) return;
    const std::optional<std::string> path = AskForOutput(FileKind::kReport, ".pdf");
    if (!path) return;
    if (!IsReportName(*path)) {
        view_.ShowMessage(Text(Msg::kReportNameRefused, path->c_str()));
        return;
    }
    if (IsTheInput(*path)) return;
    const std::optional<std::string> note =
        view_.AskForText(Text(Msg::kReportNotePrompt), reportNote_);
    if (!note) return;
    reportNote_ = *note;
    ReportDetails details;
    details.file = sessionLive_ ? recordedTo_ : source_;
    if (sessionLive_) details.device = source_;
    details.when = ReportTime();
    details.version = "wobblemeter " WOBBLEGEN_VERSION_TEXT;
    details.note = reportNote_;
    details.paper = PaperFromEnvironment();
    try {
        WriteReport(*result_, details, *path);
    } catch (const MeterError& e) {
        view_.ShowMessage(e.what());
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

void MeterWindow::OnPlatterChosen(size_t index) {
    if (index >= kPlatterRpms.size() || index == platter_) return;
    platter_ = index;
    settings_.platterRpm = kPlatterRpms[index];
    RememberSettings();
    UpdateControls();
    // A file shown is read again with the platter; a live session keeps its own until Stop.
    if (!sessionActive_ && !sessionLive_ && result_) OpenFile(source_);
}

void MeterWindow::OnSpanChosen(size_t index) {
    if (index >= kDeviationSpans.size()) return;
    span_ = index;
    settings_.deviationSpanSeconds = kDeviationSpans[index];
    RememberSettings();
    SetDeviationSpan(display_, kDeviationSpans[index]);
    view_.Show(display_);
    UpdateControls();
}

void MeterWindow::RememberSettings() {
    if (options_.settingsPath.empty()) return;
    std::string error;
    // Not remembering is no reason to bother the user while measuring.
    SaveSettings(options_.settingsPath, settings_, &error);
}

std::string MeterWindow::OnClose() {
    if (!sessionActive_) return {};
    session_.Stop();  // finishes the log and the recording
    sessionActive_ = false;
    const std::string failed = session_.Snapshot().outputError;
    return failed != outputError_ ? failed : std::string();
}

}  // namespace wobblemeter
