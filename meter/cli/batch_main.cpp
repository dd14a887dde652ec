// Several files and the verification set: measured side by side, printed in order.
#include "meter/cli/batch_main.h"

#include <chrono>
#include <cstdio>
#include <exception>

#include "meter/cli/batch.h"
#include "meter/cli/console.h"
#include "meter/cli/verify.h"
#include "meter/message.h"
#include "meter/output/report.h"
#include "sys/std_streams.h"
#include "sys/terminal.h"

namespace wobblemeter {

namespace {

// Runs longer than this show on a terminal how many files are done.
constexpr std::chrono::milliseconds kProgressDelay{500};

// "wobblemeter: measured 3 of 16 files" on a terminal, redrawn in place; erased before anything
// else is printed.
class FileProgress {
public:
    explicit FileProgress(size_t files)
        : files_(files),
          terminal_(IsTerminal(StandardStream::kError)),
          started_(std::chrono::steady_clock::now()) {}
    void Erase() {
        if (!shown_) return;
        std::fprintf(stderr, "\r%50s\r", "");
        std::fflush(stderr);
        shown_ = false;
    }
    void Show(size_t done) {
        if (!terminal_ || done == files_ ||
            std::chrono::steady_clock::now() - started_ < kProgressDelay)
            return;
        std::fprintf(stderr, "\rwobblemeter: %s", Text(Msg::kFilesProgress, done, files_).c_str());
        std::fflush(stderr);
        shown_ = true;
    }

private:
    size_t files_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace

int MeasureFilesCommand(const std::vector<std::string>& paths, const MeterOptions& options,
                        OutputForm form) {
    const bool array = form == OutputForm::kJson && paths.size() > 1;
    std::string lost;  // why standard output could not be written
    bool anyFailed = false;
    size_t done = 0;
    FileProgress progress(paths.size());
    auto out = [&lost](const std::string& text) {
        if (lost.empty()) lost = WriteStandardOutput(text);
        return lost.empty();
    };
    if (form == OutputForm::kCsv) out(CsvHeader() + "\n");
    if (array) out("[");
    MeasureFiles(paths, options, MeasuringThreads(paths.size()), [&](const FileOutcome& o) {
        progress.Erase();
        std::string text;
        if (!o.measured) {
            anyFailed = true;
            Say(Msg::kFileNotMeasured, QuotedName(o.path).c_str(), o.error.c_str());
            if (form == OutputForm::kCsv) text = CsvFailureRow(o.path, o.error) + "\n";
            if (array) text = JsonFailure(o.path, o.error);
        } else if (form == OutputForm::kCsv) {
            text = CsvRow(o.result, o.path) + "\n";
        } else if (form == OutputForm::kJson) {
            text = array ? JsonObject(o.result, o.path) : FormatJson(o.result, o.path);
        } else {
            // Appended: GCC 12 at -O3 warns falsely (-Wrestrict) on "\n" + std::string.
            text = done > 0 ? "\n" : "";
            text += FormatSummary(o.result, o.path);
        }
        if (array && done > 0) text = "," + text;
        ++done;
        // Without standard output there is nothing left to measure for.
        if (!text.empty() && !out(text)) return false;
        progress.Show(done);
        return true;
    });
    if (array) out("]\n");
    progress.Erase();
    if (!lost.empty()) return Say(Msg::kCannotPrintReadings, lost.c_str());
    return anyFailed ? StatusOf(Msg::kFileNotMeasured) : ToInt(ExitStatus::kDone);
}

int VerifyCommand(const std::string& dir) {
    std::vector<ExpectedRow> rows;
    try {
        rows = ReadExpectedTable(dir);
    } catch (const MeterError& e) {
        return Say(e);
    } catch (const std::exception& e) {  // out of memory
        SayLine(e.what());
        return ToInt(ExitStatus::kFailed);
    }
    std::vector<std::string> paths;
    for (const ExpectedRow& row : rows) paths.push_back(dir + "/" + row.file);
    std::vector<VerifyCheck> checks;
    size_t next = 0;
    FileProgress progress(paths.size());
    MeasureFiles(paths, {}, MeasuringThreads(paths.size()), [&](const FileOutcome& o) {
        for (const VerifyCheck& c : CheckReadings(rows[next], o)) checks.push_back(c);
        progress.Show(++next);
        return true;
    });
    progress.Erase();
    const std::string lost = WriteStandardOutput(FormatVerifyTable(dir, checks));
    if (!lost.empty()) return Say(Msg::kCannotPrintTable, lost.c_str());
    for (const VerifyCheck& c : checks)
        if (!c.pass) return ToInt(ExitStatus::kFailed);
    return ToInt(ExitStatus::kDone);
}

}  // namespace wobblemeter
