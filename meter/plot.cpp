// Cairo drawing of the deviation and its spectrum, to PNG or SVG.
#include "meter/plot.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "meter/report.h"

namespace wobblemeter {

namespace {

constexpr double kWidth = 1000.0;
constexpr double kHeight = 720.0;
// The panel of the speed error along the whole span, below the others, where there is one.
constexpr double kSpeedPanelHeight = 190.0;
constexpr double kSpeedPanelSpace = 60.0;
constexpr double kLeft = 80.0;
constexpr double kRight = 30.0;

struct Box {
    double x, y, w, h;
};

void Text(cairo_t* cr, double x, double y, const char* text, double alignX = 0.0) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    cairo_move_to(cr, x - alignX * e.width, y);
    cairo_show_text(cr, text);
}

// Round step of about range / 6.
double NiceStep(double range) {
    const double raw = range / 6.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw) return m * power;
    }
    return 10.0 * power;
}

void Frame(cairo_t* cr, const Box& b) {
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, b.x, b.y, b.w, b.h);
    cairo_stroke(cr);
}

void DrawEnvelope(cairo_t* cr, const Envelope& e, const Box& b, double t0, double t1,
                  double limit) {
    if (e.low.empty()) return;
    auto X = [&](double t) { return b.x + (t - t0) / (t1 - t0) * b.w; };
    auto Y = [&](double v) {
        return b.y + b.h / 2.0 - std::clamp(v / limit, -1.0, 1.0) * b.h / 2.0;
    };
    const size_t n = e.low.size();
    for (size_t i = 0; i < n; ++i) {
        const double t = e.startSeconds + (static_cast<double>(i) + 0.5) * e.stretchSeconds;
        if (i == 0)
            cairo_move_to(cr, X(t), Y(e.high[i]));
        else
            cairo_line_to(cr, X(t), Y(e.high[i]));
    }
    for (size_t i = n; i-- > 0;) {
        const double t = e.startSeconds + (static_cast<double>(i) + 0.5) * e.stretchSeconds;
        cairo_line_to(cr, X(t), Y(e.low[i]));
    }
    cairo_close_path(cr);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
}

