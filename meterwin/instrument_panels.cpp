// The instrument's own panels, drawn with cairo: the readouts in large type and the bar meter.
#include "meterwin/instrument_panels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "meter/output/font.h"

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
    SelectSansFont(cr, bold);
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

namespace {

// A group's heading above its first readout: its name in small bold grey, a rule beside it.
constexpr double kGroupHeight = 18.0;

void DrawGroupHeading(cairo_t* cr, const std::string& name, const PanelRect& r, double top) {
    Font(cr, true, kSmallSize);
    Grey(cr, 0.4);
    const double baseline = top + kGroupHeight - 5.0;
    Show(cr, r.x + kPad, baseline, name, 0.0);
    const double end = r.x + kPad + Advance(cr, name) + kPad;
    Grey(cr, 0.8);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, end, std::round(baseline - 4.0) + 0.5);
    cairo_line_to(cr, r.x + r.w - kPad, std::round(baseline - 4.0) + 0.5);
    cairo_stroke(cr);
}

// One readout in a row of rowHeight from top: its name with its note below it on the left,
// its value on the right in the largest type the row holds; a value too wide beside the name
// takes the note's line instead.
void DrawReadoutRow(cairo_t* cr, const Readout& readout, const PanelRect& r, double top,
                    double rowHeight) {
    const double inner = r.w - 2 * kPad;
    const double labelSize = std::clamp(rowHeight * 0.3, 9.0, kLabelSize);
    const double noteSize = labelSize * kSmallSize / kLabelSize;
    const double labelBaseline = top + 3.0 + labelSize;
    Font(cr, true, labelSize);
    Grey(cr, 0.1);
    const double nameWidth = FitWidth(cr, readout.name, labelSize, inner);
    Show(cr, r.x + kPad, labelBaseline, readout.name, 0.0);
    Font(cr, false, noteSize);
    const double noteWidth = readout.standard.empty() ? 0.0 : Advance(cr, readout.standard);

    const double valueSize = std::clamp(rowHeight * 0.62, kSmallSize, kLargestValueSize);
    Font(cr, false, valueSize);
    const double room = inner - std::max(nameWidth, noteWidth) - kPad;
    const double valueWidth = Advance(cr, readout.value);
    Grey(cr, readout.formed ? 0.05 : 0.6);
    // Beside the name where it fits there at three quarters of its size or more.
    constexpr double kLeastShare = 0.75;
    if (valueWidth * kLeastShare <= room) {
        const double size = valueSize * std::min(1.0, room / valueWidth);
        cairo_set_font_size(cr, size);
        // Digits stand about 0.73 of the type size tall: centred in the row.
        Show(cr, r.x + r.w - kPad, top + (rowHeight + 0.73 * size) / 2, readout.value, 1.0);
        if (noteWidth > 0.0) {
            Font(cr, false, noteSize);
            Grey(cr, 0.4);
            Show(cr, r.x + kPad, labelBaseline + noteSize + 3.0, readout.standard, 0.0);
        }
        return;
    }
    // Below the name, right-aligned, as large as the rest of the row and the width allow, and
    // smaller than the figures beside their names.
    const double below = std::max(kSmallSize, top + rowHeight - labelBaseline - 4.0);
    const double size = std::min(kLeastShare * valueSize, below / 0.73);
    Font(cr, false, size);
    FitWidth(cr, readout.value, size, inner);
    Show(cr, r.x + r.w - kPad, top + rowHeight - 4.0, readout.value, 1.0);
}

}  // namespace

void DrawReadoutsPanel(cairo_t* cr, const std::vector<Readout>& readouts, const PanelRect& r) {
    if (readouts.empty() || r.w <= 2 * kPad || r.h <= 0.0) return;
    cairo_save(cr);
    cairo_rectangle(cr, r.x, r.y, r.w, r.h);
    cairo_clip(cr);
    size_t groups = 0;
    for (size_t i = 0; i < readouts.size(); ++i)
        if (i == 0 || readouts[i].group != readouts[i - 1].group) ++groups;
    const double rowHeight =
        (r.h - kGroupHeight * static_cast<double>(groups)) / static_cast<double>(readouts.size());
    double top = r.y;
    for (size_t i = 0; i < readouts.size(); ++i) {
        if (i == 0 || readouts[i].group != readouts[i - 1].group) {
            DrawGroupHeading(cr, readouts[i].group, r, top);
            top += kGroupHeight;
        }
        DrawReadoutRow(cr, readouts[i], r, top, rowHeight);
        top += rowHeight;
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
