// The verification set's table read, its readings checked and tabulated.
#include "meter/cli/verify.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "meter/message.h"
#include "text/decimal.h"

namespace wobblemeter {

namespace {

constexpr const char* kTableName = "expected.csv";
// The table's columns: file, signal, carrier, rate, modulation, deviation, then the two readings.
constexpr size_t kColumns = 8;
constexpr size_t kUnweightedColumn = 6;
constexpr size_t kWeightedColumn = 7;

std::vector<std::string> SplitCsv(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
}

// A finite decimal number, 0 or more, and nothing else.
bool IsReading(const std::string& text, double& value) {
    return ParseDecimalReal(text.c_str(), value) && value >= 0.0;
}

VerifyCheck Check(const ExpectedRow& row, const FileOutcome& outcome, bool weighted) {
    VerifyCheck c;
    c.file = row.file;
    c.signal = row.signal;
    c.weighted = weighted;
    c.expected = weighted ? row.weighted : row.unweighted;
    double expected = 0.0;
    IsReading(c.expected, expected);
    c.measured = kNoReading;
    c.errorPercent = kNoReading;
    if (expected == 0.0) {
        c.tolerancePercent = kVerifyNoneLimitPercent;
    } else {
        const bool wide = weighted && row.signal == kVerifyWideSignal;
        c.tolerancePercent = 100.0 * (wide ? kVerifyWideTolerance : kVerifyTolerance);
    }
    if (!outcome.measured) {
        c.why = outcome.error;
        return c;
    }
    c.measured =
        weighted ? outcome.result.weightedPeakPercent : outcome.result.unweightedPeakPercent;
    if (expected == 0.0) {
        c.pass = c.measured < kVerifyNoneLimitPercent;
    } else {
        c.errorPercent = 100.0 * (c.measured - expected) / expected;
        c.pass = std::fabs(c.errorPercent) <= c.tolerancePercent;
    }
    return c;
}

}  // namespace

std::vector<ExpectedRow> ReadExpectedTable(const std::string& dir) {
    const std::string path = dir + "/" + kTableName;
    std::ifstream in(path);
    if (!in) {
        throw MeterError(Msg::kVerifySetUnreadable, path.c_str(), std::strerror(errno));
    }
    std::vector<ExpectedRow> rows;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number == 1 || line.empty()) continue;  // the header
        const std::vector<std::string> fields = SplitCsv(line);
        ExpectedRow row;
        double signal = 0.0, value = 0.0;
        const bool good = fields.size() == kColumns && !fields[0].empty() &&
                          fields[0].find('/') == std::string::npos &&
                          IsReading(fields[1], signal) && signal == std::floor(signal) &&
                          signal >= 1.0 && signal <= 1e6 &&
                          IsReading(fields[kUnweightedColumn], value) &&
                          IsReading(fields[kWeightedColumn], value);
        if (!good) throw MeterError(Msg::kVerifyRowRefused, path.c_str(), number, line.c_str());
        row.file = fields[0];
        row.signal = static_cast<int>(signal);
        row.unweighted = fields[kUnweightedColumn];
        row.weighted = fields[kWeightedColumn];
        rows.push_back(row);
    }
    if (in.bad()) throw MeterError(Msg::kVerifyTableUnreadable, path.c_str(), std::strerror(errno));
    if (rows.empty()) throw MeterError(Msg::kVerifySetEmpty, path.c_str());
    return rows;
}

std::vector<VerifyCheck> CheckReadings(const ExpectedRow& row, const FileOutcome& outcome) {
    return {Check(row, outcome, false), Check(row, outcome, true)};
}

std::string FormatVerifyTable(const std::string& dir, const std::vector<VerifyCheck>& checks) {
    std::string out = Format(
        "Verification set %s: two-sigma in %% of the carrier, within %.0f %% of the expected "
        "reading (%.0f %% for signal %d weighted), below %g %% where none is expected\n",
        dir.c_str(), 100.0 * kVerifyTolerance, 100.0 * kVerifyWideTolerance, kVerifyWideSignal,
        kVerifyNoneLimitPercent);
    out += Format("%-16s %6s  %-10s  %10s  %10s  %8s  %s\n", "file", "signal", "reading",
                  "expected", "measured", "error %", "result");
    size_t failed = 0;
    for (const VerifyCheck& c : checks) {
        std::string measured = "-";
        std::string error = "-";
        if (std::isfinite(c.measured)) measured = Format("%.5g", c.measured);
        if (std::isfinite(c.errorPercent)) error = Format("%+.2f", c.errorPercent);
        std::string result;
        if (!c.why.empty())
            result = "FAIL (" + c.why + ")";
        else if (!std::isfinite(c.errorPercent))
            result = Format(c.pass ? "pass (below %g)" : "FAIL (not below %g)", c.tolerancePercent);
        else
            result = Format(c.pass ? "pass (±%g %%)" : "FAIL (beyond ±%g %%)", c.tolerancePercent);
        if (!c.pass) ++failed;
        out += Format("%-16s %6d  %-10s  %10s  %10s  %8s  ", c.file.c_str(), c.signal,
                      c.weighted ? "weighted" : "unweighted", c.expected.c_str(), measured.c_str(),
                      error.c_str()) +
               result + "\n";
    }
    const size_t files = checks.size() / 2;
    if (failed == 0)
        out += Format("All %zu readings of %zu files pass.\n", checks.size(), files);
    else
        out += Format("%zu of %zu readings of %zu files FAIL.\n", failed, checks.size(), files);
    return out;
}

}  // namespace wobblemeter
