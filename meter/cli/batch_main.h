// wobblemeter's commands over several files, called from its main: measuring each of them
// (summaries, a JSON array or CSV rows), and verifying a set of signals with known readings.
#pragma once

#include <string>
#include <vector>

#include "meter/meter.h"

namespace wobblemeter {

enum class OutputForm { kSummary, kJson, kCsv };

// Measures every file, two or more side by side where there are cores for them, and prints the
// readings in the files' order: a summary for each (a blank line between), one JSON object for a
// single file and an array for several, or a CSV header and a row per file. A file that cannot
// be measured gets its line on standard error (and its row or object with its error) and does
// not stop the others. Returns the exit status: 1 when any failed or the readings could not be
// written.
int MeasureFilesCommand(const std::vector<std::string>& paths, const MeterOptions& options,
                        OutputForm form);

// Measures the set in dir against its expected.csv and prints the table; returns the exit
// status: 0 when every reading passes, 1 otherwise.
int VerifyCommand(const std::string& dir);

}  // namespace wobblemeter
