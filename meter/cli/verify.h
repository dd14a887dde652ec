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

// Reads DIR/expected.csv. Throws MeterError saying what is wrong (missing, unreadable, a row
// that does not parse, no rows).
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
    std::string expected;       // as the table gives it
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
