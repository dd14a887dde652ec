// The instrument face laid out at any size, and drawn into an image of our own as the window
// shows it: the heading and each panel's title are drawn in their bands.
#include "meterwin/instrument.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>

#include "meter/message.h"
#include "meter/output/font.h"
#include "meterwin/icon.h"

namespace wobblemeter {
namespace {

// Pixels of rect darker than mid-grey (text is drawn near black on white).
int DarkPixels(cairo_surface_t* surface, const PanelRect& rect) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    int dark = 0;
    for (int y = static_cast<int>(rect.y); y < static_cast<int>(rect.y + rect.h); ++y) {
        for (int x = static_cast<int>(rect.x); x < static_cast<int>(rect.x + rect.w); ++x) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, data + y * stride + x * 4, sizeof pixel);
            const int green = (pixel >> 8) & 0xff;  // ARGB32, native order
            if (green < 128) ++dark;
        }
    }
    return dark;
}

// A live session 20 s in, measuring a 3150 Hz tone at 0.0997 %.
SessionSnapshot MeasuringSession() {
    SessionSnapshot s;
    s.status = SessionStatus::kRunning;
    s.source = "fake";
    s.sampleRate = 44100;
    s.seconds = 20.0;
    s.latest.state = MeterState::kMeasuring;
    s.latest.carrierHz = 3150.0;
    s.latest.weightedPeakPercent = 0.0997;
    return s;
}

TEST(Instrument, TheHeadingAndEveryPanelsTitleAreDrawnInTheirBands) {
    constexpr int kWidth = 1000, kHeight = 700;
    const SessionSnapshot s = MeasuringSession();
    for (const bool summary : {false, true}) {
        SCOPED_TRACE(summary);
        Display d = DisplayOfSnapshot(s, 0.3, std::numeric_limits<double>::quiet_NaN());
        d.summary = summary;
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
        cairo_t* cr = cairo_create(surface);
        DrawInstrument(cr, d, kWidth, kHeight);
        cairo_destroy(cr);
        const InstrumentLayout l = LayOutInstrument(kWidth, kHeight);
        EXPECT_GT(DarkPixels(surface, l.heading), 100);
        EXPECT_GT(DarkPixels(surface, l.deviationTitle), 100);
        EXPECT_GT(DarkPixels(surface, l.spectrumTitle), 100);
        EXPECT_GT(DarkPixels(surface, l.speedErrorTitle), 100);
        cairo_surface_destroy(surface);
    }
}

// At any size (below the smallest, laid out at the smallest): the right column holds each
// title above its panel, one after another without gap or overlap down to the bottom margin,
// the deviation the tallest; the left column holds the bar above the readouts.
TEST(Instrument, PanelsStackInTheRightColumnTheDeviationTallest) {
    for (const auto& [width, height] : {std::pair{900, 600}, {1600, 1000}, {400, 300}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const InstrumentLayout l = LayOutInstrument(width, height);
        const double bottom = std::max(height, kInstrumentMinHeight);
        const PanelRect column[] = {l.deviationTitle, l.deviation,       l.spectrumTitle,
                                    l.spectrum,       l.speedErrorTitle, l.speedError};
        EXPECT_GE(column[0].y, l.heading.y + l.heading.h);
        for (size_t i = 1; i < std::size(column); ++i)
            EXPECT_DOUBLE_EQ(column[i].y, column[i - 1].y + column[i - 1].h) << i;
        EXPECT_LE(l.speedError.y + l.speedError.h, bottom);
        EXPECT_GT(l.speedError.y + l.speedError.h, bottom - 20.0);
        EXPECT_GT(l.deviation.h, l.spectrum.h);
        EXPECT_GT(l.deviation.h, l.speedError.h);
        EXPECT_GT(l.speedError.h, 80.0);
        EXPECT_GE(l.deviation.x, l.bar.x + l.bar.w);
        EXPECT_GE(l.readouts.y, l.bar.y + l.bar.h);
    }
}

// Pixels of rect in a colour near red, green, blue (0 ... 255 each, within tolerance).
int PixelsOf(cairo_surface_t* surface, const PanelRect& rect, int red, int green, int blue,
             int tolerance) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    int count = 0;
    for (int y = static_cast<int>(rect.y); y < static_cast<int>(rect.y + rect.h); ++y) {
        for (int x = static_cast<int>(rect.x); x < static_cast<int>(rect.x + rect.w); ++x) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, data + y * stride + x * 4, sizeof pixel);
            const int r = (pixel >> 16) & 0xff, g = (pixel >> 8) & 0xff, b = pixel & 0xff;
            if (std::abs(r - red) <= tolerance && std::abs(g - green) <= tolerance &&
                std::abs(b - blue) <= tolerance)
                ++count;
        }
    }
    return count;
}

// The face (or the panels alone) drawn into a new image of width x height.
cairo_surface_t* Drawn(const Display& d, int width, int height, bool panelsAlone = false) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    if (panelsAlone)
        DrawInstrumentPanels(cr, d, width, height);
    else
        DrawInstrument(cr, d, width, height);
    cairo_destroy(cr);
    return surface;
}

