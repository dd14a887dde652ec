// The instrument face: layout and drawing of a Display with the shared panels.
#include "meterwin/instrument.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "meter/message.h"
#include "meter/output/font.h"
#include "meter/output/revolution_plot.h"

namespace wobblemeter {

namespace {

constexpr double kMargin = 12.0;
constexpr double kGap = 16.0;
constexpr double kHeadingHeight = 30.0;
constexpr double kTitleHeight = 20.0;
constexpr double kBarHeight = 96.0;
// The left column's share of the width, and its narrowest and widest.
constexpr double kColumnShare = 0.3;
constexpr double kColumnMin = 300.0, kColumnMax = 400.0;

// The state's badge colour: green measuring, amber on the way, red trouble, grey at rest.
void StateColour(cairo_t* cr, WindowState state) {
    switch (state) {
        case WindowState::kMeasuring:
        case WindowState::kFileRead:
            cairo_set_source_rgb(cr, 0.1, 0.5, 0.15);
            return;
        case WindowState::kStarting:
        case WindowState::kWaitingForTone:
        case WindowState::kSettling:
        case WindowState::kReadingFile:
            cairo_set_source_rgb(cr, 0.75, 0.5, 0.0);
            return;
        case WindowState::kNoTone:
        case WindowState::kError:
            cairo_set_source_rgb(cr, 0.75, 0.05, 0.05);
            return;
        case WindowState::kIdle:
        case WindowState::kStopped:
            break;
    }
    cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
}

void Font(cairo_t* cr, bool bold, double size) {
    SelectSansFont(cr, bold);
    cairo_set_font_size(cr, size);
}

// The heading on the left, cut short with an ellipsis where it would run into the badge, and
// the state's badge on the right.
void DrawHeading(cairo_t* cr, const Display& d, const PanelRect& r) {
    Font(cr, true, 13.0);
    const std::string state = StateName(d.state);
    cairo_text_extents_t e;
    cairo_text_extents(cr, state.c_str(), &e);
    const double badgeWidth = e.x_advance + 20.0, badgeHeight = 22.0;
    const double badgeX = r.x + r.w - badgeWidth, badgeY = r.y + (r.h - badgeHeight) / 2;
    StateColour(cr, d.state);
    cairo_rectangle(cr, badgeX, badgeY, badgeWidth, badgeHeight);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, badgeX + 10.0, badgeY + 16.0);
    cairo_show_text(cr, state.c_str());

