// Cairo drawing of the deviation and its spectrum, as panels of their own (plot_panels.h) and
// laid out on the page of a plot file, encoded as PNG (libpng) or SVG.
#include "meter/output/plot.h"

#include <cairo-svg.h>
#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "meter/output/font.h"
#include "meter/output/plot_axis.h"
#include "meter/output/plot_panels.h"
#include "meter/output/report.h"
#include "meter/output/revolution_plot.h"
#include "sys/output_file.h"

namespace wobblemeter {

namespace {

constexpr double kWidth = 1000.0;
constexpr double kHeight = 720.0;
// The panel of the speed error along the whole span, below the others, where there is one.
constexpr double kSpeedPanelHeight = 190.0;
constexpr double kSpeedPanelSpace = 60.0;
// Below the turntable's panel, where there is one.
constexpr double kRevolutionPanelSpace = 20.0;
constexpr double kLeft = 80.0;
constexpr double kRight = 30.0;
// zlib's level for the PNG: 1 is fastest, 9 smallest.
constexpr int kPngCompressionLevel = 3;

void Frame(cairo_t* cr, const PanelRect& b) {
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, b.x, b.y, b.w, b.h);
    cairo_stroke(cr);
}

// Stretches wider than this many pixels (at most two to a pixel column) are drawn as a line
// through their points where the panel asks for lines (DeviationPanel::lines).
constexpr double kLineStretchPixels = 0.5;

// The share of a trace's opacity its band keeps where it is drawn as a line.
constexpr double kBandAlpha = 0.3;

// An envelope seen close: each run of stretches (up to a gap) as a line through the middle of
// each stretch's lowest and highest value, at the stretch's middle, over a pale band between
// its lowest and highest values (what the line hides of a faster swing); clipped to the frame.
void DrawEnvelopeLines(cairo_t* cr, const Envelope& e, const PanelRect& b, double t0, double t1,
                       double limit, double lineWidth) {
    auto X = [&](size_t i) {
        const double t = e.startSeconds + (static_cast<double>(i) + 0.5) * e.stretchSeconds;
        return b.x + (t - t0) / (t1 - t0) * b.w;
    };
    auto Y = [&](double v) {
        return b.y + b.h / 2.0 - std::clamp(v / limit, -1.0, 1.0) * b.h / 2.0;
    };
    // The stretches that reach into the axis, and one either side, so that the lines run to the
    // frame.
    const double from = std::floor((t0 - e.startSeconds) / e.stretchSeconds) - 1.0;
    const double to = std::ceil((t1 - e.startSeconds) / e.stretchSeconds) + 1.0;
    const auto stretches = static_cast<double>(e.low.size());
    const auto first = static_cast<size_t>(std::clamp(from, 0.0, stretches));
    const auto end = static_cast<size_t>(std::clamp(to, 0.0, stretches));
    auto Counted = [&](size_t i) { return !std::isnan(e.low[i]) && !std::isnan(e.high[i]); };
    // Each run of counted stretches, [begin, last].
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t i = first; i < end; ++i) {
        if (!Counted(i)) continue;
        size_t last = i;
        while (last + 1 < end && Counted(last + 1)) ++last;
        runs.emplace_back(i, last);
        i = last;
    }
    cairo_save(cr);
    cairo_rectangle(cr, b.x, b.y, b.w, b.h);
    cairo_clip(cr);
    cairo_push_group(cr);
    for (const auto& [begin, last] : runs) {
        cairo_move_to(cr, X(begin), Y(e.high[begin]));
        for (size_t k = begin + 1; k <= last; ++k) cairo_line_to(cr, X(k), Y(e.high[k]));
        for (size_t k = last + 1; k-- > begin;) cairo_line_to(cr, X(k), Y(e.low[k]));
        cairo_close_path(cr);
    }
    cairo_fill(cr);
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, kBandAlpha);
    cairo_restore(cr);

    cairo_save(cr);
    cairo_rectangle(cr, b.x, b.y, b.w, b.h);
    cairo_clip(cr);
    cairo_set_line_width(cr, lineWidth);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    auto Middle = [&](size_t k) { return Y((double{e.low[k]} + double{e.high[k]}) / 2.0); };
    for (const auto& [begin, last] : runs) {
        cairo_move_to(cr, X(begin), Middle(begin));
        // A lone stretch is a short dash across its width.
        if (begin == last) cairo_rel_move_to(cr, -b.w * e.stretchSeconds / (t1 - t0) / 2.0, 0.0);
        if (begin == last) cairo_rel_line_to(cr, b.w * e.stretchSeconds / (t1 - t0), 0.0);
        for (size_t k = begin + 1; k <= last; ++k) cairo_line_to(cr, X(k), Middle(k));
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

// The envelope drawn one pixel column at a time: each column spans the lowest to the highest
// value of the stretches it covers, widened to meet its neighbours so that a steep trace stays
// unbroken, and at least a pixel high. A thousand pixel-wide boxes fill many times faster than
// the polygon through a thousand stretches (and its outline), and look the same. Where the
// stretches are wider than kLineStretchPixels, a line of lineWidth (NaN: columns always)
// through them instead.
void DrawEnvelope(cairo_t* cr, const Envelope& e, const PanelRect& b, double t0, double t1,
                  double limit, double lineWidth) {
    if (e.low.empty() || !(e.stretchSeconds > 0.0)) return;
    if (std::isfinite(lineWidth) && e.stretchSeconds / (t1 - t0) * b.w > kLineStretchPixels) {
        DrawEnvelopeLines(cr, e, b, t0, t1, limit, lineWidth);
        return;
    }
    const auto columns = static_cast<size_t>(b.w);
    const double columnSeconds = (t1 - t0) / static_cast<double>(columns);
    const auto stretches = static_cast<double>(e.low.size());
    constexpr float kNone = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> low(columns, kNone), high(columns, kNone);
    for (size_t c = 0; c < columns; ++c) {
        // Stretches that overlap the column's time, by index.
        const double from =
            (t0 + static_cast<double>(c) * columnSeconds - e.startSeconds) / e.stretchSeconds;
        const double to = from + columnSeconds / e.stretchSeconds;
        const auto first = static_cast<size_t>(std::clamp(std::floor(from), 0.0, stretches));
        const auto last = static_cast<size_t>(std::clamp(std::ceil(to), 0.0, stretches));
        for (size_t i = first; i < last; ++i) {
            low[c] = std::isnan(low[c]) ? e.low[i] : std::min(low[c], e.low[i]);
            high[c] = std::isnan(high[c]) ? e.high[i] : std::max(high[c], e.high[i]);
        }
    }
    auto Y = [&](double v) {
        return b.y + b.h / 2.0 - std::clamp(v / limit, -1.0, 1.0) * b.h / 2.0;
    };
    for (size_t c = 0; c < columns; ++c) {
        if (std::isnan(low[c])) continue;
        double lowest = low[c], highest = high[c];
        if (c > 0 && !std::isnan(low[c - 1])) {
            lowest = std::min(lowest, static_cast<double>(high[c - 1]));
            highest = std::max(highest, static_cast<double>(low[c - 1]));
        }
        double top = Y(highest), bottom = Y(lowest);
        if (bottom - top < 1.0) {
            const double middle = (top + bottom) / 2.0;
            top = middle - 0.5;
            bottom = middle + 0.5;
        }
        cairo_rectangle(cr, b.x + static_cast<double>(c), top, 1.0, bottom - top);
    }
    cairo_fill(cr);
}

// Dashes of the levels and means drawn over the traces: 6 pixels on, 4 off.
void SetDashed(cairo_t* cr) {
    const double dashes[] = {6.0, 4.0};
    cairo_set_dash(cr, dashes, 2, 0.0);
}

// The deviation panel's scales: time from t0 to t1 s across, deviation from -limit to +limit %
// up with its ticks `step` apart.
struct DeviationScale {
    double t0, t1, step, limit;
};

DeviationScale DeviationScaleOf(const DeviationPanel& r) {
    const Envelope& u = r.unweighted;
    const double t0 = std::isfinite(r.startSeconds) ? r.startSeconds : u.startSeconds;
    const double t1 = std::max(
        t0 + 1e-3, std::isfinite(r.endSeconds)
                       ? r.endSeconds
                       : u.startSeconds + static_cast<double>(u.low.size()) * u.stretchSeconds);
    // Levels and stretches not formed yet (NaN) leave the scale alone.
    double largest = 0.0;
    auto Widen = [&largest](double v) {
        if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
    };
    Widen(r.unweightedPeakPercent);
    Widen(r.weightedPeakPercent);
    for (size_t i = 0; i < u.low.size(); ++i) {
        Widen(static_cast<double>(u.low[i]));
        Widen(static_cast<double>(u.high[i]));
    }
    const double step = NiceStep(2.0 * std::max(largest, 1e-6));
    return {t0, t1, step, std::ceil(largest * 1.1 / step) * step};
}

void DrawDeviationAxes(cairo_t* cr, const PanelRect& b, const DeviationScale& s) {
    cairo_set_font_size(cr, 11.0);
    cairo_set_line_width(cr, 0.5);
    DrawAxis(
        cr, b, AxisEdge::kLeft, {-s.limit, s.limit + s.step / 2, s.step},
        [&](double v) { return b.y + b.h / 2.0 - v / s.limit * b.h / 2.0; },
        [&](double v) { return TickLabel("%.4g", std::fabs(v) < s.step / 1000 ? 0.0 : v); });
    const double tStep = NiceStep(s.t1 - s.t0);
    DrawAxis(
        cr, b, AxisEdge::kBottom, {std::ceil(s.t0 / tStep) * tStep, s.t1, tStep},
        [&](double t) { return b.x + (t - s.t0) / (s.t1 - s.t0) * b.w; },
        [](double t) { return TickLabel("%g", t); });
    XAxisTitle(cr, b, "time, s");
}

// A two-sigma level of the deviation panel, drawn and named in its colour.
struct NamedLevel {
    double level;  // %; NaN: none (not formed yet)
    double red, green, blue;
    const char* name;
};
using NamedLevels = std::array<NamedLevel, 2>;

// Each level dashed, above and below 0.
void DrawLevelLines(cairo_t* cr, const PanelRect& b, const NamedLevels& levels, double limit) {
    SetDashed(cr);
    cairo_set_line_width(cr, 1.2);
    for (const auto& l : levels) {
        if (!std::isfinite(l.level)) continue;
        cairo_set_source_rgb(cr, l.red, l.green, l.blue);
        for (double sign : {1.0, -1.0}) {
            const double y = b.y + b.h / 2.0 - sign * std::min(l.level / limit, 1.0) * b.h / 2.0;
            cairo_move_to(cr, b.x, y);
            cairo_line_to(cr, b.x + b.w, y);
            cairo_stroke(cr);
        }
    }
    cairo_set_dash(cr, nullptr, 0, 0.0);
}

// The levels' names and values at the top right, on a pale ground so that the traces and
// levels behind it do not hide it.
void DrawLevelLegend(cairo_t* cr, const PanelRect& b, const NamedLevels& levels) {
    cairo_set_font_size(cr, 12.0);
    std::vector<std::string> legend;
    double widest = 0.0;
    for (const auto& l : levels) {
        if (!std::isfinite(l.level)) continue;
        char label[64];
        std::snprintf(label, sizeof label, "%s %.4f %%", l.name, l.level);
        legend.emplace_back(label);
        cairo_text_extents_t e;
        cairo_text_extents(cr, label, &e);
        widest = std::max(widest, e.width);
    }
    if (!legend.empty()) {
        cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.85);
        cairo_rectangle(cr, b.x + b.w - 12 - widest, b.y + 3, widest + 8,
                        16.0 * static_cast<double>(legend.size()) + 2);
        cairo_fill(cr);
    }
    double ly = b.y + 16;
    size_t shown = 0;
    for (const auto& l : levels) {
        if (!std::isfinite(l.level)) continue;
        cairo_set_source_rgb(cr, l.red, l.green, l.blue);
        PlotText(cr, b.x + b.w - 8, ly, legend[shown++].c_str(), 1.0);
        ly += 16;
    }
}

}  // namespace

