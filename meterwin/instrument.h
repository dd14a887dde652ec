// The meter window's instrument face: the display laid out on a surface of any size (heading
// and state, bar meter and readouts on the left; the deviation, its spectrum and the speed
// error on the right)
// and drawn with the plot's own panels. Free of any toolkit: the window draws it into an image
// that it shows, the tests into images of their own.
#pragma once

#include <cairo.h>

#include <limits>
#include <string>

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

// The panels alone, for a front end that shows the heading, bar and readouts itself (the
// browser's page, above them on a phone): the smallest surface they are laid out for, units.
constexpr int kPanelsMinWidth = 340;
constexpr int kPanelsMinHeight = 400;
// The deviation, spectrum and speed-error panels over the whole surface (no heading, bar or
// readouts: their rectangles are empty).
InstrumentLayout LayOutPanels(double width, double height);

// What the panel under the mouse reads where it is: the deviation panel the time and both
// traces' deviation there, the spectrum the frequency and the line's size there, the speed
// error the time and its value there. Shown in the panel's title strip in place of its legend.
struct CursorReadout {
    enum class Panel { kNone, kDeviation, kSpectrum, kSpeedError };
    Panel panel = Panel::kNone;  // none: the mouse is over no panel's frame, or it has no data
    std::string text;            // "12.340 s  ·  weighted +0.4120 %  ·  unweighted +0.4150 %"
};
CursorReadout ReadoutAt(const Display& display, double width, double height, double x, double y);

// Paints the whole surface of width x height; the mouse at x, y (NaN: not over it).
void DrawInstrument(cairo_t* cr, const Display& display, double width, double height,
                    double mouseX = std::numeric_limits<double>::quiet_NaN(),
                    double mouseY = std::numeric_limits<double>::quiet_NaN());

// Paints the panels of LayOutPanels over the whole surface of width x height.
void DrawInstrumentPanels(cairo_t* cr, const Display& display, double width, double height);

}  // namespace wobblemeter
