// The panels of a measurement's picture, each drawn with cairo into a rectangle of any surface:
// the plot files of --plot and the meter's window draw the same panels with the same code.
#pragma once

#include <cairo.h>

#include <limits>
#include <string>
#include <vector>

#include "meter/meter.h"

namespace wobblemeter {

// A panel's place on the surface, in the surface's units (pixels of a PNG). The panel's axis
// labels and titles lie inside it, its framed area inset by kPanelInset*.
struct PanelRect {
    double x = 0.0, y = 0.0, w = 0.0, h = 0.0;
};

// Room a framed panel keeps for its y-axis labels and title (left) and its x-axis labels and
// title (below), in surface units at the panels' font sizes.
constexpr double kPanelInsetLeft = 80.0;
constexpr double kPanelInsetBottom = 40.0;

// The framed area of a panel drawn into rect.
PanelRect PanelFrame(const PanelRect& rect);

// A round step (1, 2 or 5 times a power of ten) of about range / 6, for an axis's ticks.
double NiceStep(double range);

// The deviation over time, unweighted (light blue) and weighted (orange red), with both
// two-sigma levels dashed and named.
struct DeviationPanel {
    const Envelope& unweighted;
    const Envelope& weighted;
    double unweightedPeakPercent;  // NaN: no level (not formed yet)
    double weightedPeakPercent;
    // The time axis, s; NaN: the unweighted envelope's span.
    double startSeconds = std::numeric_limits<double>::quiet_NaN();
    double endSeconds = std::numeric_limits<double>::quiet_NaN();
    // The levels named at the top right, over the traces; false: the caller names them
    // elsewhere (the window, in a strip of its own).
    bool legend = true;
    // Where a trace's stretches are over half a pixel wide, a line through them (over a pale
    // band of their lowest to highest) instead of pixel columns: a swing seen close reads as a
    // line, not as stair steps (the window). False: columns always (the plot files).
    bool lines = false;
};
void DrawDeviationPanel(cairo_t* cr, const DeviationPanel& panel, const PanelRect& rect);

// The amplitude spectrum of the deviation from 0.1 to 200 Hz on a logarithmic axis, its
// largest lines labelled.
struct SpectrumPanel {
    const std::vector<double>& hz;
    const std::vector<double>& percent;
    const std::vector<SpectrumLine>& lines;
};
void DrawSpectrumPanel(cairo_t* cr, const SpectrumPanel& panel, const PanelRect& rect);

// The speed error second by second along a whole input or session (a stretch of several
// seconds where it is long: its lowest to highest second), from 0 to endSeconds; the span the
// readings were taken over shaded, their mean dashed and named.
struct SpeedErrorPanel {
    const Envelope& speedError;
    double endSeconds = 0.0;
    // The span shaded, s; NaN: none.
    double spanStartSeconds = std::numeric_limits<double>::quiet_NaN();
    double spanSeconds = std::numeric_limits<double>::quiet_NaN();
    double meanPercent = std::numeric_limits<double>::quiet_NaN();  // NaN: no line
    std::string meanLabel;  // "speed error +0.12 % ..."; empty: the line is not named here
    std::string timeTitle = "time, s";
};
void DrawSpeedErrorPanel(cairo_t* cr, const SpeedErrorPanel& panel, const PanelRect& rect);

// The panels of a measurement; they refer to the result, which must outlive them.
DeviationPanel DeviationPanelOf(const MeterResult& result);
SpectrumPanel SpectrumPanelOf(const MeterResult& result);
SpeedErrorPanel SpeedErrorPanelOf(const MeterResult& result);

}  // namespace wobblemeter
