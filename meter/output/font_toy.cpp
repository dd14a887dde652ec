// The sans-serif face through cairo's own font selection (fontconfig on Linux, the system's
// fonts on Windows): see font.h.
#include "meter/output/font.h"

namespace wobblemeter {

void SelectSansFont(cairo_t* cr, bool bold) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
}

}  // namespace wobblemeter
