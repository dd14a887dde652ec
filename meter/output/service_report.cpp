// The service report's page, laid out in PDF points (1/72 inch) and written by cairo's PDF
// surface, which embeds the subset of every font it uses; the panels are the plot's own, scaled.
#include "meter/output/service_report.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "meter/output/font.h"
#include "meter/output/plot_axis.h"
#include "meter/output/plot_panels.h"
#include "meter/output/report.h"
#include "meter/output/revolution_plot.h"
#include "sys/clock.h"
#include "sys/output_file.h"

namespace wobblemeter {

namespace {

// Paper sizes, points: ISO 216 A4 (210 x 297 mm) and US Letter (8.5 x 11 in).
constexpr double kA4Width = 595.276, kA4Height = 841.890;
constexpr double kLetterWidth = 612.0, kLetterHeight = 792.0;
// The margin all round, points (half an inch and a little: within every printer's reach).
constexpr double kMargin = 40.0;
// The panels' units (the plot's pixels) per point: their 11-unit labels print at 6.6 points.
constexpr double kPanelScale = 0.6;
// The most decimals a figure is given.
constexpr int kMostDecimals = 9;

// Territories whose locales print on Letter: the United States and Canada, Mexico, Central
// America and the Caribbean that follow them, Chile, Colombia, Venezuela, the Philippines.
constexpr std::array<const char*, 14> kLetterTerritories = {
    "US", "CA", "MX", "PR", "GT", "SV", "NI", "CR", "PA", "DO", "CL", "CO", "VE", "PH"};

}  // namespace

Paper PaperOfLocale(const std::string& locale) {
    const size_t underscore = locale.find('_');
    if (underscore == std::string::npos) return Paper::kA4;
    const size_t end = locale.find_first_of(".@", underscore);
    const std::string territory = locale.substr(underscore + 1, end - underscore - 1);
    for (const char* letter : kLetterTerritories)
        if (territory == letter) return Paper::kLetter;
    return Paper::kA4;
}

Paper PaperFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_PAPER", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return PaperOfLocale(value);
    }
    return Paper::kA4;
}