// The panels alone (the browser's page shows the rest): from the top margin to the bottom one
// over the whole width, at any size down to the smallest (below it, laid out at the smallest);
// drawn, each title in its band, a narrow strip's legend on a line below its title.
TEST(Instrument, ThePanelsAloneFillTheSurfaceWithTheirTitlesAndNoReadouts) {
    for (const auto& [width, height] : {std::pair{390, 480}, {1200, 700}, {200, 200}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const InstrumentLayout l = LayOutPanels(width, height);
        const double w = std::max(width, kPanelsMinWidth), h = std::max(height, kPanelsMinHeight);
        const PanelRect column[] = {l.deviationTitle, l.deviation,       l.spectrumTitle,
                                    l.spectrum,       l.speedErrorTitle, l.speedError};
        EXPECT_LT(column[0].y, 10.0);
        for (size_t i = 1; i < std::size(column); ++i)
            EXPECT_DOUBLE_EQ(column[i].y, column[i - 1].y + column[i - 1].h) << i;
        EXPECT_LE(l.speedError.y + l.speedError.h, h);
        EXPECT_GT(l.speedError.y + l.speedError.h, h - 10.0);
        EXPECT_DOUBLE_EQ(l.deviation.x, 0.0);
        EXPECT_GT(l.deviation.w, w - 20.0);
        EXPECT_GT(l.deviation.h, l.spectrum.h);
        EXPECT_EQ(l.readouts.w * l.readouts.h + l.bar.w * l.bar.h + l.heading.w * l.heading.h, 0.0);
        // A phone's: a title and its legend on lines of their own; a wide screen's: one line.
        EXPECT_DOUBLE_EQ(l.deviationTitle.h, width < 640 ? 40.0 : 20.0);
    }
    const SessionSnapshot s = MeasuringSession();
    const Display d = DisplayOfSnapshot(s, 0.3, std::numeric_limits<double>::quiet_NaN());
    constexpr int kWidth = 340, kHeight = 500;
    cairo_surface_t* surface = Drawn(d, kWidth, kHeight, true);
    const InstrumentLayout l = LayOutPanels(kWidth, kHeight);
    EXPECT_GT(DarkPixels(surface, l.deviationTitle), 100);
    EXPECT_GT(DarkPixels(surface, l.spectrumTitle), 100);
    EXPECT_GT(DarkPixels(surface, l.speedErrorTitle), 100);
    // The longest title set small enough to end inside its strip, not cut at the surface's edge.
    const PanelRect right{kWidth - 8.0, l.spectrumTitle.y, 8.0, l.spectrumTitle.h};
    EXPECT_EQ(DarkPixels(surface, right), 0);
    // The legend's weighted level, in its red, below the title, never across it.
    const PanelRect strip = l.deviationTitle;
    EXPECT_EQ(PixelsOf(surface, {strip.x, strip.y, strip.w, strip.h / 2}, 179, 38, 0, 40), 0);
    EXPECT_GT(
        PixelsOf(surface, {strip.x, strip.y + strip.h / 2, strip.w, strip.h / 2}, 179, 38, 0, 40),
        20);
    cairo_surface_destroy(surface);
}

// Rows of rect holding a pixel near the colour.
int RowsOf(cairo_surface_t* surface, const PanelRect& rect, int red, int green, int blue) {
    int rows = 0;
    for (int y = static_cast<int>(rect.y); y < static_cast<int>(rect.y + rect.h); ++y) {
        if (PixelsOf(surface, {rect.x, static_cast<double>(y), rect.w, 1.0}, red, green, blue, 30) >
            0)
            ++rows;
    }
    return rows;
}

// The first column of rect holding a pixel near the colour, and one past the last (0, 0: none).
std::pair<int, int> ColumnsOf(cairo_surface_t* surface, const PanelRect& rect, int red, int green,
                              int blue) {
    int first = 0, last = 0;
    for (int x = static_cast<int>(rect.x); x < static_cast<int>(rect.x + rect.w); ++x) {
        if (PixelsOf(surface, {static_cast<double>(x), rect.y, 1.0, rect.h}, red, green, blue,
                     40) == 0)
            continue;
        if (last == 0) first = x;
        last = x + 1;
    }
    return {first, last};
}

// A legend on a line of its own keeps its type (as wide as where it has room to spare), and is
// set no smaller than 9 where it must shrink (three quarters of its 12); beside its title, in
// the window at its narrowest, it ends clear of the title.
TEST(Instrument, ALegendKeepsItsTypeOnALineOfItsOwnAndShrinksNoFurtherThanNine) {
    Display d = BlankDisplay(WindowState::kFileRead, "take.wav", 0.3);
    d.unweightedLevelPercent = 0.0501;
    d.weightedLevelPercent = 0.0302;
    // The legend's extent: from the unweighted swatch (0.1, 0.3, 0.8) to the weighted text's
    // end (0.7, 0.15, 0).
    const auto legend = [&](int width, int height, bool panels) {
        cairo_surface_t* surface = Drawn(d, width, height, panels);
        const PanelRect strip = panels ? LayOutPanels(width, height).deviationTitle
                                       : LayOutInstrument(width, height).deviationTitle;
        const auto blue = ColumnsOf(surface, strip, 25, 76, 204);
        const auto red = ColumnsOf(surface, strip, 179, 38, 0);
        const auto title = ColumnsOf(surface, strip, 38, 38, 38);
        cairo_surface_destroy(surface);
        return std::tuple{red.second - blue.first, blue.first, title.second};
    };
    const auto [wide, wideStart, wideTitleEnd] = legend(1200, 700, true);
    EXPECT_GT(wide, 200);
    EXPECT_NEAR(std::get<0>(legend(600, 700, true)), wide, 2.0);
    EXPECT_GT(std::get<0>(legend(340, 500, true)), 0.7 * wide);
    const auto [narrowest, start, titleEnd] = legend(900, 600, false);
    EXPECT_GT(start, titleEnd);
    // Where it fits, the title is set in its own bold 12 (its ink ends within a pixel or two of
    // the text's advance from the panel's inset).
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    SelectSansFont(cr, true);
    cairo_set_font_size(cr, 12.0);
    cairo_text_extents_t e;
    cairo_text_extents(cr, d.deviationTitle.c_str(), &e);
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    EXPECT_NEAR(wideTitleEnd, kPanelInsetLeft + e.x_advance, 3.0);
}

// A heading too long for its band shows its end (a file's name) after an ellipsis, whatever its
// beginning: two names that differ only in their first letter look the same.
TEST(Instrument, ALongHeadingKeepsItsEndWhateverItsStart) {
    constexpr int kWidth = 1000, kHeight = 700;
    const std::string tail(99, 'm');
    cairo_surface_t* one =
        Drawn(BlankDisplay(WindowState::kFileRead, "W" + tail, 0.3), kWidth, kHeight);
    cairo_surface_t* other =
        Drawn(BlankDisplay(WindowState::kFileRead, "m" + tail, 0.3), kWidth, kHeight);
    const PanelRect band = LayOutInstrument(kWidth, kHeight).heading;
    EXPECT_GT(DarkPixels(one, band), 1000);  // drawn: the band is mostly text
    cairo_surface_flush(one);
    cairo_surface_flush(other);
    const int stride = cairo_image_surface_get_stride(one);
    int differing = 0;
    for (int y = static_cast<int>(band.y); y < static_cast<int>(band.y + band.h); ++y)
        differing += std::memcmp(cairo_image_surface_get_data(one) + y * stride,
                                 cairo_image_surface_get_data(other) + y * stride,
                                 static_cast<size_t>(stride)) != 0;
    EXPECT_EQ(differing, 0);
    cairo_surface_destroy(one);
    cairo_surface_destroy(other);
}

// The levels are named in the title's strip, in their colour: inside the panel the unweighted
// level's colour is only on its two dashed lines, not in a legend over the traces; the speed
// error's mean likewise.
TEST(Instrument, LegendsStandInTheTitleStripNotOverTheTraces) {
    constexpr int kWidth = 960, kHeight = 640;
    Display d = BlankDisplay(WindowState::kFileRead, "take.wav", 0.3);
    d.summary = true;
    for (Envelope* e : {&d.unweighted, &d.weighted}) {
        e->startSeconds = 0.0;
        e->stretchSeconds = 0.02;
        e->low.assign(1000, 0.0f);
        e->high.assign(1000, 0.0f);
    }
    d.traceEndSeconds = 20.0;
    d.unweightedLevelPercent = 0.0501;
    d.weightedLevelPercent = 0.0302;
    d.speedError.startSeconds = 0.0;
    d.speedError.stretchSeconds = 1.0;
    d.speedError.low.assign(20, 0.1f);
    d.speedError.high.assign(20, 0.1f);
    d.speedErrorEndSeconds = 20.0;
    d.speedErrorLinePercent = 0.1;
    d.speedErrorLabel = "mean over the span read +0.100 %";
    cairo_surface_t* surface = Drawn(d, kWidth, kHeight);
    const InstrumentLayout l = LayOutInstrument(kWidth, kHeight);
    // The unweighted level's colour (plot.cpp): 0.1, 0.3, 0.8.
    EXPECT_GT(PixelsOf(surface, l.deviationTitle, 25, 76, 204, 40), 20);
    EXPECT_LE(RowsOf(surface, PanelFrame(l.deviation), 25, 76, 204), 6);
    // The mean's colour: 0.1, 0.3, 0.05; its one dashed line.
    EXPECT_GT(PixelsOf(surface, l.speedErrorTitle, 25, 76, 13, 40), 20);
    EXPECT_LE(RowsOf(surface, PanelFrame(l.speedError), 25, 76, 13), 3);
    cairo_surface_destroy(surface);
}

// Before anything is measured the panels show no axes (none to scale them: no tick labels
// left of the frames) but, in their middle, what they wait for; the speed error waits for a
// nominal, not against 0 Hz.
TEST(Instrument, EmptyPanelsSayWhatTheyWaitFor) {
    constexpr int kWidth = 960, kHeight = 640;
    for (const WindowState state :
         {WindowState::kIdle, WindowState::kError, WindowState::kWaitingForTone}) {
        SCOPED_TRACE(StateName(state));
        cairo_surface_t* surface = Drawn(BlankDisplay(state, "", 0.3), kWidth, kHeight);
        const InstrumentLayout l = LayOutInstrument(kWidth, kHeight);
        for (const PanelRect& panel : {l.deviation, l.spectrum, l.speedError}) {
            const PanelRect frame = PanelFrame(panel);
            EXPECT_EQ(DarkPixels(surface, {panel.x, panel.y, kPanelInsetLeft, panel.h}), 0);
            EXPECT_EQ(DarkPixels(surface,
                                 {frame.x, frame.y + frame.h + 2, frame.w, panel.h - frame.h - 2}),
                      0);
            EXPECT_GT(
                PixelsOf(surface, {frame.x + 2, frame.y + frame.h / 4, frame.w - 4, frame.h / 2},
                         115, 115, 115, 60),
                50);
        }
        cairo_surface_destroy(surface);
    }
    // In the status line's words.
    EXPECT_EQ(WaitingText(BlankDisplay(WindowState::kIdle, "", 0.3)), Text(Msg::kWindowIdle));
    EXPECT_EQ(WaitingText(BlankDisplay(WindowState::kError, "Live: pulse, channel 1", 0.3)),
              Text(Msg::kWindowIdle));
    EXPECT_EQ(WaitingText(BlankDisplay(WindowState::kSettling, "Live: pulse", 0.3)),
              "tone present, settling: readings after 8 s of tone");
    EXPECT_EQ(WaitingText(BlankDisplay(WindowState::kStarting, "Live: pulse, channel 1", 0.3)),
              "Opening pulse, channel 1");
    EXPECT_EQ(WaitingText(BlankDisplay(WindowState::kReadingFile, "take.wav", 0.3)),
              "Reading take.wav");
}

}  // namespace
}  // namespace wobblemeter

