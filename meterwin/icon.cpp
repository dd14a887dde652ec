// The icon: a dark instrument face with the trace of a wavering tone and a bar meter below it.
#include "meterwin/icon.h"

#include <cmath>
#include <numbers>

namespace wobblemeter {

void DrawMeterIcon(cairo_t* cr, double size) {
    cairo_save(cr);
    cairo_scale(cr, size / 32.0, size / 32.0);  // drawn on a 32-unit grid
    // The face: a rounded square.
    constexpr double kRadius = 5.0;
    cairo_new_sub_path(cr);
    cairo_arc(cr, 32 - kRadius, kRadius, kRadius, -std::numbers::pi / 2, 0);
    cairo_arc(cr, 32 - kRadius, 32 - kRadius, kRadius, 0, std::numbers::pi / 2);
    cairo_arc(cr, kRadius, 32 - kRadius, kRadius, std::numbers::pi / 2, std::numbers::pi);
    cairo_arc(cr, kRadius, kRadius, kRadius, std::numbers::pi, 3 * std::numbers::pi / 2);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.13, 0.19, 0.26);
    cairo_fill(cr);

    // The tone: a sine whose period swings, as the test tone's frequency does.
    cairo_set_source_rgb(cr, 0.55, 0.85, 1.0);
    cairo_set_line_width(cr, 1.8);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    double phase = 0.0;
    for (double x = 4.0; x <= 28.0; x += 0.25) {
        const double y = 13.0 - 6.5 * std::sin(phase);
        if (x == 4.0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
        // Cycles per unit: 0.2 on average, swinging by a third over the width.
        phase += 2 * std::numbers::pi * 0.25 * 0.2 *
                 (1.0 + 0.35 * std::sin(2 * std::numbers::pi * (x - 4.0) / 24.0));
    }
    cairo_stroke(cr);

    // The bar meter: its scale and an orange-red bar two thirds along it.
    cairo_set_source_rgb(cr, 0.35, 0.42, 0.5);
    cairo_rectangle(cr, 4.0, 23.0, 24.0, 5.0);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.95, 0.4, 0.15);
    cairo_rectangle(cr, 4.0, 23.0, 16.0, 5.0);
    cairo_fill(cr);
    cairo_restore(cr);
}

}  // namespace wobblemeter