namespace {

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool ParsePaper(const std::string& text, Paper& paper) {
    const std::string name = Lowered(text);
    if (name == "a4")
        paper = Paper::kA4;
    else if (name == "letter")
        paper = Paper::kLetter;
    else
        return false;
    return true;
}

bool IsReportName(const std::string& path) {
    constexpr size_t kExtension = 4;  // ".pdf"
    return path.size() > kExtension && Lowered(path.substr(path.size() - kExtension)) == ".pdf";
}

std::string ReportTime() {
    const std::time_t now = std::time(nullptr);
    const std::tm local = LocalTime(now);
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M %Z", &local) == 0) return {};
    return text;
}

std::string SignificantPercent(double value, int minDecimals) {
    if (!std::isfinite(value)) return "unknown";
    int decimals = minDecimals;
    if (value != 0.0) {
        // Three significant digits: the first is at 10^floor(log10 |value|).
        const int first = static_cast<int>(std::floor(std::log10(std::fabs(value))));
        decimals = std::clamp(2 - first, minDecimals, kMostDecimals);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

namespace {

// A signed figure ("+0.0123", "-0.00451"), "+0.000" where it rounds to zero.
std::string SignedFigure(double value) {
    std::string text = SignificantPercent(value, 3);
    if (std::strspn(text.c_str(), "-0.") == text.size()) text = SignificantPercent(0.0, 3);
    return text[0] == '-' ? text : "+" + text;
}

// One line of the readings' table.
struct Row {
    std::string name, standard, value, meaning;
};

std::string Percent(double value) {
    return std::isfinite(value) ? SignificantPercent(value) + " %" : "unknown";
}

// The two-sigma, quasi-peak and RMS figures, named as the meter's window names them.
void AddStandardRows(std::vector<Row>& rows, const MeterResult& r) {
    rows.push_back({"Weighted two-sigma", "AES6 / IEC 60386", Percent(r.weightedPeakPercent),
                    "Speed variation as the ear weighs it (most at 4 Hz), exceeded 5 % of the "
                    "time: today's usual figure. Lower is better."});
    rows.push_back({"Unweighted two-sigma", "AES6 / IEC 60386, 0.2\u2013200 Hz",
                    Percent(r.unweightedPeakPercent),
                    "All speed variation from 0.2 to 200 Hz, unweighted: slow wobbles count in "
                    "full."});
    rows.push_back({"Weighted quasi-peak", "DIN 45507 / IEC 386",
                    Percent(r.weightedQuasiPeakPercent),
                    "What an older meter's needle shows (zero-to-peak): the figure decks of the "
                    "1970s to 90s were specified in."});
    rows.push_back({"Weighted RMS", "JIS / NAB", Percent(r.weightedRmsPercent),
                    "The weighted variation's root-mean-square: the Japanese and American figure, "
                    "the smallest of the three."});
    rows.push_back({"Wow", "JIS / NAB, RMS below 4 Hz", Percent(r.wowRmsPercent),
                    "The slow part of it: heard as a waver of pitch on held notes."});
    rows.push_back({"Flutter", "JIS / NAB, RMS above 4 Hz", Percent(r.flutterRmsPercent),
                    "The fast part of it: heard as roughness, a watery sound."});
}

// The speed: drift, speed error, carrier and modulation; what the input lost.
void AddSpeedRows(std::vector<Row>& rows, const MeterResult& r) {
    std::string drift = "How far the speed wandered slowly over the recording";
    if (std::isfinite(r.speedErrorLowPercent))
        drift += " (speed error " + SignedFigure(r.speedErrorLowPercent) + " % to " +
                 SignedFigure(r.speedErrorHighPercent) + " %)";
    rows.push_back({"Drift", "below 0.5 Hz, peak-to-peak", Percent(r.driftPercent), drift + "."});
    const bool nominal = std::isfinite(r.speedErrorPercent);
    rows.push_back({"Speed error",
                    nominal ? Format("against %.0f Hz", r.nominalHz) : "no nominal tone",
                    nominal ? SignedFigure(r.speedErrorPercent) + " %" : "unknown",
                    "How much fast (+) or slow (-) the machine runs on the average."});
    rows.push_back({"Carrier", "the test tone", Format("%.3f Hz", r.carrierHz),
                    "The tone's mean frequency as played back."});
    rows.push_back({"Modulation", "largest line of the spectrum",
                    std::isfinite(r.modulationHz) ? Format("%.3f Hz", r.modulationHz) : "none",
                    "The variation's strongest rate: it points at the part that causes it (a "
                    "capstan, a pulley, a roller)."});
    std::string lost = Format("%d", r.dropouts);
    if (r.overruns > 0) lost += Format(" (and %lld frames lost)", r.lostFrames);
    rows.push_back({"Drop-outs", "gaps in the tone", lost,
                    "Bridged and left out of the readings; many point at a worn tape or dirty "
                    "heads."});
}

// With a platter speed: the once-per-revolution part and what remains.
void AddPlatterRows(std::vector<Row>& rows, const RevolutionReading& v) {
    if (!(v.rpm > 0.0)) return;
    rows.push_back({"Once per revolution", PlatterName(v.rpm) + ", peak", Percent(v.oncePercent),
                    "The part that repeats every turn of the platter: an off-centre record or "
                    "hole, a bent spindle."});
    rows.push_back({"Remaining", "unweighted RMS without it", Percent(v.remainingRmsPercent),
                    "What the platter's turn does not explain: the drive, belt and bearing."});
}

std::vector<Row> RowsOf(const MeterResult& r) {
    std::vector<Row> rows;
    AddStandardRows(rows, r);
    AddSpeedRows(rows, r);
    AddPlatterRows(rows, r.revolution);
    return rows;
}

// The page is laid out in points: the font sizes, line heights and gaps below are points, the
// table's and panels' columns fractions of the width between the margins.

// The page's drawing: a cursor down the page and the column of text it writes in.
struct Page {
    cairo_t* cr;
    double width, height;
    double y = kMargin;
    double Left() const { return kMargin; }
    double Right() const { return width - kMargin; }
};

void SetFont(cairo_t* cr, double size, bool bold = false, double grey = 0.05) {
    SelectSansFont(cr, bold);
    cairo_set_font_size(cr, size);
    cairo_set_source_rgb(cr, grey, grey, grey);
}

double TextWidth(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    return e.x_advance;
}

// text broken at spaces into lines no wider than width in the current font (a word wider than
// that stays whole on its own line).
std::vector<std::string> Wrapped(cairo_t* cr, const std::string& text, double width) {
    std::vector<std::string> lines;
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        const std::string longer = line.empty() ? word : line + " " + word;
        if (!line.empty() && TextWidth(cr, longer) > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = longer;
        }
        at = end + 1;
    }
    if (!line.empty() || lines.empty()) lines.push_back(line);
    return lines;
}

// The report's heading, and the version at the right.
void DrawHeading(Page& p, const ReportDetails& d) {
    SetFont(p.cr, 17.0, true);
    PlotText(p.cr, p.Left(), p.y + 15.0, "Wow and flutter report");
    SetFont(p.cr, 8.5, false, 0.35);
    PlotText(p.cr, p.Right(), p.y + 15.0, d.version.c_str(), 1.0);
    p.y += 32.0;
}

// The label and its value (wrapped) on a line of the details; the label's column is 70 points.
// At most kMostDetailLines lines, the last ending in "…" where more would follow, so that a long
// note leaves the panels their room.
void DetailLine(Page& p, const char* label, const std::string& value) {
    constexpr double kLabelWidth = 70.0, kLine = 11.5;
    constexpr size_t kMostDetailLines = 3;
    SetFont(p.cr, 8.5, true, 0.3);
    PlotText(p.cr, p.Left(), p.y, label);
    SetFont(p.cr, 8.5);
    std::vector<std::string> lines = Wrapped(p.cr, value, p.Right() - p.Left() - kLabelWidth);
    if (lines.size() > kMostDetailLines) {
        lines.resize(kMostDetailLines);
        lines.back() += " \u2026";
    }
    for (const std::string& line : lines) {
        PlotText(p.cr, p.Left() + kLabelWidth, p.y, line.c_str());
        p.y += kLine;
    }
}

// A name (a path, a device) on one line of the details: control characters escaped, and one of
// more than 2 * kKeep + 1 characters shortened in the middle.
std::string DetailName(const std::string& name) {
    constexpr size_t kKeep = 45;  // about 90 characters fill the line at 8.5 points
    return ElidedName(QuotedName(name), kKeep);
}

// What was measured, when, with what, and the note.
void DrawDetails(Page& p, const MeterResult& r, const ReportDetails& d) {
    if (!d.device.empty()) {
        DetailLine(p, "Device", DetailName(d.device));
        if (!d.file.empty()) DetailLine(p, "Recorded to", DetailName(d.file));
    } else {
        DetailLine(p, "Recording", DetailName(d.file));
    }
    DetailLine(p, "Audio",
               Format("%.2f s at %d Hz, channel %d of %d; readings over %.2f s from %.2f s",
                      r.durationSeconds, r.sampleRate, r.channel, std::max(r.channels, r.channel),
                      r.measuredSeconds, r.startSeconds));
    DetailLine(p, "Date", d.when);
    DetailLine(p, "Meter", d.version);
    if (!d.note.empty()) DetailLine(p, "Note", QuotedName(d.note));
    p.y += 6.0;
}

// The table's columns, from the page's left: the value's right end, what it means and how wide.
struct Columns {
    double value, meaning, meaningWidth;
};

Columns ColumnsOf(const Page& p) {
    const double w = p.Right() - p.Left();
    return {p.Left() + 0.52 * w, p.Left() + 0.56 * w, 0.44 * w};
}

void DrawRule(Page& p) {
    cairo_set_source_rgb(p.cr, 0.7, 0.7, 0.7);
    cairo_set_line_width(p.cr, 0.5);
    cairo_move_to(p.cr, p.Left(), p.y);
    cairo_line_to(p.cr, p.Right(), p.y);
    cairo_stroke(p.cr);
}

// The readings, a row each: the name with its standard below it, the value, and what it means
// (wrapped, smaller).
void DrawReadings(Page& p, const MeterResult& r) {
    constexpr double kRowLine = 10.5, kLine = 8.5, kRowSpace = 4.0;
    const Columns c = ColumnsOf(p);
    SetFont(p.cr, 7.5, true, 0.4);
    p.y += 10.0;
    PlotText(p.cr, p.Left(), p.y, "Reading and standard");
    PlotText(p.cr, c.value, p.y, "Value", 1.0);
    PlotText(p.cr, c.meaning, p.y, "What it means");
    p.y += 4.0;
    DrawRule(p);
    for (const Row& row : RowsOf(r)) {
        p.y += kRowLine;
        SetFont(p.cr, 9.0, true);
        PlotText(p.cr, p.Left(), p.y, row.name.c_str());
        SetFont(p.cr, 7.5, false, 0.3);
        PlotText(p.cr, p.Left(), p.y + kLine, row.standard.c_str());
        SetFont(p.cr, 9.5, true);
        PlotText(p.cr, c.value, p.y, row.value.c_str(), 1.0);
        SetFont(p.cr, 7.0, false, 0.3);
        const std::vector<std::string> lines = Wrapped(p.cr, row.meaning, c.meaningWidth);
        for (size_t i = 0; i < lines.size(); ++i)
            PlotText(p.cr, c.meaning, p.y + static_cast<double>(i) * kLine - 0.5, lines[i].c_str());
        p.y += static_cast<double>(std::max<size_t>(lines.size(), 2) - 1) * kLine + kRowSpace;
        DrawRule(p);
    }
    p.y += 12.0;
}

// A panel's title above it, then the panel drawn by draw into the rectangle at x, y of w by h
// points, scaled from the plot's units.
template <typename DrawIn>
void ScaledPanel(cairo_t* cr, const char* title, double x, double y, double w, double h,
                 DrawIn draw) {
    constexpr double kTitle = 12.0;
    SetFont(cr, 8.5, true, 0.2);
    PlotText(cr, x, y + 8.0, title);
    cairo_save(cr);
    cairo_translate(cr, x, y + kTitle);
    cairo_scale(cr, kPanelScale, kPanelScale);
    SelectSansFont(cr, false);
    draw(PanelRect{0.0, 0.0, w / kPanelScale, (h - kTitle) / kPanelScale});
    cairo_restore(cr);
}

// The panels in what is left of the page: the deviation across, then the spectrum across, or,
// with a platter, the deviation and spectrum side by side and the turntable's panel across.
void DrawPanels(Page& p, const MeterResult& r) {
    constexpr double kGap = 10.0, kFooter = 14.0;
    cairo_t* cr = p.cr;
    const double w = p.Right() - p.Left();
    const double room = p.height - kMargin - kFooter - p.y;
    const DeviationPanel deviation = DeviationPanelOf(r);
    const SpectrumPanel spectrum = SpectrumPanelOf(r);
    const auto drawDeviation = [&](PanelRect b) { DrawDeviationPanel(cr, deviation, b); };
    const auto drawSpectrum = [&](PanelRect b) { DrawSpectrumPanel(cr, spectrum, b); };
    const char* deviationTitle =
        "Deviation over time (blue unweighted, red weighted; dashed: "
        "two-sigma)";
    const char* spectrumTitle = "Spectrum of the deviation";
    if (!HasRevolutionPanel(r)) {
        const double h = (room - kGap) / 2.0;
        ScaledPanel(cr, deviationTitle, p.Left(), p.y, w, h, drawDeviation);
        ScaledPanel(cr, spectrumTitle, p.Left(), p.y + h + kGap, w, h, drawSpectrum);
        return;
    }
    // The turntable's panel keeps its own proportions: its height in units is the plot's.
    const double turntable = std::min(room / 2.0, kRevolutionPanelHeight * kPanelScale + 12.0);
    const double h = room - turntable - kGap, half = (w - kGap) / 2.0;
    ScaledPanel(cr, "Deviation over time", p.Left(), p.y, half, h, drawDeviation);
    ScaledPanel(cr, spectrumTitle, p.Left() + half + kGap, p.y, half, h, drawSpectrum);
    ScaledPanel(cr, "Deviation per revolution", p.Left(), p.y + h + kGap, w, turntable,
                [&](PanelRect b) { DrawRevolutionPanel(cr, r.revolution, b.x, b.y, b.w, b.h); });
}

void DrawFooter(Page& p, const ReportDetails& d) {
    SetFont(p.cr, 7.0, false, 0.45);
    const std::string text = d.version + " \u00b7 wow and flutter in % of the tone's frequency";
    PlotText(p.cr, p.Left(), p.height - kMargin, text.c_str());
    PlotText(p.cr, p.Right(), p.height - kMargin, d.when.c_str(), 1.0);
}

}  // namespace

std::string RenderReport(const MeterResult& result, const ReportDetails& details) {
    const bool letter = details.paper == Paper::kLetter;
    const double width = letter ? kLetterWidth : kA4Width;
    const double height = letter ? kLetterHeight : kA4Height;
    std::string bytes;
    cairo_surface_t* surface =
        cairo_pdf_surface_create_for_stream(AppendToString, &bytes, width, height);
    const std::string title = "Wow and flutter report: " +
                              QuotedName(details.device.empty() ? details.file : details.device);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, title.c_str());
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, details.version.c_str());
    cairo_t* cr = cairo_create(surface);
    Page page{cr, width, height};
    DrawHeading(page, details);
    DrawDetails(page, result, details);
    DrawReadings(page, result);
    DrawPanels(page, result);
    DrawFooter(page, details);
    cairo_show_page(cr);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        throw MeterError(Msg::kCannotDrawReport, cairo_status_to_string(status));
    return bytes;
}

void WriteReport(const MeterResult& result, const ReportDetails& details, const std::string& path) {
    FILE* file = OpenOutputFile(path.c_str());
    if (file == nullptr)
        throw MeterError(Msg::kCannotWriteReport, path.c_str(), std::strerror(errno));
    std::string bytes;
    try {
        bytes = RenderReport(result, details);
    } catch (...) {
        DiscardOutputFile(file);
        throw;
    }
    errno = 0;
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    const int error = errno;  // why the write failed, before the close can change it
    if (!written) {
        DiscardOutputFile(file);
        throw MeterError(Msg::kCannotWriteReport, path.c_str(),
                         error != 0 ? std::strerror(error) : Text(Msg::kWriteError).c_str());
    }
    if (!CommitOutputFile(file))
        throw MeterError(Msg::kCannotWriteReport, path.c_str(), std::strerror(errno));
}

}  // namespace wobblemeter
