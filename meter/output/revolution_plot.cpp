// The polar chart of the deviation per revolution. Angle 0 (where the fold starts: the record has
// no mark of its own) is at the top, and the angle advances clockwise, as a platter turns seen
// from above. The deviation is drawn outwards from the middle ring (0): the inner ring is the
// largest negative swing, the outer one the largest positive.
#include "meter/output/revolution_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "meter/output/plot_axis.h"
#include "meter/output/report.h"

namespace wobblemeter {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Margin around the chart for its labels, pixels.
constexpr double kChartMargin = 28.0;

// A round step of the scale, of about range / 2.
double RoundStep(double range) {
    const double raw = range / 2.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * power >= raw) return m * power;
    return 10.0 * power;
}

struct Chart {
    double cx, cy, radius, limit;
    // The point of deviation d (%) at angle a (radians of the fold).
    void Point(double a, double d, double& x, double& y) const {
        const double r = radius / 2.0 * (1.0 + std::clamp(d / limit, -1.0, 1.0));
        x = cx + r * std::sin(a);
        y = cy - r * std::cos(a);
    }
};

// A closed curve through the values at the bins' centres.
void Curve(cairo_t* cr, const Chart& chart, const std::vector<double>& values) {
    const size_t n = values.size();
    for (size_t k = 0; k <= n; ++k) {
        const double a = kTwoPi * (static_cast<double>(k % n) + 0.5) / static_cast<double>(n);
        double x = 0.0, y = 0.0;
        chart.Point(a, values[k % n], x, y);
        if (k == 0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
    cairo_stroke(cr);
}

// The chart's scale: its limit a round step above the largest swing of either curve.
Chart ChartOf(const RevolutionReading& v, double x, double y, double h) {
    double largest = 1e-6;
    for (double d : v.meanPercent) largest = std::max(largest, std::fabs(d));
    for (double d : v.remainderPercent) largest = std::max(largest, std::fabs(d));
    const double step = RoundStep(largest);
    return {x + h / 2.0, y + h / 2.0, h / 2.0 - kChartMargin, std::ceil(largest / step) * step};
}

// Rings: the largest swings either way, half of them, and 0 (heavier), each labelled.
void DrawRings(cairo_t* cr, const Chart& chart) {
    char text[96];
    cairo_set_font_size(cr, 10.0);
    for (int ring = -2; ring <= 2; ++ring) {
        const double d = chart.limit * ring / 2.0;
        const double r = chart.radius / 2.0 * (1.0 + d / chart.limit);
        const double grey = ring == 0 ? 0.55 : 0.85;
        cairo_set_source_rgb(cr, grey, grey, grey);
        cairo_set_line_width(cr, ring == 0 ? 1.0 : 0.5);
        cairo_new_sub_path(cr);
        cairo_arc(cr, chart.cx, chart.cy, std::max(r, 0.5), 0.0, kTwoPi);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        std::snprintf(text, sizeof text, ring == 0 ? "0" : "%+.3g", d);
        PlotText(cr, chart.cx + 3.0, chart.cy - r - 2.0, text);
    }
}

// Spokes every 30 degrees, their angles outside the chart.
void DrawSpokes(cairo_t* cr, const Chart& chart) {
    char text[96];
    cairo_set_line_width(cr, 0.5);
    for (int degrees = 0; degrees < 360; degrees += 30) {
        const double a = degrees * std::numbers::pi / 180.0;
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_move_to(cr, chart.cx, chart.cy);
        cairo_line_to(cr, chart.cx + chart.radius * std::sin(a),
                      chart.cy - chart.radius * std::cos(a));
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        std::snprintf(text, sizeof text, "%d°", degrees);
        PlotText(cr, chart.cx + (chart.radius + 14.0) * std::sin(a),
                 chart.cy - (chart.radius + 14.0) * std::cos(a) + 4.0, text, 0.5);
    }
}

// What remains (orange), then the mean per revolution (blue) over it, and the peak of the
// once-per-revolution component.
void DrawRevolutionCurves(cairo_t* cr, const Chart& chart, const RevolutionReading& v) {
    cairo_set_line_width(cr, 1.2);
    cairo_set_source_rgb(cr, 0.9, 0.5, 0.1);
    Curve(cr, chart, v.remainderPercent);
    cairo_set_line_width(cr, 1.8);
    cairo_set_source_rgb(cr, 0.1, 0.3, 0.8);
    Curve(cr, chart, v.meanPercent);
    if (std::isfinite(v.onceAngle)) {
        double px = 0.0, py = 0.0;
        chart.Point(v.onceAngle, v.oncePercent, px, py);
        cairo_set_source_rgb(cr, 0.7, 0.1, 0.0);
        cairo_new_sub_path(cr);
        cairo_arc(cr, px, py, 4.0, 0.0, kTwoPi);
        cairo_fill(cr);
    }
}

// The figures beside the chart, from (tx, ty): the platter, the curves' names in their colours
// and how to read the chart.
void DrawRevolutionFigures(cairo_t* cr, const RevolutionReading& v, double tx, double ty) {
    char text[96];
    cairo_set_font_size(cr, 13.0);
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    std::snprintf(text, sizeof text, "%s: %.4f Hz at the speed measured, %.1f revolutions",
                  PlatterName(v.rpm).c_str(), v.rotationHz, v.revolutions);
    PlotText(cr, tx, ty, text);
    ty += 26.0;
    cairo_set_source_rgb(cr, 0.1, 0.3, 0.8);
    PlotText(cr, tx, ty, "mean deviation per revolution, % (unweighted)");
    ty += 20.0;
    cairo_set_source_rgb(cr, 0.7, 0.1, 0.0);
    std::snprintf(text, sizeof text, "once per revolution: %.4f %% peak, at %.0f°", v.oncePercent,
                  v.onceAngle * 180.0 / std::numbers::pi);
    PlotText(cr, tx, ty, text);
    ty += 20.0;
    cairo_set_source_rgb(cr, 0.8, 0.4, 0.05);
    std::snprintf(text, sizeof text, "without it: what remains, %.4f %% RMS over the span",
                  v.remainingRmsPercent);
    PlotText(cr, tx, ty, text);
    ty += 30.0;
    cairo_set_font_size(cr, 11.0);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    PlotText(cr, tx, ty, "Angle 0 is where the reading started (a record has no mark of its");
    PlotText(cr, tx, ty + 15.0,
             "own); the angle runs clockwise, as the platter turns. Middle ring:");
    PlotText(cr, tx, ty + 30.0, "no deviation; outwards faster, inwards slower.");
}

}  // namespace

bool HasRevolutionPanel(const MeterResult& r) {
    return r.revolution.rpm > 0.0 && !r.revolution.meanPercent.empty();
}

void DrawRevolutionPanel(cairo_t* cr, const RevolutionReading& v, double x, double y, double w,
                         double h) {
    const Chart chart = ChartOf(v, x, y, h);
    DrawRings(cr, chart);
    DrawSpokes(cr, chart);
    DrawRevolutionCurves(cr, chart, v);
    DrawRevolutionFigures(cr, v, x + h + 30.0, y + 40.0);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, x, y, w, h);
    cairo_stroke(cr);
}

}  // namespace wobblemeter
