// The instrument's own panels, drawn with cairo beside the plot's panels (plot_panels.h): the
// readouts in large type and the bar meter.
#pragma once

#include <cairo.h>

#include <limits>
#include <string>
#include <vector>

#include "meter/output/plot_panels.h"

namespace wobblemeter {

// Figures read off at a glance, one under the other: each with its name, the standard it is
// read to and its value in large type. A value that is not formed yet (a dash) is grey.
struct Readout {
    std::string name;      // "Weighted two-sigma"
    std::string standard;  // what it is read over or against: "0.2–200 Hz", "against 3150 Hz"
    std::string value;     // "0.0997 %"
    bool formed = true;
    // The group it is read in, headed by its name where it begins: "AES6 / IEC 60386".
    std::string group;
};
void DrawReadoutsPanel(cairo_t* cr, const std::vector<Readout>& readouts, const PanelRect& rect);

// A bar meter of one figure on a scale from 0 to scalePercent, its name and value above it; a
// value beyond the scale fills the bar in red and says so. NaN: no value (an empty bar).
struct BarMeter {
    std::string name;
    double valuePercent = std::numeric_limits<double>::quiet_NaN();
    double scalePercent = 1.0;
    // The largest the figure reached (a thin mark), NaN: none.
    double holdPercent = std::numeric_limits<double>::quiet_NaN();
};
void DrawBarMeterPanel(cairo_t* cr, const BarMeter& meter, const PanelRect& rect);

}  // namespace wobblemeter
