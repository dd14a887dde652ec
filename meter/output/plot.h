// Drawing of a measurement: the deviation over time with its two-sigma levels, the spectrum of
// the deviation on a logarithmic frequency axis, and the speed error along the whole input.
#pragma once

#include <cstdio>
#include <string>

#include "meter/meter.h"

namespace wobblemeter {

enum class PlotFormat { kNone, kPng, kSvg };

// The format a plot file's name asks for by its extension (".png" or ".svg", in any case).
PlotFormat PlotFormatOf(const std::string& path);

// The plot as the bytes of a PNG or SVG file; title heads it. Throws MeterError when it cannot
// be drawn (out of memory).
std::string RenderPlot(const MeterResult& result, const std::string& title, PlotFormat format);

// Writes bytes into file, which OpenOutputFile opened for path, and puts it in place (see
// sys/output_file.h). When that fails the file is discarded, so that no partial plot remains,
// and MeterError "cannot write the plot PATH: reason" is thrown.
void CommitPlot(FILE* file, const std::string& bytes, const std::string& path);

// Writes the plot to path, as SVG when it ends in ".svg" (any case) and PNG otherwise. Throws
// MeterError when the file cannot be written.
void WritePlot(const MeterResult& result, const std::string& title, const std::string& path);

}  // namespace wobblemeter