void DrawDeviationPanel(cairo_t* cr, const DeviationPanel& r, const PanelRect& rect) {
    const PanelRect b = PanelFrame(rect);
    const DeviationScale s = DeviationScaleOf(r);
    DrawDeviationAxes(cr, b, s);
    cairo_set_source_rgba(cr, 0.55, 0.7, 0.95, 0.8);
    // Seen close, the unweighted line is the wider: where both traces run together (a swing
    // the weighting passes) it shows either side of the weighted one.
    const double none = std::numeric_limits<double>::quiet_NaN();
    DrawEnvelope(cr, r.unweighted, b, s.t0, s.t1, s.limit, r.lines ? 3.5 : none);
    cairo_set_source_rgba(cr, 0.85, 0.3, 0.1, 0.85);
    DrawEnvelope(cr, r.weighted, b, s.t0, s.t1, s.limit, r.lines ? 1.5 : none);
    const NamedLevels levels = {{{r.unweightedPeakPercent, 0.1, 0.3, 0.8, "unweighted 2-sigma"},
                                 {r.weightedPeakPercent, 0.7, 0.15, 0.0, "weighted 2-sigma"}}};
    DrawLevelLines(cr, b, levels, s.limit);
    if (r.legend) DrawLevelLegend(cr, b, levels);
    Frame(cr, b);
    YAxisTitle(cr, b, "deviation, %", 35);
}

