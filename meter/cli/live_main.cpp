// wobblemeter's live commands: lists capture devices, and measures from one, the readings on
// standard error as they form (a block redrawn in place on a terminal, a line per second
// otherwise) and the summary over the session on standard output.
#include "meter/cli/live_main.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "meter/capture/capture.h"
#include "meter/cli/live_display.h"
#include "meter/live/live_session.h"
#include "meter/message.h"
#include "meter/meter.h"
#include "meter/output/plot.h"
#include "meter/output/report.h"
#include "sys/output_file.h"
#include "sys/process.h"
#include "sys/std_streams.h"
#include "sys/terminal.h"

namespace wobblemeter {
namespace {

constexpr int kExitFailed = 1;
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

bool FlushedStdout() {
    std::string reason;
    if (StandardStreamIntact(StandardStream::kOutput, &reason)) return true;
    std::fprintf(stderr, "wobblemeter: cannot write the readings to standard output: %s\n",
                 reason.empty() ? "write error" : reason.c_str());
    return false;
}

// The plot's file until it is written: discarded (an earlier plot stays as it was) unless
// committed.
class PendingPlot {
public:
    explicit PendingPlot(FILE* file) : file_(file) {}
    ~PendingPlot() {
        if (file_ != nullptr) DiscardOutputFile(file_);
    }
    PendingPlot(const PendingPlot&) = delete;
    PendingPlot& operator=(const PendingPlot&) = delete;
    FILE* Take() { return std::exchange(file_, nullptr); }
    bool Asked() const { return file_ != nullptr; }

private:
    FILE* file_;
};

}  // namespace

int ListDevicesCommand() {
    std::vector<CaptureDeviceInfo> devices;
    try {
        devices = ListCaptureDevices();
    } catch (const CaptureError& e) {
        std::fprintf(stderr, "wobblemeter: %s\n", e.what());
        return kExitFailed;
    }
    if (devices.empty()) {
        std::fprintf(stderr, "wobblemeter: no capture device found\n");
        return kExitFailed;
    }
    std::printf("  channels    rate  name\n");
    for (const CaptureDeviceInfo& device : devices)
        std::printf("%c %8d %7.0f  %s\n", device.isDefault ? '*' : ' ', device.maxInputChannels,
                    device.defaultRate, device.name.c_str());
    std::printf("(* the default device)\n");
    return FlushedStdout() ? 0 : kExitFailed;
}

int LiveCommand(const LiveArguments& arguments) {
    PendingPlot plot(arguments.plotFile);
    const bool terminal = IsTerminal(StandardStream::kError);
    LiveOptions options;
    options.capture.device = arguments.device;
    options.capture.rate = arguments.rate;
    options.capture.channel = arguments.meter.channel;
    options.meter = arguments.meter;
    options.durationSeconds = arguments.durationSeconds;
    options.logPath = arguments.log;
    options.recordPath = arguments.record;

    LiveSession session;
    try {
        session.StartLive(options);
    } catch (const MeterError& e) {
        std::fprintf(stderr, "wobblemeter: %s\n", e.what());
        return kExitFailed;
    }
    CatchStopRequests();

    TerminalBlock block;
    uint64_t seen = 0;
    auto drawn = std::chrono::steady_clock::time_point{};
    std::string outputError;
    for (;;) {
        seen = session.WaitForUpdate(seen, kDisplayInterval);
        if (StopRequested()) session.Stop();
        const SessionSnapshot s = session.Snapshot();
        for (const SessionLoss& loss : session.TakeLosses()) {
            if (terminal) continue;  // counted in the display
            std::fprintf(
                stderr, "wobblemeter: input overrun at %.3f s: %lld frames lost, bridged\n",
                static_cast<double>(loss.atFrame) / std::max(1, s.sampleRate), loss.frames);
        }
        if (!s.outputError.empty() && s.outputError != outputError) {
            block.Clear();
            outputError = s.outputError;
            std::fprintf(stderr, "wobblemeter: %s\n", outputError.c_str());
        }
        if (!terminal) {
            for (const SecondReading& r : session.TakeSeconds())
                std::fprintf(stderr, "%s\n", SecondLine(r).c_str());
        }
        if (s.status == SessionStatus::kFinished || s.status == SessionStatus::kFailed) break;
        const auto now = std::chrono::steady_clock::now();
        if (terminal && s.status == SessionStatus::kRunning && now - drawn >= kDrawInterval) {
            block.Draw(DisplayLines(s, arguments.meter.windowSeconds, TerminalColumns() - 1));
            drawn = now;
        }
    }
    block.Clear();
    session.Stop();

    const SessionSnapshot s = session.Snapshot();
    bool failed = !s.outputError.empty();
    if (s.status == SessionStatus::kFailed) {
        failed = true;
        std::string line = s.error;
        const double recorded = s.seconds - s.recordStartSeconds;
        if (!arguments.record.empty() && s.sampleRate > 0 && recorded > 0.0)
            line += "; " + arguments.record + Format(" holds the %.3f s recorded before", recorded);
        std::fprintf(stderr, "wobblemeter: %s\n", line.c_str());
    }
    const std::optional<MeterResult> result = session.Result();
    if (!result) {
        if (s.status != SessionStatus::kFailed)
            std::fprintf(stderr, "wobblemeter: '%s': %s\n", s.source.c_str(),
                         session.ResultError().c_str());
        return kExitFailed;
    }
    const std::string text = arguments.json ? FormatJson(*result, arguments.record, s.source)
                                            : FormatSummary(*result, arguments.record, s.source);
    std::fputs(text.c_str(), stdout);
    if (!FlushedStdout()) failed = true;
    if (plot.Asked()) {
        try {
            const std::string bytes =
                RenderPlot(*result, "'" + s.source + "'", arguments.plotFormat);
            CommitPlot(plot.Take(), bytes, arguments.plot);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "wobblemeter: %s\n", e.what());
            failed = true;
        }
    }
    return failed ? kExitFailed : 0;
}

}  // namespace wobblemeter
