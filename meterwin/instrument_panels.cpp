// The instrument's own panels, drawn with cairo: the readouts in large type and the bar meter.
#include "meterwin/instrument_panels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace wobblemeter {

namespace {

constexpr double kPad = 8.0;  // between a panel's edge and its text, surface units
// Type sizes: the labels, and the largest a readout's value grows to.
constexpr double kLabelSize = 13.0;
constexpr double kSmallSize = 11.0;
constexpr double kLargestValueSize = 40.0;

// The weighted figure's colour, as its trace in the deviation panel.
constexpr double kWeightedRed = 0.85, kWeightedGreen = 0.3, kWeightedBlue = 0.1;

void Font(cairo_t* cr, bool bold, double size) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

double Advance(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    return e.x_advance;
}

// Shrinks the font set until text fits width, never below a third of its size; returns the
// text's advance.
double FitWidth(cairo_t* cr, const std::string& text, double size, double width) {
    const double advance = Advance(cr, text);
    if (advance <= width || advance <= 0.0) return advance;
    const double fitted = std::max(size / 3.0, size * width / advance);
    cairo_set_font_size(cr, fitted);
    return Advance(cr, text);
}

// Text with its baseline at y, its left (alignX 0), centre (0.5) or right end (1) at x.
void Show(cairo_t* cr, double x, double y, const std::string& text, double alignX) {
    cairo_move_to(cr, x - alignX * Advance(cr, text), y);
    cairo_show_text(cr, text.c_str());
}

void Grey(cairo_t* cr, double level) {
    cairo_set_source_rgb(cr, level, level, level);
}

}  // namespace

void DrawReadoutsPanel(cairo_t* cr, const std::vector<Readout>& readouts, const PanelRect& r) {
    if (readouts.empty() || r.w <= 2 * kPad || r.h <= 0.0) return;
    cairo_save(cr);
    cairo_rectangle(cr, r.x, r.y, r.w, r.h);
    cairo_clip(cr);
    const double rowHeight = r.h / static_cast<double>(readouts.size());
    const double labelSize = std::min(kLabelSize, std::max(8.0, rowHeight * 0.2));
    const double smallSize = labelSize * kSmallSize / kLabelSize;
    const double inner = r.w - 2 * kPad;
    for (size_t i = 0; i < readouts.size(); ++i) {
        const Readout& readout = readouts[i];
        const double top = r.y + static_cast<double>(i) * rowHeight;
        if (i > 0) {
            Grey(cr, 0.8);
            cairo_set_line_width(cr, 1.0);
            cairo_move_to(cr, r.x + kPad, std::round(top) + 0.5);
            cairo_line_to(cr, r.x + r.w - kPad, std::round(top) + 0.5);
            cairo_stroke(cr);
        }
        // The name, and the standard right of it where both fit on the line; otherwise the
        // standard gives way.
        const double labelBaseline = top + kPad + labelSize;
        Font(cr, true, labelSize);
        Grey(cr, 0.1);
        const double nameWidth = FitWidth(cr, readout.name, labelSize, inner);
        Show(cr, r.x + kPad, labelBaseline, readout.name, 0.0);
        Font(cr, false, smallSize);
        Grey(cr, 0.4);
        const double room = inner - nameWidth - 2 * kPad;
        if (room > 0.0 && FitWidth(cr, readout.standard, smallSize, room) <= room)
            Show(cr, r.x + r.w - kPad, labelBaseline, readout.standard, 1.0);

        // The value fills what is left of the row, right-aligned so that its digits keep
        // their places from one update to the next.
        const double valueBox = top + rowHeight - labelBaseline - kPad;
        const double valueSize = std::clamp(valueBox * 0.8, smallSize, kLargestValueSize);
        Font(cr, false, valueSize);
        FitWidth(cr, readout.value, valueSize, inner);
        if (readout.formed)
            Grey(cr, 0.05);
        else
            Grey(cr, 0.6);
        // Digits stand about 0.73 of the type size tall: centred in the room below the label.
        const double baseline = labelBaseline + (valueBox + 0.73 * valueSize) / 2;
        Show(cr, r.x + r.w - kPad, baseline, readout.value, 1.0);
    }
    cairo_restore(cr);
}

