// The instrument face laid out at any size, and drawn into an image of our own as the window
// shows it: the heading and each panel's title are drawn in their bands.
#include "meterwin/instrument.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>

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

TEST(Instrument, TheHeadingAndEveryPanelsTitleAreDrawnInTheirBands) {
    constexpr int kWidth = 1000, kHeight = 700;
    SessionSnapshot s;
    s.status = SessionStatus::kRunning;
    s.source = "fake";
    s.sampleRate = 44100;
    s.seconds = 20.0;
    s.latest.state = MeterState::kMeasuring;
    s.latest.carrierHz = 3150.0;
    s.latest.weightedPeakPercent = 0.0997;
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

}  // namespace
}  // namespace wobblemeter
