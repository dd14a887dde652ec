// wobblemeter's live commands: lists capture devices, and measures from one, the readings on
// standard error as they form (a block redrawn in place on a terminal, a line per second
// otherwise) and the summary over the session on standard output.
#include "meter/cli/live_main.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "meter/capture/capture.h"
#include "meter/cli/console.h"
#include "meter/cli/live_display.h"
#include "meter/cli/report_output.h"
#include "meter/live/live_session.h"
#include "meter/message.h"
#include "meter/meter.h"
#include "meter/output/report.h"
#include "sys/process.h"
#include "sys/std_streams.h"
#include "sys/terminal.h"

namespace wobblemeter {
namespace {

// The display looks for news this often, and redraws on a terminal at most this often (the
// session brings news with every block the device delivers: 20 to 50 times a second).
constexpr std::chrono::milliseconds kDisplayInterval{100};
constexpr std::chrono::milliseconds kDrawInterval{40};
constexpr int kDefaultColumns = 80;

// The terminal's width in characters (80 when it does not say).
int TerminalColumns() {
    const int width = TerminalWidth(StandardStream::kError);
    return width > 0 ? width : kDefaultColumns;
}

// Lines on standard error redrawn in place: the cursor goes back up over the block drawn last.
class TerminalBlock {
public:
    void Draw(const std::vector<std::string>& lines) {
        std::string out;
        if (drawn_ > 0) out += Format("\033[%dA", drawn_);
        for (const std::string& line : lines) out += "\r" + line + "\033[K\n";
        std::fputs(out.c_str(), stderr);
        std::fflush(stderr);
        drawn_ = static_cast<int>(lines.size());
    }
    void Clear() {
        if (drawn_ == 0) return;
        std::fprintf(stderr, "\033[%dA\r\033[J", drawn_);
        std::fflush(stderr);
        drawn_ = 0;
    }

private:
    int drawn_ = 0;
};

// What the session brings while it runs, on standard error: on a terminal the block redrawn in
// place, otherwise a line per second and per overrun; a log or recording lost in either case.
class SessionDisplay {
public:
    SessionDisplay(LiveSession& session, double windowSeconds)
        : session_(session),
          windowSeconds_(windowSeconds),
          terminal_(IsTerminal(StandardStream::kError)) {}
    // Shows the session until it ends (the duration reached, the device lost, Ctrl-C), then
    // clears the block.
    void Run() {
        uint64_t seen = 0;
        for (;;) {
            seen = session_.WaitForUpdate(seen, kDisplayInterval);
            if (StopRequested()) session_.Stop();
            const SessionSnapshot s = session_.Snapshot();
            ShowNews(s);
            if (s.status == SessionStatus::kFinished || s.status == SessionStatus::kFailed) break;
            if (terminal_ && s.status == SessionStatus::kRunning) Draw(s);
        }
        block_.Clear();
    }

private:
    // Overruns, a lost output and (without a terminal) the seconds since the last look.
    void ShowNews(const SessionSnapshot& s) {
        for (const SessionLoss& loss : session_.TakeLosses()) {
            if (terminal_) continue;  // counted in the display
            Say(loss.notAudio ? Msg::kSamplesNotAudioAt : Msg::kInputOverrun,
                static_cast<double>(loss.atFrame) / std::max(1, s.sampleRate), loss.frames);
        }
        if (!s.outputError.empty() && s.outputError != outputError_) {
            block_.Clear();
            outputError_ = s.outputError;
            SayLine(outputError_);
        }
        if (!terminal_) {
            for (const SecondReading& r : session_.TakeSeconds())
                std::fprintf(stderr, "%s\n", SecondLine(r).c_str());
        }
    }
    void Draw(const SessionSnapshot& s) {
        const auto now = std::chrono::steady_clock::now();
        if (now - drawn_ < kDrawInterval) return;
        block_.Draw(DisplayLines(s, windowSeconds_, TerminalColumns() - 1));
        drawn_ = now;
    }

    LiveSession& session_;
    double windowSeconds_;
    bool terminal_;
    TerminalBlock block_;
    std::chrono::steady_clock::time_point drawn_{};
    std::string outputError_;  // the last one shown
};

LiveOptions SessionOptions(const Options& options) {
    LiveOptions live;
    live.capture.device = options.capture.device;
    live.capture.rate = options.capture.rate;
    live.capture.channel = options.meter.channel;
    live.meter = options.meter;
    live.durationSeconds = options.capture.durationSeconds;
    live.logPath = options.log;
    live.recordPath = options.capture.record;
    return live;
}

// The summary over the session on standard output, the plot and the report; true when all went
// out.
bool WriteSessionOutputs(const MeterResult& result, const SessionSnapshot& s,
                         const Options& options, PendingPlot& plot) {
    const std::string& record = options.capture.record;
    const std::string text = options.json ? FormatJson(result, record, s.source)
                                          : FormatSummary(result, record, s.source);
    bool written = true;
    const std::string lost = WriteStandardOutput(text);
    if (!lost.empty()) {
        Say(Msg::kCannotPrintReadings, lost.c_str());
        written = false;
    }
    if (plot.Asked()) {
        try {
            plot.Write(result, "'" + s.source + "'");
        } catch (const std::exception& e) {
            SayLine(e.what());
            written = false;
        }
    }
    return WriteReportIfAsked(result, options, record, s.source) && written;
}

}  // namespace

std::string SessionFailure(const SessionSnapshot& s, const std::string& record) {
    if (s.status != SessionStatus::kFailed) return {};
    const double recorded = s.seconds - s.recordStartSeconds;
    if (!record.empty() && s.sampleRate > 0 && recorded > 0.0)
        return Text(Msg::kSessionFailedRecorded, s.error.c_str(), record.c_str(), recorded);
    return s.error;
}

int ListDevicesCommand() {
    std::vector<CaptureDeviceInfo> devices;
    try {
        devices = ListCaptureDevices();
    } catch (const CaptureError& e) {
        SayLine(e.what());
        return ToInt(ExitStatus::kFailed);
    }
    if (devices.empty()) return Say(Msg::kNoCaptureDevice);
    std::string list = "  channels    rate  name\n";
    for (const CaptureDeviceInfo& device : devices)
        list += Format("%c %8d %7.0f  %s\n", device.isDefault ? '*' : ' ', device.maxInputChannels,
                       device.defaultRate, device.name.c_str());
    list += "(* the default device)\n";
    const std::string lost = WriteStandardOutput(list);
    return lost.empty() ? ToInt(ExitStatus::kDone) : Say(Msg::kCannotPrintReadings, lost.c_str());
}

int LiveCommand(const Options& options, PendingPlot plot) {
    CheckReportWritable(options);
    LiveSession session;
    session.StartLive(SessionOptions(options));  // throws MeterError: the log cannot be created
    CatchStopRequests();
    SessionDisplay(session, options.meter.windowSeconds).Run();
    session.Stop();

    const SessionSnapshot s = session.Snapshot();
    const std::string failure = SessionFailure(s, options.capture.record);
    const bool failed = s.status == SessionStatus::kFailed;
    if (failed) SayLine(failure);
    const std::optional<MeterResult> result = session.Result();
    if (!result) {
        if (!failed)
            Say(Msg::kSessionNoResult, QuotedName(s.source).c_str(), session.ResultError().c_str());
        return ToInt(ExitStatus::kFailed);
    }
    const bool written = WriteSessionOutputs(*result, s, options, plot);
    return !failed && s.outputError.empty() && written ? ToInt(ExitStatus::kDone)
                                                       : ToInt(ExitStatus::kFailed);
}

}  // namespace wobblemeter
