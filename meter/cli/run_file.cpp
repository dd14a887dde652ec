// One file measured: progress, log, readings and plot, each output going out whatever became of
// the others.
#include "meter/cli/run_file.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "meter/cli/console.h"
#include "meter/cli/report_output.h"
#include "meter/output/csv_log.h"
#include "meter/output/report.h"
#include "sys/std_streams.h"
#include "sys/terminal.h"

namespace wobblemeter {

namespace {

// Measurements that take longer than this show their progress on a terminal.
constexpr std::chrono::milliseconds kProgressDelay{500};

// "wobblemeter: reading  42 %" on a terminal, redrawn in place once the measurement has taken
// kProgressDelay.
class ReadingProgress {
public:
    ReadingProgress() = default;
    ReadingProgress(const ReadingProgress&) = delete;  // its hook points at it
    ReadingProgress& operator=(const ReadingProgress&) = delete;
    // Hooks into options when standard error is a terminal; this must outlive the measurement.
    void Attach(MeterOptions& options) {
        if (!IsTerminal(StandardStream::kError)) return;
        started_ = std::chrono::steady_clock::now();
        options.progress = [this](double fraction) { Show(fraction); };
    }
    // Once measured: the line is erased.
    void Erase() const {
        if (shown_) std::fprintf(stderr, "\r%40s\r", "");
    }
    // Before a failure's message: the line stays, ended.
    void End() const {
        if (shown_) std::fprintf(stderr, "\n");
    }

private:
    void Show(double fraction) {
        const int percent = static_cast<int>(100.0 * fraction);
        if (percent == percent_ || std::chrono::steady_clock::now() - started_ < kProgressDelay)
            return;
        std::fprintf(stderr, "\rwobblemeter: %s", Text(Msg::kReadingProgress, percent).c_str());
        std::fflush(stderr);
        percent_ = percent;
        shown_ = true;
    }

    std::chrono::steady_clock::time_point started_;
    int percent_ = -1;
    bool shown_ = false;
};

// The log of every second (none when path is empty). Its name is tried at once, so that an
// unwritable one is refused before measuring (MeterError); the file itself is made only once
// the recording is open and accepted, so that a file that cannot be measured leaves an earlier
// log of that name as it was.
class SecondsLog {
public:
    SecondsLog(const std::string& path, MeterOptions& options) : path_(path) {
        if (path.empty()) return;
        CsvLog::CheckWritable(path);
        options.opened = [this] {
            try {
                csv_ = std::make_unique<CsvLog>(path_);
            } catch (const MeterError& e) {
                failure_ = e.what();
                throw;
            }
        };
        options.onSecond = [this](const SecondReading& r) {
            if (csv_) csv_->Write(r);
        };
    }
    SecondsLog(SecondsLog&&) = delete;  // its hooks point at it
    SecondsLog& operator=(SecondsLog&&) = delete;
    // Why the log could not be made once the recording was open; empty when it was.
    const std::string& Failure() const { return failure_; }
    // Says so when the log could not be written whole; true when it could (or there is none).
    bool Close() {
        if (!csv_ || csv_->Close()) return true;
        Say(Msg::kCannotWriteLog, path_.c_str(), csv_->Error().c_str());
        return false;
    }

private:
    std::string path_;
    std::unique_ptr<CsvLog> csv_;
    std::string failure_;
};

// The readings in the form asked for.
std::string ReadingsText(const MeterResult& result, const std::string& path, OutputForm form) {
    if (form == OutputForm::kJson) return FormatJson(result, path);
    if (form == OutputForm::kCsv) return CsvHeader() + "\n" + CsvRow(result, path) + "\n";
    return FormatSummary(result, path);
}

// A file that could not be measured: its line on standard error, and in CSV its row (CSV has a
// row for every file, a failed one too). Returns the exit status.
int Unmeasured(const std::string& path, const std::string& why, OutputForm form) {
    const int status = Say(Msg::kFileNotMeasured, QuotedName(path).c_str(), why.c_str());
    if (form == OutputForm::kCsv) {
        const std::string lost =
            WriteStandardOutput(CsvHeader() + "\n" + CsvFailureRow(path, why) + "\n");
        if (!lost.empty()) Say(Msg::kCannotPrintReadings, lost.c_str());
    }
    return status;
}

// The readings on standard output, the plot and the report, each whatever became of the others;
// true when all went out.
bool WriteOutputs(const MeterResult& result, const Options& options, PendingPlot& plot) {
    const std::string& path = options.paths.front();
    const OutputForm form = options.form;
    std::string readingsLost;
    try {
        readingsLost = WriteStandardOutput(ReadingsText(result, path, form));
    } catch (const std::exception& e) {
        readingsLost = e.what();
    }
    const bool plotAsked = plot.Asked();
    bool plotWritten = !plotAsked;
    if (plotAsked) {
        try {
            plot.Write(result, path);
            plotWritten = true;
        } catch (const std::exception& e) {
            SayLine(e.what());
        }
    }
    const bool reportWritten = WriteReportIfAsked(result, options, path);
    if (readingsLost.empty()) return plotWritten && reportWritten;
    if (plotAsked && plotWritten)
        Say(Msg::kCannotPrintReadingsPlotWritten, readingsLost.c_str(), plot.Path().c_str());
    else
        Say(Msg::kCannotPrintReadings, readingsLost.c_str());
    return false;
}

}  // namespace

int MeasureFileCommand(Options& options, PendingPlot plot) {
    const std::string& path = options.paths.front();
    CheckReportWritable(options);
    ReadingProgress progress;
    progress.Attach(options.meter);
    SecondsLog log(options.log, options.meter);
    MeterResult result;
    bool logKept = true;
    std::string failure;
    try {
        result = MeasureFile(path, options.meter);
        progress.Erase();
        logKept = log.Close();
    } catch (const MeterError& e) {
        progress.End();
        // A log that could not be made: its own words, as when its name is refused at once.
        if (!log.Failure().empty()) return Say(e);
        failure = e.what();
        log.Close();
    } catch (const std::bad_alloc&) {
        failure = Text(Msg::kOutOfMemory);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (!failure.empty()) return Unmeasured(path, failure, options.form);
    const bool written = WriteOutputs(result, options, plot);
    return logKept && written ? ToInt(ExitStatus::kDone) : ToInt(ExitStatus::kFailed);
}

}  // namespace wobblemeter