namespace wobblemeter {
namespace {

// A 4 Hz swing of 0.5 % seen over its last second, 50 points of 20 ms each: drawn as a line
// that climbs and falls column by column, not as steps flat over each point's 14 pixels.
TEST(Instrument, ASwingSeenCloseIsDrawnAsALineNotAsSteps) {
    constexpr int kWidth = 1000, kHeight = 700;
    Display d = BlankDisplay(WindowState::kFileRead, "take.wav", 0.3);
    d.summary = true;
    constexpr double kStretch = 0.02, kHz = 4.0, kPercent = 0.5;
    for (Envelope* e : {&d.unweighted, &d.weighted}) {
        e->stretchSeconds = kStretch;
        for (int i = 0; i < 1000; ++i) {
            // The lowest and highest of the swing over the stretch, from 20 values in it.
            float low = 1e9f, high = -1e9f;
            for (int k = 0; k <= 20; ++k) {
                const double t = (i + k / 20.0) * kStretch;
                const auto v =
                    static_cast<float>(kPercent * std::sin(2 * std::numbers::pi * kHz * t));
                low = std::min(low, v);
                high = std::max(high, v);
            }
            e->low.push_back(low);
            e->high.push_back(high);
        }
    }
    d.traceFirstSeconds = 0.0;
    d.traceLastSeconds = 20.0;
    d.unweightedLevelPercent = d.weightedLevelPercent = kPercent;
    SetDeviationSpan(d, 1.0);
    cairo_surface_t* surface = Drawn(d, kWidth, kHeight);
    const PanelRect frame = PanelFrame(LayOutInstrument(kWidth, kHeight).deviation);
    // The topmost pixel of the weighted trace's colour (over white: 222, 103, 60) in each
    // column; where the line runs steep it moves from one column to the next.
    int columns = 0, moved = 0, previous = -1;
    for (int x = static_cast<int>(frame.x) + 2; x < static_cast<int>(frame.x + frame.w) - 2; ++x) {
        int top = -1;
        for (int y = static_cast<int>(frame.y) + 2;
             y < static_cast<int>(frame.y + frame.h) - 2 && top < 0; ++y) {
            if (PixelsOf(surface, {static_cast<double>(x), static_cast<double>(y), 1, 1}, 222, 103,
                         60, 40) > 0)
                top = y;
        }
        if (top >= 0 && previous >= 0) {
            ++columns;
            if (top != previous) ++moved;
        }
        previous = top;
    }
    cairo_surface_destroy(surface);
    EXPECT_GT(columns, 500);
    EXPECT_GT(moved, columns / 2) << moved << " of " << columns;
}

// The bar meter's figure ends at the panel's right margin (8 units), whole: nothing of it in the
// margin, where a figure centred on the margin's edge would spill.
TEST(Instrument, TheBarsFigureEndsAtThePanelsRightMargin) {
    constexpr int kWidth = 1000, kHeight = 700;
    Display d = BlankDisplay(WindowState::kFileRead, "take.wav", 0.3);
    d.bar.valuePercent = 0.1234;
    cairo_surface_t* surface = Drawn(d, kWidth, kHeight);
    const PanelRect bar = LayOutInstrument(kWidth, kHeight).bar;
    const double right = bar.x + bar.w;
    EXPECT_EQ(DarkPixels(surface, {right - 7, bar.y, 7, 30}), 0);
    EXPECT_GT(DarkPixels(surface, {right - 60, bar.y, 52, 30}), 10);
    cairo_surface_destroy(surface);
}

// Where a figure fits beside its name, what it is read over or against is written under the
// name: the readouts panel holds more ink with those notes than with them emptied.
TEST(Instrument, EachReadoutsStandardIsWrittenUnderItsName) {
    constexpr int kWidth = 1000, kHeight = 700;
    Display d = BlankDisplay(WindowState::kFileRead, "take.wav", 0.3);
    ASSERT_FALSE(d.readouts.empty());
    Display plain = d;
    int notes = 0;
    for (Readout& r : plain.readouts) {
        notes += r.standard.empty() ? 0 : 1;
        r.standard.clear();
    }
    ASSERT_GT(notes, 3);
    const PanelRect panel = LayOutInstrument(kWidth, kHeight).readouts;
    cairo_surface_t* with = Drawn(d, kWidth, kHeight);
    cairo_surface_t* without = Drawn(plain, kWidth, kHeight);
    EXPECT_GT(DarkPixels(with, panel), DarkPixels(without, panel) + 20 * notes);
    cairo_surface_destroy(with);
    cairo_surface_destroy(without);
}

// The last second of a file shown, 50 stretches of 20 ms (14 pixels each), the weighted trace
// given by each stretch's lowest and highest; the unweighted one flat at -0.45 %, out of its way.
Display CloseView(const std::function<std::pair<float, float>(int stretch)>& weighted) {
    Display d = BlankDisplay(WindowState::kFileRead, "take.wav", 0.3);
    d.summary = true;
    for (Envelope* e : {&d.unweighted, &d.weighted}) e->stretchSeconds = 0.02;
    for (int i = 0; i < 1000; ++i) {
        const auto [low, high] = weighted(i);
        d.weighted.low.push_back(low);
        d.weighted.high.push_back(high);
        d.unweighted.low.push_back(-0.45f);
        d.unweighted.high.push_back(-0.45f);
    }
    d.traceFirstSeconds = 0.0;
    d.traceLastSeconds = 20.0;
    d.unweightedLevelPercent = d.weightedLevelPercent = 0.5;
    SetDeviationSpan(d, 1.0);
    return d;
}

// The cursor's readout in the deviation panel's title strip is set in the strip's type (12
// units, 9 at the least where the room is short): the ink of its right end 7 to 14 rows tall.
TEST(Instrument, TheCursorsReadoutIsSetInTheTitlesType) {
    constexpr int kWidth = 1000, kHeight = 700;
    const Display d = CloseView([](int) { return std::pair{0.1f, 0.2f}; });
    const InstrumentLayout l = LayOutInstrument(kWidth, kHeight);
    const PanelRect frame = PanelFrame(l.deviation);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    DrawInstrument(cr, d, kWidth, kHeight, frame.x + frame.w / 2, frame.y + frame.h / 2);
    cairo_destroy(cr);
    const PanelRect strip = l.deviationTitle;
    int first = -1, last = -1;
    for (int y = static_cast<int>(strip.y); y < static_cast<int>(strip.y + strip.h); ++y) {
        if (DarkPixels(surface, {strip.x + strip.w * 0.8, static_cast<double>(y), strip.w * 0.2 - 2,
                                 1}) > 0) {
            if (first < 0) first = y;
            last = y;
        }
    }
    cairo_surface_destroy(surface);
    EXPECT_GE(last - first + 1, 7) << first << " to " << last;
    EXPECT_LE(last - first + 1, 14) << first << " to " << last;
}

// Seen close, each stretch is drawn at its middle: a step from 0 to 0.4 % at 19.5 s rises
// midway across the span shown (19 to 20 s), between the middles of the stretches either side.
TEST(Instrument, AStepSeenCloseRisesAtItsTimeBetweenTheStretchesEitherSide) {
    constexpr int kWidth = 1000, kHeight = 700;
    const Display d = CloseView([](int i) {
        const float v = i >= 975 ? 0.4f : 0.0f;
        return std::pair{v, v};
    });
    cairo_surface_t* surface = Drawn(d, kWidth, kHeight);
    const PanelRect frame = PanelFrame(LayOutInstrument(kWidth, kHeight).deviation);
    // The first column whose weighted trace (222, 103, 60 over white) lies above half the step,
    // 0.2 % on the scale of 0.5 %: the frame's top 30 %. Half a stretch is 6 pixels.
    int rise = -1;
    for (int x = static_cast<int>(frame.x) + 2;
         x < static_cast<int>(frame.x + frame.w) - 2 && rise < 0; ++x) {
        if (PixelsOf(surface, {static_cast<double>(x), frame.y + 2, 1, frame.h * 0.3}, 222, 103, 60,
                     40) > 0)
            rise = x;
    }
    cairo_surface_destroy(surface);
    EXPECT_NEAR(rise, frame.x + frame.w / 2.0, 2.0) << "frame from " << frame.x << ", " << frame.w;
}

// A swing faster than a stretch, seen close: the line through each stretch's middle runs over a
// pale band from its lowest to its highest, which shows what the line hides.
TEST(Instrument, ASwingFasterThanAStretchShowsAPaleBandAboveAndBelowItsLine) {
    constexpr int kWidth = 1000, kHeight = 700;
    const Display d = CloseView([](int) { return std::pair{-0.3f, 0.3f}; });
    cairo_surface_t* surface = Drawn(d, kWidth, kHeight);
    const PanelRect frame = PanelFrame(LayOutInstrument(kWidth, kHeight).deviation);
    // The band: the trace's colour at 30 % over white; from 0.3 % above zero to 0.3 % below,
    // 60 % of the frame's height, over the frame's width.
    const double zero = frame.y + frame.h / 2.0;
    const int above =
        PixelsOf(surface, {frame.x + 4, zero - frame.h * 0.25, frame.w - 8, frame.h * 0.2}, 245,
                 209, 196, 12);
    const int below =
        PixelsOf(surface, {frame.x + 4, zero + frame.h * 0.05, frame.w - 8, frame.h * 0.2}, 245,
                 209, 196, 12);
    cairo_surface_destroy(surface);
    const double area = (frame.w - 8) * frame.h * 0.2;
    EXPECT_GT(above, 0.8 * area);
    EXPECT_GT(below, 0.8 * area);
}

// Where the mouse is over a panel's frame, the readout of that panel at that place, from the
// display alone: the time across the span shown and both traces there, the frequency on the
// logarithmic axis and the spectrum's size there, the time along the input and its speed error.
TEST(Instrument, TheCursorReadsEachPanelWhereTheMouseIs) {
    constexpr int kWidth = 1000, kHeight = 700;
    Display d = BlankDisplay(WindowState::kFileRead, "take.wav", 0.3);
    d.summary = true;
    d.unweighted = {0.0, 0.5, std::vector<float>(40, 0.2f), std::vector<float>(40, 0.3f)};
    d.weighted = {0.0, 0.5, std::vector<float>(40, -0.1f), std::vector<float>(40, -0.1f)};
    d.unweighted.low[30] = d.unweighted.high[30] = 0.00001f;  // rounds to +0
    d.traceFirstSeconds = 0.0;
    d.traceLastSeconds = 20.0;
    SetDeviationSpan(d, 10.0);  // 10 to 20 s
    d.spectrumHz = {1.0, 2.0, 4.0, 8.0};
    d.spectrumPercent = {0.01, 0.0000221, 0.5, 0.03};
    d.speedError = {0.0, 1.0, std::vector<float>(20, 0.012f), std::vector<float>(20, 0.014f)};
    d.speedError.low[5] = d.speedError.high[5] = std::numeric_limits<float>::quiet_NaN();
    d.speedErrorEndSeconds = 20.0;
    const InstrumentLayout l = LayOutInstrument(kWidth, kHeight);
    const PanelRect deviation = PanelFrame(l.deviation);
    const double middle = deviation.y + deviation.h / 2;
    CursorReadout r = ReadoutAt(d, kWidth, kHeight, deviation.x + deviation.w * 0.25, middle);
    EXPECT_EQ(r.panel, CursorReadout::Panel::kDeviation);
    EXPECT_EQ(r.text, "12.500 s  \u00b7  weighted -0.1000 %  \u00b7  unweighted +0.2500 %");
    r = ReadoutAt(d, kWidth, kHeight, deviation.x + deviation.w * 0.51, middle);
    EXPECT_EQ(r.text, "15.100 s  \u00b7  weighted -0.1000 %  \u00b7  unweighted +0.0000 %");
    // Left of the frame, on the axis labels: nothing.
    EXPECT_EQ(ReadoutAt(d, kWidth, kHeight, deviation.x - 5, middle).panel,
              CursorReadout::Panel::kNone);

    // 4 Hz lies log10(40) / log10(2000) of the way from 0.1 to 200 Hz.
    const PanelRect spectrum = PanelFrame(l.spectrum);
    r = ReadoutAt(d, kWidth, kHeight,
                  spectrum.x + spectrum.w * std::log10(40.0) / std::log10(2000.0), spectrum.y + 10);
    EXPECT_EQ(r.panel, CursorReadout::Panel::kSpectrum);
    EXPECT_EQ(r.text, "4 Hz  \u00b7  0.5000 %");
    // A small line, to three significant digits.
    r = ReadoutAt(d, kWidth, kHeight,
                  spectrum.x + spectrum.w * std::log10(20.0) / std::log10(2000.0), spectrum.y + 10);
    EXPECT_EQ(r.text, "2 Hz  \u00b7  0.0000221 %");

    const PanelRect speed = PanelFrame(l.speedError);
    r = ReadoutAt(d, kWidth, kHeight, speed.x + speed.w * 0.625, speed.y + 5);
    EXPECT_EQ(r.panel, CursorReadout::Panel::kSpeedError);
    EXPECT_EQ(r.text, "12.5 s  \u00b7  speed error +0.013 %");
    r = ReadoutAt(d, kWidth, kHeight, speed.x + speed.w * 0.275, speed.y + 5);
    EXPECT_EQ(r.text, "5.5 s  \u00b7  speed error \u2013 %");

    // Panels with nothing in them read nothing.
    const Display blank = BlankDisplay(WindowState::kIdle, "", 0.3);
    EXPECT_EQ(ReadoutAt(blank, kWidth, kHeight, deviation.x + 50, middle).panel,
              CursorReadout::Panel::kNone);
}

}  // namespace
}  // namespace wobblemeter