    Font(cr, true, 15.0);
    // A name of any length and any bytes: at most 121 characters, and no controls, go to cairo.
    std::string heading =
        d.heading.empty() ? "No measurement" : ElidedName(QuotedName(d.heading), 60);
    const double room = badgeX - r.x - kGap;
    cairo_text_extents(cr, heading.c_str(), &e);
    if (e.x_advance > room) {
        // Keep the end (a file's name) and drop from the front.
        while (heading.size() > 1 && e.x_advance > room) {
            size_t cut = 1;
            while (cut < heading.size() &&
                   (static_cast<unsigned char>(heading[cut]) & 0xC0) == 0x80)
                ++cut;  // whole UTF-8 characters
            heading.erase(0, cut);
            const std::string shown = "\u2026" + heading;
            cairo_text_extents(cr, shown.c_str(), &e);
        }
        heading = "\u2026" + heading;
    }
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    cairo_move_to(cr, r.x, r.y + r.h / 2 + 5.0);
    cairo_show_text(cr, heading.c_str());
}

// A title strip of two lines (a narrow layout's): the title on the first, its legend or the
// cursor's text on the second, at the strip's bottom.
bool TwoLines(const PanelRect& r) {
    return r.h >= 2 * kTitleHeight;
}

// The title's type: 12, smaller where the strip is narrower than the title, never below 9.
void TitleFont(cairo_t* cr, const PanelRect& r, const char* title) {
    Font(cr, true, 12.0);
    cairo_text_extents_t e;
    cairo_text_extents(cr, title, &e);
    const double room = r.w - kPanelInsetLeft;
    if (e.x_advance > room && e.x_advance > 0.0)
        cairo_set_font_size(cr, std::max(9.0, 12.0 * room / e.x_advance));
}

// What the strip leaves for a legend or the cursor's text: its second line whole, or the room
// right of the title.
double RoomBesideTitle(cairo_t* cr, const PanelRect& r, const char* title) {
    constexpr double kTitleGap = 16.0;
    if (TwoLines(r)) return r.w - kPanelInsetLeft;
    TitleFont(cr, r, title);
    cairo_text_extents_t e;
    cairo_text_extents(cr, title, &e);
    return r.w - kPanelInsetLeft - e.x_advance - kTitleGap;
}

void DrawTitle(cairo_t* cr, const PanelRect& r, const char* title) {
    TitleFont(cr, r, title);
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
    cairo_move_to(cr, r.x + kPanelInsetLeft, r.y + kTitleHeight - 6.0);
    cairo_show_text(cr, title);
}

// A line of a panel's legend: a sample of how it is drawn (a swatch of a trace's colour, or a
// dash of a dashed line's) and its text in the line's colour.
struct LegendEntry {
    std::string text;
    double red, green, blue;
    bool dashed;
};

// The legend at the right end of a panel's title strip, clear of the title and of the traces;
// its type a little smaller where the strip is narrow, never below 9.
void DrawLegend(cairo_t* cr, const PanelRect& r, const char* title,
                const std::vector<LegendEntry>& entries) {
    constexpr double kSample = 14.0, kSampleGap = 4.0, kEntryGap = 14.0;
    const double room = RoomBesideTitle(cr, r, title);
    Font(cr, false, 12.0);
    cairo_text_extents_t e;
    double width = 0.0;
    for (const LegendEntry& entry : entries) {
        cairo_text_extents(cr, entry.text.c_str(), &e);
        width += kSample + kSampleGap + e.x_advance + kEntryGap;
    }
    if (width > room && width > 0.0) cairo_set_font_size(cr, std::max(9.0, 12.0 * room / width));
    double x = r.x + r.w;
    const double baseline = r.y + r.h - 6.0;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        cairo_text_extents(cr, entry->text.c_str(), &e);
        x -= e.x_advance;
        cairo_set_source_rgb(cr, entry->red, entry->green, entry->blue);
        cairo_move_to(cr, x, baseline);
        cairo_show_text(cr, entry->text.c_str());
        x -= kSampleGap + kSample;
        if (entry->dashed) {
            const double dashes[] = {6.0, 4.0};
            cairo_set_dash(cr, dashes, 2, 0.0);
            cairo_set_line_width(cr, 1.2);
            cairo_move_to(cr, x, baseline - 4.0);
            cairo_line_to(cr, x + kSample, baseline - 4.0);
            cairo_stroke(cr);
            cairo_set_dash(cr, nullptr, 0, 0.0);
        } else {
            cairo_rectangle(cr, x, baseline - 9.0, kSample, 9.0);
            cairo_fill(cr);
        }
        x -= kEntryGap;
    }
}

// A panel with nothing to draw yet: its frame, and in its middle what it waits for.
void DrawWaitingPanel(cairo_t* cr, const PanelRect& rect, const std::string& text) {
    const PanelRect b = PanelFrame(rect);
    cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, std::round(b.x) + 0.5, std::round(b.y) + 0.5, std::round(b.w),
                    std::round(b.h));
    cairo_stroke(cr);
    // Smaller where the panel is narrow, never below 9.
    constexpr double kSize = 13.0, kLeast = 9.0, kPad = 16.0;
    Font(cr, false, kSize);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    if (e.x_advance > b.w - 2 * kPad && e.x_advance > 0.0) {
        cairo_set_font_size(cr, std::max(kLeast, kSize * (b.w - 2 * kPad) / e.x_advance));
        cairo_text_extents(cr, text.c_str(), &e);
    }
    cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
    cairo_move_to(cr, b.x + (b.w - e.x_advance) / 2, b.y + b.h / 2 + 5.0);
    cairo_show_text(cr, text.c_str());
}

bool AnyFinite(const std::vector<float>& values) {
    return std::any_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
}

// The level's legend: "unweighted, 2-sigma 0.0797 %", or the trace's name before it is formed.
std::string LevelText(const char* name, double level) {
    std::string text = name;
    if (std::isfinite(level)) text += ", 2-sigma " + PercentText(level);
    return text;
}

// The cursor's readout at the right end of a panel's title strip, in place of its legend, in
// the title's colour; its type a little smaller where the strip is narrow, never below 9.
void DrawCursorText(cairo_t* cr, const PanelRect& r, const char* title, const std::string& text) {
    const double room = RoomBesideTitle(cr, r, title);
    Font(cr, false, 12.0);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    if (e.x_advance > room && e.x_advance > 0.0) {
        cairo_set_font_size(cr, std::max(9.0, 12.0 * room / e.x_advance));
        cairo_text_extents(cr, text.c_str(), &e);
    }
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
    cairo_move_to(cr, r.x + r.w - e.x_advance, r.y + r.h - 6.0);
    cairo_show_text(cr, text.c_str());
}