namespace {

// The spectrum as a line through its points, of which up to ten thousand crowd into the
// highest decades of the logarithmic axis. Within each pixel column only the first, lowest,
// highest and last point are kept, in their order: the line covers the same pixels, and
// cairo strokes a tenth of the points.
template <typename ToX, typename ToY>
void SpectrumPath(cairo_t* cr, const SpectrumPanel& r, ToX X, ToY Y) {
    const size_t n = std::min(r.hz.size(), r.percent.size());
    bool started = false;
    auto Point = [&](size_t i) {
        if (started) {
            cairo_line_to(cr, X(r.hz[i]), Y(r.percent[i]));
        } else {
            cairo_move_to(cr, X(r.hz[i]), Y(r.percent[i]));
            started = true;
        }
    };
    for (size_t first = 0; first < n;) {
        const double column = std::floor(X(r.hz[first]));
        size_t last = first, lowest = first, highest = first;
        while (last + 1 < n && std::floor(X(r.hz[last + 1])) == column) {
            ++last;
            if (r.percent[last] < r.percent[lowest]) lowest = last;
            if (r.percent[last] > r.percent[highest]) highest = last;
        }
        Point(first);
        for (const size_t i : {std::min(lowest, highest), std::max(lowest, highest), last}) {
            if (i != first) Point(i);
        }
        first = last + 1;
    }
}

// The spectrum's frequency axis: 0.1 to 200 Hz, logarithmic.
constexpr double kSpectrumLowHz = 0.1, kSpectrumHighHz = 200.0;

// Its grid: a line at each whole multiple of a decade, darker at the decades, and labels at
// 1, 2 and 5 times them.
template <typename ToX>
void DrawFrequencyAxis(cairo_t* cr, const PanelRect& b, ToX X) {
    for (double decade = 0.1; decade <= kSpectrumHighHz; decade *= 10.0) {
        for (int m = 1; m < 10; ++m) {
            const double hz = decade * m;
            if (hz < kSpectrumLowHz || hz > kSpectrumHighHz) continue;
            const bool labelled = m == 1 || m == 2 || m == 5;
            GridLine(cr, b, AxisEdge::kBottom, X(hz), m == 1 ? 0.75 : 0.9,
                     labelled ? TickLabel("%g", hz).c_str() : nullptr);
        }
    }
}

}  // namespace