namespace wobblemeter {
namespace {

// The pixel at x, y as red, green, blue (ARGB32, native order; opaque where drawn over white).
struct Rgb {
    int red, green, blue;
};
Rgb PixelAt(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    uint32_t pixel = 0;
    std::memcpy(&pixel, data + y * cairo_image_surface_get_stride(surface) + x * 4, sizeof pixel);
    return {static_cast<int>((pixel >> 16) & 0xff), static_cast<int>((pixel >> 8) & 0xff),
            static_cast<int>(pixel & 0xff)};
}
bool IsWhite(const Rgb& p) {
    return p.red == 255 && p.green == 255 && p.blue == 255;
}

// The face on white, its left column on a faint grey; where the mouse is over the deviation, a thin
// grey line the height of the frame in the mouse's pixel column, and nothing else of the panel
// changed: mid-grey over white (0.2 grey at 60 %: 133 of 255), one pixel wide.
TEST(Instrument, TheFaceIsWhiteAndTheCursorAOnePixelGreyLineAtTheMouse) {
    constexpr int kWidth = 1000, kHeight = 700;
    Display d = BlankDisplay(WindowState::kFileRead, "take.wav", 0.3);
    d.summary = true;
    d.unweighted = {0.0, 0.5, std::vector<float>(40, 0.2f), std::vector<float>(40, 0.3f)};
    d.weighted = {0.0, 0.5, std::vector<float>(40, -0.1f), std::vector<float>(40, -0.1f)};
    d.traceFirstSeconds = 0.0;
    d.traceLastSeconds = 20.0;
    SetDeviationSpan(d, 10.0);
    const PanelRect frame = PanelFrame(LayOutInstrument(kWidth, kHeight).deviation);
    const double mouseX = frame.x + frame.w * 0.25 + 0.3, mouseY = frame.y + frame.h / 2;
    ASSERT_EQ(ReadoutAt(d, kWidth, kHeight, mouseX, mouseY).panel,
              CursorReadout::Panel::kDeviation);
    cairo_surface_t* plain = Drawn(d, kWidth, kHeight);
    cairo_surface_t* cursor = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cairo_t* cr = cairo_create(cursor);
    DrawInstrument(cr, d, kWidth, kHeight, mouseX, mouseY);
    cairo_destroy(cr);

    int white = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) white += IsWhite(PixelAt(plain, x, y));
    EXPECT_GT(white, kWidth * kHeight / 2);
    // The left column, an instrument's front panel, on its faint grey (0.965, 0.97, 0.975).
    const PanelRect readouts = LayOutInstrument(kWidth, kHeight).readouts;
    EXPECT_GT(PixelsOf(plain, readouts, 246, 247, 249, 1),
              static_cast<int>(readouts.w * readouts.h / 2));

