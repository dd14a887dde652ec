// wobblemeter-gui-icon: writes the meter window's icon as a PNG of SIZE x SIZE pixels, or as
// SVG. Usage: wobblemeter-gui-icon SIZE|svg FILE
#include <cairo-svg.h>
#include <cairo.h>

#include <cstdio>
#include <string>

#include "meterwin/icon.h"
#include "text/decimal.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: wobblemeter-gui-icon SIZE|svg FILE\n");
        return 2;
    }
    const std::string kind = argv[1];
    const char* path = argv[2];
    const bool svg = kind == "svg";
    constexpr int kMinSize = 8, kMaxSize = 1024;
    unsigned long long parsed = 32;  // the SVG's nominal size
    if (!svg && !ParseDecimalWhole(argv[1], kMaxSize, parsed)) parsed = 0;
    const int size = static_cast<int>(parsed);
    if (size < kMinSize) {
        std::fprintf(stderr, "wobblemeter-gui-icon: SIZE from 8 to 1024\n");
        return 2;
    }
    cairo_surface_t* surface = svg ? cairo_svg_surface_create(path, size, size)
                                   : cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    wobblemeter::DrawMeterIcon(cr, size);
    cairo_destroy(cr);
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    if (!svg) status = cairo_surface_write_to_png(surface, path);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "wobblemeter-gui-icon: cannot write %s: %s\n", path,
                     cairo_status_to_string(status));
        return 1;
    }
    return 0;
}
