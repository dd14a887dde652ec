// The meter's readings as a readable summary or as one JSON object.
#pragma once

#include <string>

#include "meter/meter.h"

namespace wobblemeter {

std::string FormatSummary(const MeterResult& result, const std::string& path);
std::string FormatJson(const MeterResult& result, const std::string& path);

}  // namespace wobblemeter
