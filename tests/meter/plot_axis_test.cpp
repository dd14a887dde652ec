// The panels' axes (plot_axis.h): which ticks an axis draws, where its grid lines run and
// where their labels go, on an image surface of its own.
#include "meter/output/plot_axis.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wobblemeter {
namespace {

// A white 200 x 130 surface with the frame x 40 to 190, y 10 to 90, drawn into with 2-pixel
// lines so that a line on a whole pixel covers the rows or columns either side of it fully.
class AxisSurface : public ::testing::Test {
protected:
    void SetUp() override {
        surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 130);
        cr_ = cairo_create(surface_);
        cairo_set_source_rgb(cr_, 1, 1, 1);
        cairo_paint(cr_);
        cairo_set_line_width(cr_, 2.0);
        cairo_set_font_size(cr_, 11.0);
    }
    void TearDown() override {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
    }
    // The red byte of a pixel (the surfaces are grey): 255 white.
    int At(int x, int y) {
        cairo_surface_flush(surface_);
        const unsigned char* data = cairo_image_surface_get_data(surface_);
        const int stride = cairo_image_surface_get_stride(surface_);
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        return static_cast<int>((row[x] >> 16) & 0xff);
    }
    // Whether any pixel of the rectangle from (x0, y0) to before (x1, y1) is darker than white.
    bool Marked(int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (At(x, y) < 250) return true;
        return false;
    }
    const PanelRect frame_{40, 10, 150, 80};
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
};

TEST_F(AxisSurface, TicksRunFromTheFirstByStepThroughTheLastThatFits) {
    std::vector<double> labelled, placed;
    DrawAxis(
        cr_, frame_, AxisEdge::kLeft, {-1.0, 1.0 + 0.25, 0.5},
        [&](double v) {
            placed.push_back(v);
            return 50.0 - 30.0 * v;
        },
        [&](double v) {
            labelled.push_back(v);
            return TickLabel("%.4g", v);
        });
    EXPECT_EQ(labelled, (std::vector<double>{-1.0, -0.5, 0.0, 0.5, 1.0}));
    EXPECT_EQ(placed, labelled);
    // Through is inclusive: a tick exactly on it is drawn.
    labelled.clear();
    DrawAxis(
        cr_, frame_, AxisEdge::kBottom, {2.0, 6.0, 2.0}, [](double t) { return 40.0 + 10.0 * t; },
        [&](double t) {
            labelled.push_back(t);
            return TickLabel("%g", t);
        });
    EXPECT_EQ(labelled, (std::vector<double>{2.0, 4.0, 6.0}));
}

TEST_F(AxisSurface, LeftGridLinesRunAcrossTheFrameInTheirGreyUnlabelledWithoutALabel) {
    GridLine(cr_, frame_, AxisEdge::kLeft, 50.0, 0.5, nullptr);
    EXPECT_NEAR(At(45, 50), 128, 1);
    EXPECT_NEAR(At(185, 49), 128, 1);
    EXPECT_EQ(At(100, 47), 255);  // only across, at its y
    EXPECT_EQ(At(100, 53), 255);
    EXPECT_FALSE(Marked(0, 0, 40, 130));  // no label left of the frame
    EXPECT_FALSE(Marked(192, 0, 200, 130));
}

TEST_F(AxisSurface, BottomGridLinesRunUpAndDownTheFrame) {
    GridLine(cr_, frame_, AxisEdge::kBottom, 100.0, 0.5, nullptr);
    EXPECT_NEAR(At(100, 12), 128, 1);
    EXPECT_NEAR(At(99, 88), 128, 1);
    EXPECT_EQ(At(97, 50), 255);
    EXPECT_EQ(At(103, 50), 255);
    EXPECT_FALSE(Marked(0, 92, 200, 130));  // nothing below the frame
}

TEST_F(AxisSurface, LabelsGoLeftOfTheFrameAtTheLineOrBelowItUnderTheLine) {
    GridLine(cr_, frame_, AxisEdge::kLeft, 50.0, kGridGrey, "8.5");
    // Right-aligned 6 pixels left of the frame, its baseline 4 below the line.
    EXPECT_TRUE(Marked(0, 42, 34, 55));
    EXPECT_FALSE(Marked(35, 0, 40, 130));
    EXPECT_FALSE(Marked(0, 0, 40, 40));
    EXPECT_FALSE(Marked(0, 92, 200, 130));

    GridLine(cr_, frame_, AxisEdge::kBottom, 120.0, kGridGrey, "8.5");
    // Centred under the line, its baseline 15 below the frame.
    EXPECT_TRUE(Marked(110, 96, 120, 106));
    EXPECT_TRUE(Marked(120, 96, 130, 106));
    EXPECT_FALSE(Marked(0, 96, 105, 130));
    EXPECT_FALSE(Marked(135, 96, 200, 130));
}

TEST(PlotAxisText, TickLabelPrintsItsFormat) {
    EXPECT_EQ(TickLabel("%g", 0.5), "0.5");
    EXPECT_EQ(TickLabel("%+.4g", 0.012345), "+0.01235");
}

}  // namespace
}  // namespace wobblemeter
