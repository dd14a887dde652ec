// The one font of every drawing (the plots, the report, the window's instrument): a sans-serif
// face, regular or bold, chosen on a cairo context.
#pragma once

#include <cairo.h>

namespace wobblemeter {

// Sets cr's font face to the sans-serif one (its size is the caller's). On Linux and Windows
// cairo's own choice ("sans-serif" through fontconfig or Windows); in the browser the DejaVu
// Sans faces the module carries, through FreeType.
void SelectSansFont(cairo_t* cr, bool bold);

}  // namespace wobblemeter
