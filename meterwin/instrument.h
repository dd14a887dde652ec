// The meter window's instrument face: the display laid out on a surface of any size (heading
// and state, bar meter and readouts on the left; the deviation, its spectrum and the speed
// error on the right)
// and drawn with the plot's own panels. Free of any toolkit: the window draws it into an image
// that it shows, the tests into images of their own.
#pragma once

#include <cairo.h>

#include "meter/output/plot_panels.h"
#include "meterwin/display.h"

namespace wobblemeter {

// The smallest surface the instrument is laid out for; the window does not shrink below it.
constexpr int kInstrumentMinWidth = 900;
constexpr int kInstrumentMinHeight = 600;

struct InstrumentLayout {
    PanelRect heading;
    PanelRect bar;
    PanelRect readouts;
    // Each panel with its title above it.
    PanelRect deviationTitle, deviation;
    PanelRect spectrumTitle, spectrum;
    PanelRect speedErrorTitle, speedError;
};

InstrumentLayout LayOutInstrument(double width, double height);

// Paints the whole surface of width x height.
void DrawInstrument(cairo_t* cr, const Display& display, double width, double height);

}  // namespace wobblemeter