void DrawSpectrumPanel(cairo_t* cr, const SpectrumPanel& r, const PanelRect& rect) {
    const PanelRect b = PanelFrame(rect);
    constexpr double kLow = kSpectrumLowHz, kHigh = kSpectrumHighHz;
    auto X = [&](double hz) {
        return b.x + std::log10(hz / kLow) / std::log10(kHigh / kLow) * b.w;
    };
    double largest = 1e-9;
    for (double p : r.percent) {
        if (std::isfinite(p)) largest = std::max(largest, p);
    }
    const double step = NiceStep(largest);
    const double top = std::ceil(largest * 1.15 / step) * step;
    auto Y = [&](double p) { return b.y + b.h - std::clamp(p / top, 0.0, 1.0) * b.h; };

    cairo_set_font_size(cr, 11.0);
    cairo_set_line_width(cr, 0.5);
    DrawFrequencyAxis(cr, b, X);
    DrawAxis(cr, b, AxisEdge::kLeft, {0.0, top + step / 2, step}, Y,
             [](double p) { return TickLabel("%.4g", p); });
    XAxisTitle(cr, b, "modulation frequency, Hz");

    cairo_set_source_rgb(cr, 0.1, 0.3, 0.8);
    cairo_set_line_width(cr, 1.0);
    SpectrumPath(cr, r, X, Y);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 12.0);
    cairo_set_source_rgb(cr, 0.6, 0.1, 0.0);
    for (const SpectrumLine& line : r.lines) {
        if (line.hz < kLow || line.hz > kHigh) continue;
        char label[64];
        std::snprintf(label, sizeof label, "%.3g Hz, %.3g %%", line.hz, line.percent);
        PlotText(cr, X(line.hz) + 4, std::max(b.y + 14, Y(line.percent) - 6), label, 0.0);
    }
    Frame(cr, b);
    YAxisTitle(cr, b, "peak deviation, %", 50);
}

