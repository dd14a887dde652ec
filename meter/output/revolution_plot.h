// The turntable panel of the plot: the deviation per revolution on a polar chart (the platter's
// angle around, the deviation outwards), the once-per-revolution component and what remains.
#pragma once

#include <cairo.h>

#include "meter/meter.h"

namespace wobblemeter {

// Height the panel wants, pixels (its width is the plot's).
constexpr double kRevolutionPanelHeight = 330.0;

// Whether a measurement has a turntable panel: asked for with a platter speed, and the fold
// holds every angle.
bool HasRevolutionPanel(const MeterResult& result);

// Draws the panel into the rectangle at x, y of w by h pixels.
void DrawRevolutionPanel(cairo_t* cr, const RevolutionReading& revolution, double x, double y,
                         double w, double h);

}  // namespace wobblemeter
