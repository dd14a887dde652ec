// The verification set's table read, its readings checked and tabulated.
#include "meter/cli/verify.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "meter/message.h"
#include "text/decimal.h"

namespace wobblemeter {

namespace {

constexpr const char* kTableName = "expected.csv";
// The table's columns: file, signal, carrier, rate, modulation, deviation, then the two readings.
constexpr size_t kColumns = 8;
constexpr size_t kSignalColumn = 1;
constexpr size_t kCarrierColumn = 2;
constexpr size_t kRateColumn = 3;
constexpr size_t kModulationColumn = 4;
constexpr size_t kDeviationColumn = 5;
constexpr size_t kUnweightedColumn = 6;
constexpr size_t kWeightedColumn = 7;
constexpr int kCarrierCount = sizeof kVerifyCarriersHz / sizeof kVerifyCarriersHz[0];
// The ranges: sample rates in Hz, modulation in Hz, deviation and readings in %.
constexpr int kLowestRate = 8000, kHighestRate = 384000;
constexpr double kHighestModulationHz = 1000.0;
constexpr double kHighestPercent = 100.0;
// What a message quotes of a line or value at most, so that no message grows with the table.
constexpr size_t kQuotedBytes = 40;
// Digits of the expected readings and the errors as the table of results prints them.
constexpr int kPrintedDigits = 4;

std::vector<std::string> SplitCsv(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
}

std::string Shortened(const std::string& text) {
    if (text.size() <= kQuotedBytes) return text;
    std::string out;
    out.reserve(kQuotedBytes + 3);
    out.append(text, 0, kQuotedBytes);
    out.append("...");
    return out;
}

// The line that begins at `at`, without its line end, and `at` moved past it. Refuses a line
// longer than kVerifyLineMaxBytes before copying it.
std::string NextLine(const std::string& bytes, size_t& at, const std::string& path, int number) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    size_t length = end - at;
    if (length > 0 && bytes[at + length - 1] == '\r') --length;
    if (length > static_cast<size_t>(kVerifyLineMaxBytes))
        throw MeterError(Msg::kVerifyLineTooLong, path.c_str(), number, kVerifyLineMaxBytes);
    std::string line = bytes.substr(at, length);
    at = end + 1;
    return line;
}

bool Whole(double value, double low, double high) {
    return value == std::floor(value) && value >= low && value <= high;
}

// The value of a numeric column, or MeterError saying what the column allows.
double ValueOf(const std::string& text, size_t column, const std::string& path, int number) {
    static const std::vector<std::string> names = SplitCsv(kVerifyTableHeader);
    const char* name = names[column].c_str();
    const std::string quoted = Shortened(text);
    const char* given = quoted.c_str();
    double v = 0.0;
    const bool parsed = text.find('\0') == std::string::npos && ParseDecimalReal(text.c_str(), v);
    switch (column) {
        case kSignalColumn:
            if (parsed && Whole(v, 1.0, kVerifySignalCount)) return v;
            throw MeterError(Msg::kVerifyWholeRefused, path.c_str(), number, name, given, 1,
                             kVerifySignalCount);
        case kCarrierColumn:
            for (const double hz : kVerifyCarriersHz)
                if (parsed && v == hz) return v;
            throw MeterError(Msg::kVerifyCarrierRefused, path.c_str(), number, name, given,
                             FormatShortest(kVerifyCarriersHz[0]).c_str(),
                             FormatShortest(kVerifyCarriersHz[1]).c_str());
        case kRateColumn:
            if (parsed && Whole(v, kLowestRate, kHighestRate)) return v;
            throw MeterError(Msg::kVerifyWholeRefused, path.c_str(), number, name, given,
                             kLowestRate, kHighestRate);
        case kModulationColumn:
        case kDeviationColumn: {
            const double high =
                column == kModulationColumn ? kHighestModulationHz : kHighestPercent;
            if (parsed && v >= 0.0 && v <= high) return v;
            throw MeterError(Msg::kVerifyNumberRefused, path.c_str(), number, name, given, "0",
                             FormatShortest(high).c_str());
        }
        default:
            if (parsed && (v == 0.0 || (v >= kVerifyNoneLimitPercent && v <= kHighestPercent)))
                return v;
            throw MeterError(Msg::kVerifyReadingRefused, path.c_str(), number, name, given,
                             FormatShortest(kVerifyNoneLimitPercent).c_str(),
                             FormatShortest(kHighestPercent).c_str());
    }
}

// A row of the table; seen marks each signal at each carrier, to refuse it twice.
ExpectedRow ParseRow(const std::string& line, const std::string& path, int number,
                     std::vector<bool>& seen) {
    const std::vector<std::string> fields = SplitCsv(line);
    if (fields.size() != kColumns || line.find('\0') != std::string::npos)
        throw MeterError(Msg::kVerifyRowRefused, path.c_str(), number, Shortened(line).c_str());
    if (fields[0].empty() || fields[0].find_first_of("/\\") != std::string::npos)
        throw MeterError(Msg::kVerifyFileNameRefused, path.c_str(), number,
                         Shortened(fields[0]).c_str());
    double values[kColumns] = {};
    for (size_t column = kSignalColumn; column < kColumns; ++column)
        values[column] = ValueOf(fields[column], column, path, number);
    ExpectedRow row;
    row.file = fields[0];
    row.signal = static_cast<int>(values[kSignalColumn]);
    row.unweighted = fields[kUnweightedColumn];
    row.weighted = fields[kWeightedColumn];
    const int carrier = values[kCarrierColumn] == kVerifyCarriersHz[0] ? 0 : 1;
    const size_t slot = static_cast<size_t>(carrier * kVerifySignalCount + row.signal - 1);
    if (seen[slot])
        throw MeterError(Msg::kVerifySignalTwice, path.c_str(), number, row.signal,
                         FormatShortest(values[kCarrierColumn]).c_str());
    seen[slot] = true;
    return row;
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
    double expected = 0.0;
    IsReading(weighted ? row.weighted : row.unweighted, expected);
    if (expected == 0.0) expected = 0.0;  // "-0" prints as 0
    c.expected = FormatSignificant(expected, kPrintedDigits);
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

// The bytes of the table at path: a regular file (checked before it is opened, so that a FIFO
// cannot block), no more of it read than one byte beyond kVerifyTableMaxBytes.
std::string ReadTableBytes(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error) throw MeterError(Msg::kVerifySetUnreadable, path.c_str(), error.message().c_str());
    if (!std::filesystem::is_regular_file(status))
        throw MeterError(Msg::kVerifyTableNotAFile, path.c_str());
    std::ifstream in(path, std::ios::binary);
    if (!in) throw MeterError(Msg::kVerifySetUnreadable, path.c_str(), std::strerror(errno));
    std::string bytes(static_cast<size_t>(kVerifyTableMaxBytes) + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) throw MeterError(Msg::kVerifyTableUnreadable, path.c_str(), std::strerror(errno));
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.size() > static_cast<size_t>(kVerifyTableMaxBytes))
        throw MeterError(Msg::kVerifyTableTooLarge, path.c_str(), kVerifyTableMaxBytes / 1024);
    return bytes;
}

}  // namespace