namespace {

// The speed error panel's scales: time from 0 to t1 s across, speed error from -limit to
// +limit % up with its ticks `step` apart; what lies outside drawn at the edge.
struct SpeedScale {
    PanelRect b;
    double t1, step, limit;
    double X(double t) const { return b.x + std::clamp(t / t1, 0.0, 1.0) * b.w; }
    double Y(double v) const {
        return b.y + b.h / 2.0 - std::clamp(v / limit, -1.0, 1.0) * b.h / 2.0;
    }
};

SpeedScale SpeedScaleOf(const SpeedErrorPanel& r, const PanelRect& b) {
    const Envelope& e = r.speedError;
    double largest = std::isfinite(r.meanPercent) ? std::fabs(r.meanPercent) : 0.0;
    for (size_t i = 0; i < e.low.size(); ++i) {
        if (std::isfinite(e.low[i])) largest = std::max(largest, std::fabs(double{e.low[i]}));
        if (std::isfinite(e.high[i])) largest = std::max(largest, std::fabs(double{e.high[i]}));
    }
    // At least +-0.01 %: a steady speed does not magnify its last digits.
    const double step = NiceStep(2.0 * std::max(largest, 0.01));
    const double limit = std::ceil(std::max(largest, 0.01) * 1.1 / step) * step;
    return {b, std::max(1.0, r.endSeconds), step, limit};
}

void DrawSpeedAxes(cairo_t* cr, const SpeedScale& s, const char* timeTitle) {
    cairo_set_font_size(cr, 11.0);
    cairo_set_line_width(cr, 0.5);
    DrawAxis(
        cr, s.b, AxisEdge::kLeft, {-s.limit, s.limit + s.step / 2, s.step},
        [&](double v) { return s.Y(v); },
        [&](double v) { return std::fabs(v) < s.step / 1000 ? "0" : TickLabel("%+.4g", v); });
    DrawAxis(
        cr, s.b, AxisEdge::kBottom, {0.0, s.t1, NiceStep(s.t1)}, [&](double t) { return s.X(t); },
        [](double t) { return TickLabel("%g", t); });
    XAxisTitle(cr, s.b, timeTitle);
}

// Each stretch from its lowest to its highest second, at least a pixel high.
void DrawSpeedStretches(cairo_t* cr, const SpeedScale& s, const Envelope& e) {
    cairo_set_source_rgb(cr, 0.2, 0.45, 0.15);
    for (size_t i = 0; i < e.low.size(); ++i) {
        if (!std::isfinite(e.low[i]) || !std::isfinite(e.high[i])) continue;
        const double t = e.startSeconds + static_cast<double>(i) * e.stretchSeconds;
        double top = s.Y(e.high[i]), bottom = s.Y(e.low[i]);
        if (bottom - top < 1.5) {
            const double middle = (top + bottom) / 2.0;
            top = middle - 0.75;
            bottom = middle + 0.75;
        }
        cairo_rectangle(cr, s.X(t), top, std::max(1.0, s.X(t + e.stretchSeconds) - s.X(t)),
                        bottom - top);
    }
    cairo_fill(cr);
}

// The mean over the span read, dashed, and named in the half of the panel away from it, so
// that the label never covers the line.
void DrawSpeedMean(cairo_t* cr, const SpeedScale& s, double meanPercent, const char* label) {
    const PanelRect& b = s.b;
    SetDashed(cr);
    cairo_set_line_width(cr, 1.2);
    cairo_set_source_rgb(cr, 0.1, 0.3, 0.05);
    cairo_move_to(cr, b.x, s.Y(meanPercent));
    cairo_line_to(cr, b.x + b.w, s.Y(meanPercent));
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0.0);
    if (label[0] == '\0') return;
    cairo_set_font_size(cr, 12.0);
    const bool lineHigh = s.Y(meanPercent) < b.y + b.h / 2.0 - 1.0;
    PlotText(cr, b.x + b.w - 8, lineHigh ? b.y + b.h - 8 : b.y + 16, label, 1.0);
}

}  // namespace

