// The meter's readings as a readable summary or as one JSON object.
#pragma once

#include <string>

#include "meter/meter.h"

namespace wobblemeter {

// The readings of a file at path; or, where device is given, of a session captured from that
// device (path: its recording, empty when none).
std::string FormatSummary(const MeterResult& result, const std::string& path,
                          const std::string& device = {});
// One JSON object on one line, with its line end.
std::string FormatJson(const MeterResult& result, const std::string& path,
                       const std::string& device = {});
// The same object without the line end, for an array of several; and the object of a file that
// could not be measured: its name and the error.
std::string JsonObject(const MeterResult& result, const std::string& path,
                       const std::string& device = {});
std::string JsonFailure(const std::string& path, const std::string& error);

// The readings of several files as CSV: the header row, and the row of a file (its name first,
// the JSON keys' figures, an empty error) or of one that could not be measured (its name and,
// in the last column, the error); without line ends.
std::string CsvHeader();
std::string CsvRow(const MeterResult& result, const std::string& path);
std::string CsvFailureRow(const std::string& path, const std::string& error);

// "33 1/3 rpm", "45 rpm", "78 rpm".
std::string PlatterName(double rpm);
// The speed error as "+0.008 %", or "unknown (give --nominal)" when there is no nominal.
std::string FormatSpeedError(const MeterResult& result);

}  // namespace wobblemeter
