// The sans-serif face from font files of our own through FreeType, where there is no fontconfig
// (the browser's module, which carries DejaVu Sans in its file system): see font.h. The files
// are in WOBBLEGEN_FONT_DIR; where one cannot be loaded, cairo's own choice stands in.
#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

#include "meter/output/font.h"

#ifndef WOBBLEGEN_FONT_DIR
#define WOBBLEGEN_FONT_DIR "/fonts"
#endif

namespace wobblemeter {

namespace {

constexpr const char* kRegularFile = "DejaVuSans.ttf";
constexpr const char* kBoldFile = "DejaVuSans-Bold.ttf";

// The faces, loaded at the first use and kept for the life of the program (cairo holds on to
// the faces it has drawn with).
struct Faces {
    FT_Library library = nullptr;
    cairo_font_face_t* regular = nullptr;
    cairo_font_face_t* bold = nullptr;

    Faces() {
        if (FT_Init_FreeType(&library) != 0) return;
        regular = Load(kRegularFile);
        bold = Load(kBoldFile);
    }

    cairo_font_face_t* Load(const char* name) const {
        std::string path = WOBBLEGEN_FONT_DIR;
        path += '/';
        path += name;
        FT_Face face = nullptr;
        if (FT_New_Face(library, path.c_str(), 0, &face) != 0) return nullptr;
        cairo_font_face_t* font = cairo_ft_font_face_create_for_ft_face(face, 0);
        if (cairo_font_face_status(font) != CAIRO_STATUS_SUCCESS) return nullptr;
        return font;
    }
};

}  // namespace

void SelectSansFont(cairo_t* cr, bool bold) {
    static const Faces faces;
    cairo_font_face_t* face = bold ? faces.bold : faces.regular;
    if (face == nullptr) {
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                               bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        return;
    }
    cairo_set_font_face(cr, face);
}

}  // namespace wobblemeter