void DrawSpeedErrorPanel(cairo_t* cr, const SpeedErrorPanel& r, const PanelRect& rect) {
    const SpeedScale s = SpeedScaleOf(r, PanelFrame(rect));
    if (std::isfinite(r.spanStartSeconds) && std::isfinite(r.spanSeconds)) {
        cairo_set_source_rgb(cr, 0.93, 0.95, 0.9);
        cairo_rectangle(cr, s.X(r.spanStartSeconds), s.b.y,
                        s.X(r.spanStartSeconds + r.spanSeconds) - s.X(r.spanStartSeconds), s.b.h);
        cairo_fill(cr);
    }
    DrawSpeedAxes(cr, s, r.timeTitle.c_str());
    DrawSpeedStretches(cr, s, r.speedError);
    if (std::isfinite(r.meanPercent)) DrawSpeedMean(cr, s, r.meanPercent, r.meanLabel.c_str());
    Frame(cr, s.b);
    YAxisTitle(cr, s.b, "speed error, %", 40);
}

double NiceStep(double range) {
    const double raw = range / 6.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw) return m * power;
    }
    return 10.0 * power;
}

PanelRect PanelFrame(const PanelRect& rect) {
    return {rect.x + kPanelInsetLeft, rect.y, rect.w - kPanelInsetLeft, rect.h - kPanelInsetBottom};
}

