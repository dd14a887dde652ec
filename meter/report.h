// The meter's readings as a readable summary or as one JSON object.
#pragma once

#include <string>

#include "meter/meter.h"

namespace wobblemeter {

// The readings of a file at path; or, where device is given, of a session captured from that
// device (path: its recording, empty when none).
std::string FormatSummary(const MeterResult& result, const std::string& path,
                          const std::string& device = {});
std::string FormatJson(const MeterResult& result, const std::string& path,
                       const std::string& device = {});
// The speed error as "+0.008 %", or "unknown (give --nominal)" when there is no nominal.
std::string FormatSpeedError(const MeterResult& result);

}  // namespace wobblemeter
