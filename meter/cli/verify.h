// Verification against a set of signals with known readings (wobblegen-cli --calibration-set):
// the table of expected readings, each file's readings checked against it within the set's
// tolerances, and the table of expected, measured, error and pass or fail.
#pragma once

#include <string>
#include <vector>

#include "meter/cli/batch.h"

namespace wobblemeter {

// A row of expected.csv: a file of the set and the two-sigma readings it must give, in % of its
// carrier (unweighted and weighted), as written there.
struct ExpectedRow {
    std::string file;
    int signal = 0;
    std::string unweighted, weighted;  // as the table gives them
};

// The set's table is whole: the header line, then a row for each signal 1 to kVerifySignalCount
// at each of the carriers kVerifyCarriersHz, in any order (empty lines ignored), each column
// in its range (see ParseExpectedTable). A file no larger than kVerifyTableMaxBytes, lines no
// longer than kVerifyLineMaxBytes.
constexpr const char* kVerifyTableHeader =
    "file,signal,carrier_hz,sample_rate_hz,modulation_hz,deviation_percent,"
    "unweighted_2sigma_percent,weighted_2sigma_percent";
constexpr int kVerifySignalCount = 8;
constexpr double kVerifyCarriersHz[] = {3150.0, 3000.0};
constexpr int kVerifyTableMaxBytes = 1 << 20;
constexpr int kVerifyLineMaxBytes = 4096;

// Reads the table from its bytes; path names it in messages. Columns: the file's name (no
// folders), the signal (1 to 8), the carrier (3150 or 3000 Hz), the sample rate (a whole number
// of Hz, 8000 to 384000), the modulation (0 to 1000 Hz), the peak deviation (0 to 100 %), then
// the two readings: 0 (none expected) or from 0.001 to 100 %. Throws MeterError naming the line
// and what is wrong (no header, a row that is none, a value out of its range, a signal twice or
// missing, a line too long).
std::vector<ExpectedRow> ParseExpectedTable(const std::string& bytes, const std::string& path);

// Reads DIR/expected.csv: a regular file (a FIFO or device is refused without opening it), read
// whole into memory only up to kVerifyTableMaxBytes. Throws MeterError saying what is wrong
// (missing, unreadable, not a regular file, too large, or as ParseExpectedTable).
std::vector<ExpectedRow> ReadExpectedTable(const std::string& dir);

// Tolerances: a reading within kVerifyTolerance of the expected one (relative) passes; the
// weighted reading of signal 8 (0.2 Hz, 30 dB down the weighting's slope) within
// kVerifyWideTolerance; where nothing is expected (signal 1, the pure carrier), a reading
// below kVerifyNoneLimitPercent.
constexpr double kVerifyTolerance = 0.02;
constexpr double kVerifyWideTolerance = 0.10;
constexpr int kVerifyWideSignal = 8;
constexpr double kVerifyNoneLimitPercent = 0.001;

// One reading checked.
struct VerifyCheck {
    std::string file;
    int signal = 0;
    bool weighted = false;
    std::string expected;       // the table's value, to four significant digits
    double measured = 0.0;      // %, NaN when the file could not be measured
    double errorPercent = 0.0;  // (measured - expected) / expected in %; NaN where 0 is expected
    double tolerancePercent = 0.0;  // allowed |error|, %; or the limit in % where 0 is expected
    bool pass = false;
    std::string why;  // why the file could not be measured
};

// Checks a file's two readings (unweighted, then weighted).
std::vector<VerifyCheck> CheckReadings(const ExpectedRow& row, const FileOutcome& outcome);

// The table: a heading, a row per reading, and a last line that counts them.
std::string FormatVerifyTable(const std::string& dir, const std::vector<VerifyCheck>& checks);

}  // namespace wobblemeter