// A thin vertical line where the mouse is over a panel's frame.
void DrawCursorLine(cairo_t* cr, const PanelRect& panel, double x) {
    const PanelRect b = PanelFrame(panel);
    cairo_set_source_rgba(cr, 0.2, 0.2, 0.2, 0.6);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, std::floor(x) + 0.5, b.y);
    cairo_line_to(cr, std::floor(x) + 0.5, b.y + b.h);
    cairo_stroke(cr);
}

void DrawDeviation(cairo_t* cr, const Display& d, const InstrumentLayout& l,
                   const CursorReadout& cursor) {
    const char* title = d.deviationTitle.c_str();
    DrawTitle(cr, l.deviationTitle, title);
    // In the colours of the traces' levels (plot.cpp), swatches in the traces' own.
    if (cursor.panel == CursorReadout::Panel::kDeviation)
        DrawCursorText(cr, l.deviationTitle, title, cursor.text);
    else
        DrawLegend(cr, l.deviationTitle, title,
                   {{LevelText("unweighted", d.unweightedLevelPercent), 0.1, 0.3, 0.8, false},
                    {LevelText("weighted", d.weightedLevelPercent), 0.7, 0.15, 0.0, false}});
    SelectSansFont(cr, false);
    if (!AnyFinite(d.unweighted.low)) {
        DrawWaitingPanel(cr, l.deviation, WaitingText(d));
        return;
    }
    DeviationPanel deviation{d.unweighted, d.weighted, d.unweightedLevelPercent,
                             d.weightedLevelPercent};
    deviation.startSeconds = d.traceStartSeconds;
    deviation.endSeconds = d.traceEndSeconds;
    deviation.legend = false;
    deviation.lines = true;
    DrawDeviationPanel(cr, deviation, l.deviation);
}

void DrawSpeedError(cairo_t* cr, const Display& d, const InstrumentLayout& l,
                    const CursorReadout& cursor) {
    const char* title = d.summary ? "Speed error along the input, second by second"
                                  : "Speed error over the session, second by second";
    DrawTitle(cr, l.speedErrorTitle, title);
    if (cursor.panel == CursorReadout::Panel::kSpeedError)
        DrawCursorText(cr, l.speedErrorTitle, title, cursor.text);
    else if (std::isfinite(d.speedErrorLinePercent) && !d.speedErrorLabel.empty())
        DrawLegend(cr, l.speedErrorTitle, title, {{d.speedErrorLabel, 0.1, 0.3, 0.05, true}});
    SelectSansFont(cr, false);
    if (!AnyFinite(d.speedError.low)) {
        DrawWaitingPanel(cr, l.speedError, WaitingText(d));
        return;
    }
    DrawSpeedErrorPanel(cr,
                        {d.speedError, d.speedErrorEndSeconds, d.speedErrorSpanStartSeconds,
                         d.speedErrorSpanSeconds, d.speedErrorLinePercent, "",
                         d.summary ? "time, s (shaded: the span read)" : "time, s"},
                        l.speedError);
}

// The spectrum's panel: beside the polar chart of a platter's fold, where there is one.
PanelRect SpectrumRect(const Display& d, const InstrumentLayout& l) {
    PanelRect spectrum = l.spectrum;
    if (d.revolution.rpm > 0.0 && !d.revolution.meanPercent.empty())
        spectrum.w -= l.spectrum.h + kGap;
    return spectrum;
}

bool Inside(const PanelRect& r, double x, double y) {
    return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

// The middle of an envelope's stretch at time t, NaN where there is none.
double ValueAt(const Envelope& e, double t) {
    if (!(e.stretchSeconds > 0.0)) return NAN;
    const double i = std::floor((t - e.startSeconds) / e.stretchSeconds);
    if (i < 0.0 || i >= static_cast<double>(e.low.size())) return NAN;
    const auto k = static_cast<size_t>(i);
    return (double{e.low[k]} + double{e.high[k]}) / 2.0;
}

// A signed value with decimals digits, one that rounds to zero as +0; a dash where none.
std::string SignedPercent(double value, int decimals) {
    if (!std::isfinite(value)) return "\u2013 %";
    return Format("%+.*f %%", decimals,
                  std::fabs(value) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : value);
}

// The readouts' parts are set apart as the status line's are.
constexpr const char* kApart = "  \u00b7  ";

}  // namespace

