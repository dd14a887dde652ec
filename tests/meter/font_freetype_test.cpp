// The browser's font seam (font_freetype.cpp) on the system's copies of the files it carries:
// the faces come from those files, bold apart from regular, and draw.
#include <cairo-ft.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "meter/output/font.h"

namespace {

using wobblemeter::SelectSansFont;

struct Surface {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 40);
    cairo_t* cr = cairo_create(surface);
    ~Surface() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
};

// The width cr's font gives the text at 20 px.
double Width(cairo_t* cr, const char* text) {
    cairo_set_font_size(cr, 20.0);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);
    return extents.x_advance;
}

TEST(FreetypeSansFont, FacesComeFromTheFilesAndBoldIsWider) {
    Surface s;
    SelectSansFont(s.cr, false);
    cairo_font_face_t* regular = cairo_get_font_face(s.cr);
    EXPECT_EQ(cairo_font_face_get_type(regular), CAIRO_FONT_TYPE_FT);
    const double regularWidth = Width(s.cr, "Weighted 0.1663 %");
    SelectSansFont(s.cr, true);
    cairo_font_face_t* bold = cairo_get_font_face(s.cr);
    EXPECT_EQ(cairo_font_face_get_type(bold), CAIRO_FONT_TYPE_FT);
    EXPECT_NE(bold, regular);
    EXPECT_GT(Width(s.cr, "Weighted 0.1663 %"), regularWidth * 1.05);
    // The same face again for the same weight: loaded once.
    SelectSansFont(s.cr, false);
    EXPECT_EQ(cairo_get_font_face(s.cr), regular);
    // DejaVu Sans (2.37) at 20 px: "Weighted 0.1663 %" is 199 px wide; another face is not.
    EXPECT_NEAR(regularWidth, 199.0, 2.0);
}

TEST(FreetypeSansFont, TextDrawsInk) {
    Surface s;
    cairo_set_source_rgb(s.cr, 1, 1, 1);
    cairo_paint(s.cr);
    SelectSansFont(s.cr, false);
    cairo_set_font_size(s.cr, 20.0);
    cairo_set_source_rgb(s.cr, 0, 0, 0);
    cairo_move_to(s.cr, 4, 28);
    cairo_show_text(s.cr, "0.1663 %");
    cairo_surface_flush(s.surface);
    const unsigned char* data = cairo_image_surface_get_data(s.surface);
    const int stride = cairo_image_surface_get_stride(s.surface);
    int dark = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (data[y * stride + 4 * x] < 128) ++dark;
    EXPECT_GT(dark, 100);
}

}  // namespace
