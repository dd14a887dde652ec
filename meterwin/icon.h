// The meter window's icon, drawn with cairo at any size: the desktop's PNG and SVG files are
// written from it at build time, and the window's own icon at run time.
#pragma once

#include <cairo.h>

namespace wobblemeter {

// Paints the icon into the square (0, 0) ... (size, size).
void DrawMeterIcon(cairo_t* cr, double size);

}  // namespace wobblemeter