CursorReadout ReadoutAt(const Display& d, double width, double height, double x, double y) {
    const InstrumentLayout l = LayOutInstrument(width, height);
    CursorReadout readout;
    const PanelRect deviation = PanelFrame(l.deviation);
    const PanelRect spectrum = PanelFrame(SpectrumRect(d, l));
    const PanelRect speed = PanelFrame(l.speedError);
    if (Inside(deviation, x, y) && AnyFinite(d.unweighted.low)) {
        const double t0 = d.traceStartSeconds;
        const double t1 = std::max(t0 + 1e-3, d.traceEndSeconds);
        const double t = t0 + (x - deviation.x) / deviation.w * (t1 - t0);
        readout.panel = CursorReadout::Panel::kDeviation;
        readout.text = Format(t1 - t0 <= 10.0 ? "%.3f s" : "%.2f s", t);
        readout.text += kApart;
        readout.text += "weighted " + SignedPercent(ValueAt(d.weighted, t), 4);
        readout.text += kApart;
        readout.text += "unweighted " + SignedPercent(ValueAt(d.unweighted, t), 4);
    } else if (Inside(spectrum, x, y) && !d.spectrumHz.empty()) {
        // The axis of plot.cpp: 0.1 to 200 Hz, logarithmic.
        constexpr double kLowHz = 0.1, kHighHz = 200.0;
        const double hz = kLowHz * std::pow(kHighHz / kLowHz, (x - spectrum.x) / spectrum.w);
        const size_t n = std::min(d.spectrumHz.size(), d.spectrumPercent.size());
        size_t nearest = 0;
        for (size_t i = 1; i < n; ++i) {
            if (std::fabs(d.spectrumHz[i] - hz) < std::fabs(d.spectrumHz[nearest] - hz))
                nearest = i;
        }
        readout.panel = CursorReadout::Panel::kSpectrum;
        readout.text = Format("%.3g Hz", hz);
        readout.text += kApart;
        readout.text += PercentText(n > 0 ? d.spectrumPercent[nearest] : NAN);
    } else if (Inside(speed, x, y) && AnyFinite(d.speedError.low)) {
        // The axis of plot.cpp: from 0 to the end, at least 1 s.
        const double t = (x - speed.x) / speed.w * std::max(1.0, d.speedErrorEndSeconds);
        readout.panel = CursorReadout::Panel::kSpeedError;
        readout.text = Format("%.1f s", t);
        readout.text += kApart;
        readout.text += "speed error " + SignedPercent(ValueAt(d.speedError, t), 3);
    }
    return readout;
}

namespace {

// The three panels with their titles (strips `title` high), stacked from top to bottom in the
// strip from x, w wide: the deviation over 38 % of the panels' height, its spectrum over 35 %,
// the speed error below.
void LayOutCharts(InstrumentLayout& l, double x, double w, double top, double bottom,
                  double title) {
    const double panels = bottom - top - 3 * title;
    const double deviation = std::round(panels * 0.38);
    const double spectrum = std::round(panels * 0.35);
    l.deviationTitle = {x, top, w, title};
    l.deviation = {x, top + title, w, deviation};
    l.spectrumTitle = {x, l.deviation.y + l.deviation.h, w, title};
    l.spectrum = {x, l.spectrumTitle.y + title, w, spectrum};
    l.speedErrorTitle = {x, l.spectrum.y + l.spectrum.h, w, title};
    l.speedError = {x, l.speedErrorTitle.y + title, w, bottom - l.speedErrorTitle.y - title};
}

// The charts of layout l: the deviation, the spectrum (with a platter's polar chart beside it)
// and the speed error, with the cursor's text and line in the panel under the mouse.
void DrawCharts(cairo_t* cr, const Display& d, const InstrumentLayout& l,
                const CursorReadout& cursor, double mouseX) {
    DrawDeviation(cr, d, l, cursor);
    constexpr const char* kSpectrumTitle = "Spectrum of the deviation, its largest lines named";
    DrawTitle(cr, l.spectrumTitle, kSpectrumTitle);
    if (cursor.panel == CursorReadout::Panel::kSpectrum)
        DrawCursorText(cr, l.spectrumTitle, kSpectrumTitle, cursor.text);
    SelectSansFont(cr, false);
    // With a platter's fold, the polar chart of the revolution beside the spectrum, square (its
    // figures are among the readouts).
    const PanelRect spectrum = SpectrumRect(d, l);
    if (d.revolution.rpm > 0.0 && !d.revolution.meanPercent.empty()) {
        const double side = l.spectrum.h;
        const PanelRect polar{l.spectrum.x + l.spectrum.w - side, l.spectrum.y, side, side};
        cairo_save(cr);
        cairo_rectangle(cr, polar.x - 1, polar.y - 1, polar.w + 2, polar.h + 2);
        cairo_clip(cr);
        DrawRevolutionPanel(cr, d.revolution, polar.x, polar.y, polar.w, polar.h);
        cairo_restore(cr);
    }
    if (d.spectrumHz.empty())
        DrawWaitingPanel(cr, spectrum, WaitingText(d));
    else
        DrawSpectrumPanel(cr, {d.spectrumHz, d.spectrumPercent, d.lines}, spectrum);
    DrawSpeedError(cr, d, l, cursor);
    switch (cursor.panel) {
        case CursorReadout::Panel::kDeviation:
            DrawCursorLine(cr, l.deviation, mouseX);
            break;
        case CursorReadout::Panel::kSpectrum:
            DrawCursorLine(cr, spectrum, mouseX);
            break;
        case CursorReadout::Panel::kSpeedError:
            DrawCursorLine(cr, l.speedError, mouseX);
            break;
        case CursorReadout::Panel::kNone:
            break;
    }
}

}  // namespace