void DrawBarMeterPanel(cairo_t* cr, const BarMeter& m, const PanelRect& r) {
    if (r.w <= 4 * kPad || r.h <= 0.0 || !(m.scalePercent > 0.0)) return;
    cairo_save(cr);
    cairo_rectangle(cr, r.x, r.y, r.w, r.h);
    cairo_clip(cr);
    char text[64];
    // The name and the value above the bar.
    const double labelBaseline = r.y + kPad + kLabelSize;
    const bool hasValue = std::isfinite(m.valuePercent);
    if (hasValue)
        std::snprintf(text, sizeof text, "%.4f %%", m.valuePercent);
    else
        std::snprintf(text, sizeof text, "\u2013 %%");
    Font(cr, true, kLabelSize + 5);
    const double valueWidth = Advance(cr, text);
    Grey(cr, hasValue ? 0.05 : 0.6);
    Show(cr, r.x + r.w - kPad, labelBaseline + 3, text, 1.0);
    Font(cr, true, kLabelSize);
    Grey(cr, 0.1);
    FitWidth(cr, m.name, kLabelSize, r.w - 3 * kPad - valueWidth);
    Show(cr, r.x + kPad, labelBaseline, m.name, 0.0);

    // The bar, its scale below it.
    const double barTop = labelBaseline + kPad + 4;
    const double tickSpace = kSmallSize + 10;
    const double barHeight = std::max(6.0, std::min(30.0, r.y + r.h - barTop - tickSpace));
    const PanelRect bar{r.x + kPad + 4, barTop, r.w - 2 * kPad - 16, barHeight};
    cairo_set_source_rgb(cr, 0.96, 0.96, 0.96);
    cairo_rectangle(cr, bar.x, bar.y, bar.w, bar.h);
    cairo_fill(cr);
    const bool over = hasValue && m.valuePercent > m.scalePercent;
    if (hasValue) {
        const double share = std::clamp(m.valuePercent / m.scalePercent, 0.0, 1.0);
        if (over)
            cairo_set_source_rgb(cr, 0.75, 0.0, 0.0);
        else
            cairo_set_source_rgb(cr, kWeightedRed, kWeightedGreen, kWeightedBlue);
        cairo_rectangle(cr, bar.x, bar.y, share * bar.w, bar.h);
        cairo_fill(cr);
    }
    const double step = NiceStep(m.scalePercent);
    Font(cr, false, kSmallSize);
    cairo_set_line_width(cr, 1.0);
    for (double v = 0.0; v <= m.scalePercent + step / 1000; v += step) {
        const double x = std::round(bar.x + v / m.scalePercent * bar.w) + 0.5;
        Grey(cr, 0.35);
        cairo_move_to(cr, x, bar.y + bar.h);
        cairo_line_to(cr, x, bar.y + bar.h + 4);
        cairo_stroke(cr);
        std::snprintf(text, sizeof text, "%g", std::fabs(v) < step / 1000 ? 0.0 : v);
        Grey(cr, 0.1);
        Show(cr, x, bar.y + bar.h + 6 + kSmallSize, text, 0.5);
    }
    if (std::isfinite(m.holdPercent) && m.holdPercent > 0.0) {
        const double x = bar.x + std::min(m.holdPercent / m.scalePercent, 1.0) * bar.w;
        Grey(cr, 0.1);
        cairo_set_line_width(cr, 2.0);
        cairo_move_to(cr, x, bar.y - 3);
        cairo_line_to(cr, x, bar.y + bar.h + 3);
        cairo_stroke(cr);
    }
    Grey(cr, 0.2);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, std::round(bar.x) + 0.5, std::round(bar.y) + 0.5, std::round(bar.w),
                    std::round(bar.h));
    cairo_stroke(cr);
    if (over) {
        // An arrow past the bar's end: the figure is off the scale.
        cairo_set_source_rgb(cr, 0.75, 0.0, 0.0);
        const double tip = bar.x + bar.w + 12, middle = bar.y + bar.h / 2;
        cairo_move_to(cr, bar.x + bar.w + 3, middle - 7);
        cairo_line_to(cr, tip, middle);
        cairo_line_to(cr, bar.x + bar.w + 3, middle + 7);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

}  // namespace wobblemeter
