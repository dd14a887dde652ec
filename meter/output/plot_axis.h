// The panels' axes: grid lines across the frame with their tick labels, and the axes' titles,
// drawn alike in every panel of plot.cpp; and the text the panels write.
#pragma once

#include <cairo.h>

#include <functional>
#include <string>

#include "meter/output/plot_panels.h"

namespace wobblemeter {

// Text with its baseline at y; alignX 0 puts x at the text's left end, 0.5 at its middle, 1 at
// its right end.
void PlotText(cairo_t* cr, double x, double y, const char* text, double alignX = 0.0);

// The write callback of a cairo surface drawn into memory (SVG, PDF): appends to the
// std::string that closure points to; out of memory is cairo's CAIRO_STATUS_NO_MEMORY.
cairo_status_t AppendToString(void* closure, const unsigned char* data, unsigned int length);

// The edge of the frame an axis is labelled on: the left one's grid lines run across the
// frame at a value's y, the bottom one's up and down at a value's x.
enum class AxisEdge { kLeft, kBottom };

// Grey of the grid lines (0 black, 1 white).
constexpr double kGridGrey = 0.85;

// One grid line across the frame at `at` (pixels: a y on the left edge, an x on the bottom), in
// grey `grey`, with `label` beside its end outside the frame; none where label is null.
void GridLine(cairo_t* cr, const PanelRect& frame, AxisEdge edge, double at, double grey,
              const char* label);

// Ticks at from, from + step, from + 2 step ... while they are no more than through. Each is
// the last plus step (not from + i step), as the panels have always added them up.
struct AxisTicks {
    double from = 0.0;
    double through = 0.0;
    double step = 1.0;
};

// The grid lines of an axis at its ticks, each at pixel toPixel(value), labelled label(value).
void DrawAxis(cairo_t* cr, const PanelRect& frame, AxisEdge edge, const AxisTicks& ticks,
              const std::function<double(double)>& toPixel,
              const std::function<std::string(double)>& label);

// A value printed with a printf format of one double ("%g", "%.4g").
std::string TickLabel(const char* format, double value);

// Title of the x axis, centred below the frame's tick labels.
void XAxisTitle(cairo_t* cr, const PanelRect& frame, const char* title);

// Title of the y axis, read bottom to top left of the tick labels; `halfLength` (pixels)
// centres it on the frame.
void YAxisTitle(cairo_t* cr, const PanelRect& frame, const char* title, double halfLength);

}  // namespace wobblemeter