std::vector<ExpectedRow> ParseExpectedTable(const std::string& bytes, const std::string& path) {
    std::vector<ExpectedRow> rows;
    std::vector<bool> seen(static_cast<size_t>(kCarrierCount * kVerifySignalCount), false);
    size_t at = 0;
    if (bytes.empty() || NextLine(bytes, at, path, 1) != kVerifyTableHeader)
        throw MeterError(Msg::kVerifyHeaderMissing, path.c_str(), kVerifyTableHeader);
    for (int number = 2; at < bytes.size(); ++number) {
        const std::string line = NextLine(bytes, at, path, number);
        if (!line.empty()) rows.push_back(ParseRow(line, path, number, seen));
    }
    if (rows.empty()) throw MeterError(Msg::kVerifySetEmpty, path.c_str());
    for (int carrier = 0; carrier < kCarrierCount; ++carrier) {
        for (int signal = 1; signal <= kVerifySignalCount; ++signal) {
            if (!seen[static_cast<size_t>(carrier * kVerifySignalCount + signal - 1)])
                throw MeterError(Msg::kVerifySignalMissing, path.c_str(), signal,
                                 FormatShortest(kVerifyCarriersHz[carrier]).c_str());
        }
    }
    return rows;
}

std::vector<ExpectedRow> ReadExpectedTable(const std::string& dir) {
    const std::string path = dir + "/" + kTableName;
    return ParseExpectedTable(ReadTableBytes(path), path);
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
        if (std::isfinite(c.errorPercent)) {
            const std::string digits = FormatSignificant(c.errorPercent, kPrintedDigits);
            error = Format(c.errorPercent >= 0.0 ? "+%s" : "%s", digits.c_str());
        }
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