DeviationPanel DeviationPanelOf(const MeterResult& r) {
    return {r.unweighted, r.weighted, r.unweightedPeakPercent, r.weightedPeakPercent};
}

SpectrumPanel SpectrumPanelOf(const MeterResult& r) {
    return {r.spectrumHz, r.spectrumPercent, r.lines};
}

SpeedErrorPanel SpeedErrorPanelOf(const MeterResult& r) {
    return {r.speedError,
            r.durationSeconds,
            r.startSeconds,
            r.measuredSeconds,
            r.speedErrorPercent,
            "speed error " + FormatSpeedError(r) + " over the span read",
            "time, s (shaded: the span read)"};
}

namespace {

// Whether the plot has the speed error's panel: where a nominal made the speed error known.
bool HasSpeedPanel(const MeterResult& r) {
    return !r.speedError.low.empty();
}

// Where the turntable's panel, where there is one, starts: below the others.
double RevolutionPanelTop(const MeterResult& r) {
    return kHeight + (HasSpeedPanel(r) ? kSpeedPanelHeight + kSpeedPanelSpace : 0.0);
}

double PlotHeight(const MeterResult& r) {
    return RevolutionPanelTop(r) +
           (HasRevolutionPanel(r) ? kRevolutionPanelHeight + kRevolutionPanelSpace : 0.0);
}

void Draw(cairo_t* cr, const MeterResult& r, const std::string& title) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    SelectSansFont(cr, false);
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    cairo_set_font_size(cr, 14.0);
    char heading[512];
    std::snprintf(
        heading, sizeof heading,
        "%s: carrier %.2f Hz (speed %s), weighted %.4f %%, unweighted %.4f %%, RMS %.4f %%",
        title.c_str(), r.carrierHz, FormatSpeedError(r).c_str(), r.weightedPeakPercent,
        r.unweightedPeakPercent, r.weightedRmsPercent);
    PlotText(cr, kLeft, 24, heading);
    // Each panel's frame from kLeft to kRight of the edge, its labels left of and below it.
    const double w = kWidth - kLeft - kRight + kPanelInsetLeft;
    const double x = kLeft - kPanelInsetLeft;
    DrawDeviationPanel(cr, DeviationPanelOf(r), {x, 45, w, 280 + kPanelInsetBottom});
    DrawSpectrumPanel(cr, SpectrumPanelOf(r), {x, 400, w, 270 + kPanelInsetBottom});
    if (HasSpeedPanel(r))
        DrawSpeedErrorPanel(cr, SpeedErrorPanelOf(r),
                            {x, kHeight, w, kSpeedPanelHeight + kPanelInsetBottom});
    if (HasRevolutionPanel(r)) {
        DrawRevolutionPanel(cr, r.revolution, kLeft, RevolutionPanelTop(r), kWidth - kLeft - kRight,
                            kRevolutionPanelHeight);
    }
}