InstrumentLayout LayOutInstrument(double width, double height) {
    width = std::max(width, static_cast<double>(kInstrumentMinWidth));
    height = std::max(height, static_cast<double>(kInstrumentMinHeight));
    InstrumentLayout l;
    l.heading = {kMargin, kMargin / 2, width - 2 * kMargin, kHeadingHeight};
    const double top = l.heading.y + l.heading.h + kGap / 2;
    const double bottom = height - kMargin / 2;
    const double column = std::clamp(width * kColumnShare, kColumnMin, kColumnMax);
    l.bar = {kMargin, top, column, kBarHeight};
    l.readouts = {kMargin, top + kBarHeight + kGap / 2, column,
                  bottom - top - kBarHeight - kGap / 2};
    // The panels' own left inset holds their axis labels: it starts right of the column.
    const double x = kMargin + column;
    LayOutCharts(l, x, width - x - kMargin, top, bottom, kTitleHeight);
    return l;
}

InstrumentLayout LayOutPanels(double width, double height) {
    width = std::max(width, static_cast<double>(kPanelsMinWidth));
    height = std::max(height, static_cast<double>(kPanelsMinHeight));
    InstrumentLayout l;  // no heading, bar or readouts: empty rectangles
    // Narrower than this, a title and its legend do not share a line: each has its own.
    constexpr double kOneLineTitlesFrom = 640.0;
    const double title = width < kOneLineTitlesFrom ? 2 * kTitleHeight : kTitleHeight;
    LayOutCharts(l, 0.0, width - kMargin, kMargin / 2, height - kMargin / 2, title);
    return l;
}

void DrawInstrumentPanels(cairo_t* cr, const Display& d, double width, double height) {
    cairo_save(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    DrawCharts(cr, d, LayOutPanels(width, height), CursorReadout{},
               std::numeric_limits<double>::quiet_NaN());
    cairo_restore(cr);
}

void DrawInstrument(cairo_t* cr, const Display& d, double width, double height, double mouseX,
                    double mouseY) {
    const InstrumentLayout l = LayOutInstrument(width, height);
    const CursorReadout cursor = std::isfinite(mouseX) && std::isfinite(mouseY)
                                     ? ReadoutAt(d, width, height, mouseX, mouseY)
                                     : CursorReadout{};
    cairo_save(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    DrawHeading(cr, d, l.heading);

    // The left column on a faint ground, as an instrument's front panel.
    cairo_set_source_rgb(cr, 0.965, 0.97, 0.975);
    cairo_rectangle(cr, l.bar.x, l.bar.y, l.bar.w, l.readouts.y + l.readouts.h - l.bar.y);
    cairo_fill(cr);
    DrawBarMeterPanel(cr, d.bar, l.bar);
    DrawReadoutsPanel(cr, d.readouts, l.readouts);

    DrawCharts(cr, d, l, cursor, mouseX);
    cairo_restore(cr);
}

}  // namespace wobblemeter
