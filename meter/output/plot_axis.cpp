// The panels' grid lines, tick labels and axis titles (plot_axis.h).
#include "meter/output/plot_axis.h"

#include <cstdio>
#include <new>
#include <numbers>
#include <string>

namespace wobblemeter {

namespace {

// Colour of the tick labels and titles: near black.
constexpr double kLabelGrey = 0.1;
// The tick labels' place against the frame, pixels: a left label's right end left of the
// frame and its baseline below the line; a bottom label's baseline below the frame.
constexpr double kLeftLabelGap = 6.0;
constexpr double kLeftLabelDrop = 4.0;
constexpr double kBottomLabelDrop = 15.0;
// The titles' place: the x title's baseline below the frame, the y title's left of it.
constexpr double kXTitleDrop = 32.0;
constexpr double kYTitleGap = 55.0;

}  // namespace

void PlotText(cairo_t* cr, double x, double y, const char* text, double alignX) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    cairo_move_to(cr, x - alignX * e.width, y);
    cairo_show_text(cr, text);
}

void GridLine(cairo_t* cr, const PanelRect& b, AxisEdge edge, double at, double grey,
              const char* label) {
    cairo_set_source_rgb(cr, grey, grey, grey);
    if (edge == AxisEdge::kLeft) {
        cairo_move_to(cr, b.x, at);
        cairo_line_to(cr, b.x + b.w, at);
    } else {
        cairo_move_to(cr, at, b.y);
        cairo_line_to(cr, at, b.y + b.h);
    }
    cairo_stroke(cr);
    if (label == nullptr) return;
    cairo_set_source_rgb(cr, kLabelGrey, kLabelGrey, kLabelGrey);
    if (edge == AxisEdge::kLeft)
        PlotText(cr, b.x - kLeftLabelGap, at + kLeftLabelDrop, label, 1.0);
    else
        PlotText(cr, at, b.y + b.h + kBottomLabelDrop, label, 0.5);
}

void DrawAxis(cairo_t* cr, const PanelRect& frame, AxisEdge edge, const AxisTicks& ticks,
              const std::function<double(double)>& toPixel,
              const std::function<std::string(double)>& label) {
    for (double v = ticks.from; v <= ticks.through; v += ticks.step)
        GridLine(cr, frame, edge, toPixel(v), kGridGrey, label(v).c_str());
}

std::string TickLabel(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void XAxisTitle(cairo_t* cr, const PanelRect& b, const char* title) {
    PlotText(cr, b.x + b.w / 2, b.y + b.h + kXTitleDrop, title, 0.5);
}

void YAxisTitle(cairo_t* cr, const PanelRect& b, const char* title, double halfLength) {
    cairo_save(cr);
    cairo_set_source_rgb(cr, kLabelGrey, kLabelGrey, kLabelGrey);
    cairo_move_to(cr, b.x - kYTitleGap, b.y + b.h / 2 + halfLength);
    cairo_rotate(cr, -std::numbers::pi / 2);
    cairo_show_text(cr, title);
    cairo_restore(cr);
}

cairo_status_t AppendToString(void* closure, const unsigned char* data, unsigned int length) {
    try {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    } catch (const std::bad_alloc&) {
        return CAIRO_STATUS_NO_MEMORY;
    }
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace wobblemeter