// Title of a box's y axis, read bottom to top; `halfLength` (pixels) centres it on the box.
void YAxisTitle(cairo_t* cr, const Box& b, const char* title, double halfLength) {
    cairo_save(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_move_to(cr, b.x - 55, b.y + b.h / 2 + halfLength);
    cairo_rotate(cr, -std::numbers::pi / 2);
    cairo_show_text(cr, title);
    cairo_restore(cr);
}

void DrawDeviation(cairo_t* cr, const MeterResult& r, const Box& b) {
    const Envelope& u = r.unweighted;
    const double t0 = u.startSeconds;
    const double t1 =
        std::max(t0 + 1e-3, u.startSeconds + static_cast<double>(u.low.size()) * u.stretchSeconds);
    double largest = std::max(r.unweightedPeakPercent, r.weightedPeakPercent);
    for (size_t i = 0; i < u.low.size(); ++i) {
        largest = std::max({largest, std::fabs(static_cast<double>(u.low[i])),
                            std::fabs(static_cast<double>(u.high[i]))});
    }
    const double step = NiceStep(2.0 * std::max(largest, 1e-6));
    const double limit = std::ceil(largest * 1.1 / step) * step;

    char label[64];
    cairo_set_font_size(cr, 11.0);
    cairo_set_line_width(cr, 0.5);
    for (double v = -limit; v <= limit + step / 2; v += step) {
        const double y = b.y + b.h / 2.0 - v / limit * b.h / 2.0;
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_move_to(cr, b.x, y);
        cairo_line_to(cr, b.x + b.w, y);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        std::snprintf(label, sizeof label, "%.4g", std::fabs(v) < step / 1000 ? 0.0 : v);
        Text(cr, b.x - 6, y + 4, label, 1.0);
    }
    const double tStep = NiceStep(t1 - t0);
    for (double t = std::ceil(t0 / tStep) * tStep; t <= t1; t += tStep) {
        const double x = b.x + (t - t0) / (t1 - t0) * b.w;
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_move_to(cr, x, b.y);
        cairo_line_to(cr, x, b.y + b.h);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        std::snprintf(label, sizeof label, "%g", t);
        Text(cr, x, b.y + b.h + 15, label, 0.5);
    }
    Text(cr, b.x + b.w / 2, b.y + b.h + 32, "time, s", 0.5);

    cairo_set_line_width(cr, 0.8);
    cairo_set_source_rgba(cr, 0.55, 0.7, 0.95, 0.7);
    DrawEnvelope(cr, r.unweighted, b, t0, t1, limit);
    cairo_set_source_rgba(cr, 0.85, 0.3, 0.1, 0.8);
    DrawEnvelope(cr, r.weighted, b, t0, t1, limit);

    const double dashes[] = {6.0, 4.0};
    cairo_set_dash(cr, dashes, 2, 0.0);
    cairo_set_line_width(cr, 1.2);
    const struct {
        double level;
        double red, green, blue;
        const char* name;
    } levels[] = {{r.unweightedPeakPercent, 0.1, 0.3, 0.8, "unweighted 2-sigma"},
                  {r.weightedPeakPercent, 0.7, 0.15, 0.0, "weighted 2-sigma"}};
    for (const auto& l : levels) {
        cairo_set_source_rgb(cr, l.red, l.green, l.blue);
        for (double sign : {1.0, -1.0}) {
            const double y = b.y + b.h / 2.0 - sign * std::min(l.level / limit, 1.0) * b.h / 2.0;
            cairo_move_to(cr, b.x, y);
            cairo_line_to(cr, b.x + b.w, y);
            cairo_stroke(cr);
        }
    }
    cairo_set_dash(cr, nullptr, 0, 0.0);
    cairo_set_font_size(cr, 12.0);
    double ly = b.y + 16;
    for (const auto& l : levels) {
        cairo_set_source_rgb(cr, l.red, l.green, l.blue);
        std::snprintf(label, sizeof label, "%s %.4f %%", l.name, l.level);
        Text(cr, b.x + b.w - 8, ly, label, 1.0);
        ly += 16;
    }
    Frame(cr, b);
    YAxisTitle(cr, b, "deviation, %", 35);
}

void DrawSpectrum(cairo_t* cr, const MeterResult& r, const Box& b) {
    constexpr double kLow = 0.1, kHigh = 200.0;
    auto X = [&](double hz) {
        return b.x + std::log10(hz / kLow) / std::log10(kHigh / kLow) * b.w;
    };
    double largest = 1e-9;
    for (double p : r.spectrumPercent) largest = std::max(largest, p);
    const double step = NiceStep(largest);
    const double top = std::ceil(largest * 1.15 / step) * step;
    auto Y = [&](double p) { return b.y + b.h - std::clamp(p / top, 0.0, 1.0) * b.h; };

    char label[64];
    cairo_set_font_size(cr, 11.0);
    cairo_set_line_width(cr, 0.5);
    for (double decade = 0.1; decade <= kHigh; decade *= 10.0) {
        for (int m = 1; m < 10; ++m) {
            const double hz = decade * m;
            if (hz < kLow || hz > kHigh) continue;
            cairo_set_source_rgb(cr, m == 1 ? 0.75 : 0.9, m == 1 ? 0.75 : 0.9, m == 1 ? 0.75 : 0.9);
            cairo_move_to(cr, X(hz), b.y);
            cairo_line_to(cr, X(hz), b.y + b.h);
            cairo_stroke(cr);
            if (m == 1 || m == 2 || m == 5) {
                cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
                std::snprintf(label, sizeof label, "%g", hz);
                Text(cr, X(hz), b.y + b.h + 15, label, 0.5);
            }
        }
    }
    for (double p = 0.0; p <= top + step / 2; p += step) {
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_move_to(cr, b.x, Y(p));
        cairo_line_to(cr, b.x + b.w, Y(p));
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        std::snprintf(label, sizeof label, "%.4g", p);
        Text(cr, b.x - 6, Y(p) + 4, label, 1.0);
    }
    Text(cr, b.x + b.w / 2, b.y + b.h + 32, "modulation frequency, Hz", 0.5);

    cairo_set_source_rgb(cr, 0.1, 0.3, 0.8);
    cairo_set_line_width(cr, 1.0);
    for (size_t i = 0; i < r.spectrumHz.size(); ++i) {
        if (i == 0)
            cairo_move_to(cr, X(r.spectrumHz[i]), Y(r.spectrumPercent[i]));
        else
            cairo_line_to(cr, X(r.spectrumHz[i]), Y(r.spectrumPercent[i]));
    }
    cairo_stroke(cr);
    cairo_set_font_size(cr, 12.0);
    cairo_set_source_rgb(cr, 0.6, 0.1, 0.0);
    for (const SpectrumLine& line : r.lines) {
        if (line.hz < kLow || line.hz > kHigh) continue;
        std::snprintf(label, sizeof label, "%.3g Hz, %.3g %%", line.hz, line.percent);
        Text(cr, X(line.hz) + 4, std::max(b.y + 14, Y(line.percent) - 6), label, 0.0);
    }
    Frame(cr, b);
    YAxisTitle(cr, b, "peak deviation, %", 50);
}

// The speed error second by second along the whole input (a stretch of several seconds where
// the input is long: its lowest to highest second), the span the readings were taken over
// shaded, the summary's mean dashed.
void DrawSpeedError(cairo_t* cr, const MeterResult& r, const Box& b) {
    const Envelope& e = r.speedError;
    const double t1 = std::max(1.0, r.durationSeconds);
    auto X = [&](double t) { return b.x + std::clamp(t / t1, 0.0, 1.0) * b.w; };
    double largest = std::fabs(r.speedErrorPercent);
    for (size_t i = 0; i < e.low.size(); ++i) {
        if (std::isfinite(e.low[i])) largest = std::max(largest, std::fabs(double{e.low[i]}));
        if (std::isfinite(e.high[i])) largest = std::max(largest, std::fabs(double{e.high[i]}));
    }
    // At least +-0.01 %: a steady speed does not magnify its last digits.
    const double step = NiceStep(2.0 * std::max(largest, 0.01));
    const double limit = std::ceil(std::max(largest, 0.01) * 1.1 / step) * step;
    auto Y = [&](double v) {
        return b.y + b.h / 2.0 - std::clamp(v / limit, -1.0, 1.0) * b.h / 2.0;
    };

    cairo_set_source_rgb(cr, 0.93, 0.95, 0.9);
    cairo_rectangle(cr, X(r.startSeconds), b.y,
                    X(r.startSeconds + r.measuredSeconds) - X(r.startSeconds), b.h);
    cairo_fill(cr);
    char label[64];
    cairo_set_font_size(cr, 11.0);
    cairo_set_line_width(cr, 0.5);
    for (double v = -limit; v <= limit + step / 2; v += step) {
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_move_to(cr, b.x, Y(v));
        cairo_line_to(cr, b.x + b.w, Y(v));
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        if (std::fabs(v) < step / 1000)
            std::snprintf(label, sizeof label, "0");
        else
            std::snprintf(label, sizeof label, "%+.4g", v);
        Text(cr, b.x - 6, Y(v) + 4, label, 1.0);
    }
    const double tStep = NiceStep(t1);
    for (double t = 0.0; t <= t1; t += tStep) {
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_move_to(cr, X(t), b.y);
        cairo_line_to(cr, X(t), b.y + b.h);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        std::snprintf(label, sizeof label, "%g", t);
        Text(cr, X(t), b.y + b.h + 15, label, 0.5);
    }
    Text(cr, b.x + b.w / 2, b.y + b.h + 32, "time, s (shaded: the span read)", 0.5);

    // Each stretch from its lowest to its highest second, at least a pixel high.
    cairo_set_source_rgb(cr, 0.2, 0.45, 0.15);
    for (size_t i = 0; i < e.low.size(); ++i) {
        if (!std::isfinite(e.low[i]) || !std::isfinite(e.high[i])) continue;
        const double t = e.startSeconds + static_cast<double>(i) * e.stretchSeconds;
        double top = Y(e.high[i]), bottom = Y(e.low[i]);
        if (bottom - top < 1.5) {
            const double middle = (top + bottom) / 2.0;
            top = middle - 0.75;
            bottom = middle + 0.75;
        }
        cairo_rectangle(cr, X(t), top, std::max(1.0, X(t + e.stretchSeconds) - X(t)), bottom - top);
    }
    cairo_fill(cr);
    if (std::isfinite(r.speedErrorPercent)) {
        const double dashes[] = {6.0, 4.0};
        cairo_set_dash(cr, dashes, 2, 0.0);
        cairo_set_line_width(cr, 1.2);
        cairo_set_source_rgb(cr, 0.1, 0.3, 0.05);
        cairo_move_to(cr, b.x, Y(r.speedErrorPercent));
        cairo_line_to(cr, b.x + b.w, Y(r.speedErrorPercent));
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0.0);
        cairo_set_font_size(cr, 12.0);
        std::snprintf(label, sizeof label, "speed error %s over the span read",
                      FormatSpeedError(r).c_str());
        Text(cr, b.x + b.w - 8, b.y + 16, label, 1.0);
    }
    Frame(cr, b);
    YAxisTitle(cr, b, "speed error, %", 40);
}