    const int column = static_cast<int>(std::floor(mouseX));
    int elsewhere = 0, grey = 0, other = 0;
    for (int y = static_cast<int>(frame.y) + 1; y < static_cast<int>(frame.y + frame.h); ++y) {
        for (int x = static_cast<int>(frame.x); x < static_cast<int>(frame.x + frame.w); ++x) {
            const Rgb before = PixelAt(plain, x, y), after = PixelAt(cursor, x, y);
            const bool changed =
                before.red != after.red || before.green != after.green || before.blue != after.blue;
            if (x != column) {
                elsewhere += changed;
            } else if (IsWhite(before)) {
                const bool mid = std::abs(after.red - 133) <= 8 &&
                                 std::abs(after.green - 133) <= 8 &&
                                 std::abs(after.blue - 133) <= 8;
                (mid ? grey : other) += 1;
            }
        }
    }
    cairo_surface_destroy(plain);
    cairo_surface_destroy(cursor);
    EXPECT_EQ(elsewhere, 0);
    EXPECT_EQ(other, 0);
    EXPECT_GT(grey, static_cast<int>(frame.h) / 2);
}

// The mean's legend in the speed error's title strip begins with a sample of its line: a
// level dash 14 pixels long, broken once (6 on, 4 off), in the mean's colour.
TEST(Instrument, TheMeansLegendBeginsWithALevelDashedSample) {
    constexpr int kWidth = 960, kHeight = 640;
    Display d = BlankDisplay(WindowState::kFileRead, "take.wav", 0.3);
    d.summary = true;
    d.speedError = {0.0, 1.0, std::vector<float>(20, 0.1f), std::vector<float>(20, 0.1f)};
    d.speedErrorEndSeconds = 20.0;
    d.speedErrorLinePercent = 0.1;
    d.speedErrorLabel = "mean over the span read +0.100 %";
    cairo_surface_t* surface = Drawn(d, kWidth, kHeight);
    const PanelRect strip = LayOutInstrument(kWidth, kHeight).speedErrorTitle;
    // The mean's colour (0.1, 0.3, 0.05) at 40 % or more over white: greener than it is red
    // or blue; the title's grey is neither.
    const auto tinted = [&](int x, int y) {
        const Rgb p = PixelAt(surface, x, y);
        return p.green - p.red >= 20 && p.green - p.blue >= 20;
    };
    const int top = static_cast<int>(strip.y), bottom = static_cast<int>(strip.y + strip.h);
    int first = -1;
    for (int x = static_cast<int>(strip.x + strip.w / 2); x < static_cast<int>(strip.x + strip.w);
         ++x) {
        for (int y = top; y < bottom && first < 0; ++y)
            if (tinted(x, y)) first = x;
        if (first >= 0) break;
    }
    ASSERT_GE(first, 0);
    int rows = 0, inGap = 0;
    for (int y = top; y < bottom; ++y) {
        bool any = false;
        for (int x = first; x < first + 14; ++x) {
            any = any || tinted(x, y);
            if (x >= first + 7 && x <= first + 9) inGap += tinted(x, y);
        }
        rows += any;
    }
    cairo_surface_destroy(surface);
    EXPECT_GE(rows, 1);
    EXPECT_LE(rows, 2);
    EXPECT_EQ(inGap, 0);
}

// An empty panel's frame is one crisp row and column of light grey (0.6: 153 of 255), white
// on either side, not a blurred pair of lighter ones.
TEST(Instrument, AnEmptyPanelsFrameIsACrispGreyLine) {
    constexpr int kWidth = 960, kHeight = 640;
    cairo_surface_t* surface = Drawn(BlankDisplay(WindowState::kIdle, "", 0.3), kWidth, kHeight);
    const PanelRect b = PanelFrame(LayOutInstrument(kWidth, kHeight).spectrum);
    const int top = static_cast<int>(std::round(b.y)), left = static_cast<int>(std::round(b.x));
    const int x = static_cast<int>(b.x + b.w / 3), y = static_cast<int>(b.y + b.h / 4);
    for (int k = -3; k <= 3; ++k) {
        SCOPED_TRACE(k);
        for (const Rgb p : {PixelAt(surface, x, top + k), PixelAt(surface, left + k, y)}) {
            if (k == 0) {
                EXPECT_NEAR(p.red, 153, 8);
                EXPECT_NEAR(p.green, 153, 8);
                EXPECT_NEAR(p.blue, 153, 8);
            } else {
                EXPECT_TRUE(IsWhite(p)) << p.red << " " << p.green << " " << p.blue;
            }
        }
    }
    cairo_surface_destroy(surface);
}

// The icon fills its square with a rounded face: its four corners, left out of the face's
// rounding alike, are mirror images of each other to within the edge smoothing (8 of 255);
// the trace and the bar lie well inside.
TEST(MeterIcon, TheFaceFillsTheSquareWithFourLikeRoundedCorners) {
    constexpr int kSize = 32, kCorner = 5;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize);
    cairo_t* cr = cairo_create(surface);
    DrawMeterIcon(cr, kSize);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    auto alpha = [&](int x, int y) {
        return data[y * stride + x * 4 + 3];
    };  // ARGB32, little-endian
    EXPECT_EQ(alpha(0, 0), 0);
    EXPECT_EQ(alpha(kSize / 2, 0), 255);
    EXPECT_EQ(alpha(kSize - 1, kSize / 2), 255);
    for (int y = 0; y < kCorner; ++y) {
        for (int x = 0; x < kCorner; ++x) {
            SCOPED_TRACE(testing::Message() << x << ", " << y);
            const int mirrorX = kSize - 1 - x, mirrorY = kSize - 1 - y;
            EXPECT_NEAR(alpha(mirrorX, y), alpha(x, y), 8);
            EXPECT_NEAR(alpha(x, mirrorY), alpha(x, y), 8);
            EXPECT_NEAR(alpha(mirrorX, mirrorY), alpha(x, y), 8);
        }
    }
    // The tone's trace, light blue (0.55, 0.85, 1.0) on the dark face, across its upper half.
    int blue = 0;
    for (int y = 0; y < kSize / 2; ++y)
        for (int x = 0; x < kSize; ++x) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, data + y * stride + x * 4, sizeof pixel);
            if ((pixel & 0xff) > 200 && ((pixel >> 16) & 0xff) < 170) ++blue;
        }
    EXPECT_GT(blue, kSize) << "the trace";
    cairo_surface_destroy(surface);
}

}  // namespace
}  // namespace wobblemeter
