// The meter's readings as a readable summary or as one JSON object.
#pragma once

#include <string>

#include "meter/meter.h"

namespace wobblemeter {

std::string FormatSummary(const MeterResult& result, const std::string& path);
std::string FormatJson(const MeterResult& result, const std::string& path);
// The speed error as "+0.008 %", or "unknown (give --nominal)" when there is no nominal.
std::string FormatSpeedError(const MeterResult& result);

}  // namespace wobblemeter