// Whether the plot has the speed error's panel: where a nominal made the speed error known.
bool HasSpeedPanel(const MeterResult& r) {
    return !r.speedError.low.empty();
}

double PlotHeight(const MeterResult& r) {
    return kHeight + (HasSpeedPanel(r) ? kSpeedPanelHeight + kSpeedPanelSpace : 0.0);
}

void Draw(cairo_t* cr, const MeterResult& r, const std::string& title) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    cairo_set_font_size(cr, 14.0);
    char heading[512];
    std::snprintf(
        heading, sizeof heading,
        "%s: carrier %.2f Hz (speed %s), weighted %.4f %%, unweighted %.4f %%, RMS %.4f %%",
        title.c_str(), r.carrierHz, FormatSpeedError(r).c_str(), r.weightedPeakPercent,
        r.unweightedPeakPercent, r.weightedRmsPercent);
    Text(cr, kLeft, 24, heading);
    const double w = kWidth - kLeft - kRight;
    DrawDeviation(cr, r, {kLeft, 45, w, 280});
    DrawSpectrum(cr, r, {kLeft, 400, w, 270});
    if (HasSpeedPanel(r)) DrawSpeedError(cr, r, {kLeft, kHeight, w, kSpeedPanelHeight});
}

}  // namespace

void WritePlot(const MeterResult& result, const std::string& title, const std::string& path) {
    std::string ending = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool svg = ending == ".svg";
    const double height = PlotHeight(result);
    cairo_surface_t* surface =
        svg ? cairo_svg_surface_create(path.c_str(), kWidth, height)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(kWidth),
                                         static_cast<int>(height));
    cairo_t* cr = cairo_create(surface);
    Draw(cr, result, title);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_status_t status = cairo_surface_status(surface);
    if (status == CAIRO_STATUS_SUCCESS && !svg)
        status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        throw MeterError("cannot write the plot " + path + ": " + cairo_status_to_string(status));
    }
}

}  // namespace wobblemeter
