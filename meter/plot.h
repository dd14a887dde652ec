// Drawing of a measurement: the deviation over time with its two-sigma levels, the spectrum of
// the deviation on a logarithmic frequency axis, and the speed error along the whole input.
#pragma once

#include <string>

#include "meter/meter.h"

namespace wobblemeter {

// Writes the plot to path, as SVG when it ends in ".svg" (any case) and PNG otherwise. Throws
// MeterError when the file cannot be written.
void WritePlot(const MeterResult& result, const std::string& title, const std::string& path);

}  // namespace wobblemeter