// Rows of an RGB24 image surface as a PNG image in memory. A plot is mostly flat colour that
// repeats row after row: the "up" filter alone and a low deflate level compress it to within a
// fifth of the smallest size, in a quarter of the time the adaptive filters and the default
// level take. False when libpng fails (out of memory).
bool EncodePng(cairo_surface_t* surface, std::string& out) {
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* pixels = cairo_image_surface_get_data(surface);
    std::vector<unsigned char> row(3 * static_cast<size_t>(width));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t size) {
            auto* bytes = static_cast<std::string*>(png_get_io_ptr(p));
            bool appended = true;
            try {
                bytes->append(reinterpret_cast<const char*>(data), size);
            } catch (const std::bad_alloc&) {
                appended = false;
            }
            if (!appended) png_error(p, "out of memory");
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, kPngCompressionLevel);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        // Each pixel is a native 32-bit word: unused byte, red, green, blue from the top.
        const auto* words =
            reinterpret_cast<const std::uint32_t*>(pixels + static_cast<ptrdiff_t>(y) * stride);
        for (size_t x = 0; x < static_cast<size_t>(width); ++x) {
            row[3 * x] = static_cast<unsigned char>(words[x] >> 16);
            row[3 * x + 1] = static_cast<unsigned char>(words[x] >> 8);
            row[3 * x + 2] = static_cast<unsigned char>(words[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// cairo names each surface of an SVG "surfaceN" after a number it counts per process, so that
// the same plot drawn twice (by the window, after other drawings) would differ: the numbers are
// given anew, 1, 2, ... in the order they first appear, in the ids and the references alike.
std::string NumberSurfacesInOrder(const std::string& svg) {
    constexpr std::string_view kName = "surface";
    std::vector<std::string> seen;
    std::string out;
    out.reserve(svg.size());
    size_t from = 0;
    for (size_t at = svg.find(kName); at != std::string::npos; at = svg.find(kName, at)) {
        size_t end = at + kName.size();
        while (end < svg.size() && std::isdigit(static_cast<unsigned char>(svg[end])) != 0) ++end;
        const bool named = at > 0 && (svg[at - 1] == '"' || svg[at - 1] == '#');
        if (!named || end == at + kName.size()) {
            at = end;
            continue;
        }
        const std::string number = svg.substr(at + kName.size(), end - at - kName.size());
        auto found = std::find(seen.begin(), seen.end(), number);
        if (found == seen.end()) found = seen.insert(seen.end(), number);
        out.append(svg, from, at - from);
        out += kName;
        out += std::to_string(found - seen.begin() + 1);
        from = at = end;
    }
    out.append(svg, from, std::string::npos);
    return out;
}

}  // namespace

PlotFormat PlotFormatOf(const std::string& path) {
    const auto dot = path.rfind('.');
    std::string extension = dot == std::string::npos ? "" : path.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".png") return PlotFormat::kPng;
    if (extension == ".svg") return PlotFormat::kSvg;
    return PlotFormat::kNone;
}

std::string RenderPlot(const MeterResult& result, const std::string& title, PlotFormat format) {
    std::string bytes;
    const bool svg = format == PlotFormat::kSvg;
    const double height = PlotHeight(result);
    cairo_surface_t* surface =
        svg ? cairo_svg_surface_create_for_stream(AppendToString, &bytes, kWidth, height)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(kWidth),
                                         static_cast<int>(height));
    cairo_t* cr = cairo_create(surface);
    Draw(cr, result, title);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_status_t status = cairo_surface_status(surface);
    if (status == CAIRO_STATUS_SUCCESS && !svg && !EncodePng(surface, bytes))
        status = CAIRO_STATUS_NO_MEMORY;
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        throw MeterError(Msg::kCannotDrawPlot, cairo_status_to_string(status));
    return svg ? NumberSurfacesInOrder(bytes) : bytes;
}

void CommitPlot(FILE* file, const std::string& bytes, const std::string& path) {
    errno = 0;
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    const int error = errno;  // why the write failed, before the close can change it
    // The close or the renaming into place can fail too (a full disk on some file systems).
    if (!CommitOutputFile(file)) {
        throw MeterError(Msg::kCannotWritePlot, path.c_str(),
                         std::strerror(written ? errno : error));
    }
}

void WritePlot(const MeterResult& result, const std::string& title, const std::string& path) {
    const PlotFormat format = PlotFormatOf(path);
    FILE* file = OpenOutputFile(path.c_str());
    if (file == nullptr)
        throw MeterError(Msg::kCannotWritePlot, path.c_str(), std::strerror(errno));
    std::string bytes;
    try {
        bytes = RenderPlot(result, title, format == PlotFormat::kSvg ? format : PlotFormat::kPng);
    } catch (...) {
        DiscardOutputFile(file);
        throw;
    }
    CommitPlot(file, bytes, path);
}

}  // namespace wobblemeter
