// Win32 dialog templates in memory, written from the framework's templates as a resource
// compiler writes them from a resource script.
#include "afx/win32/dialog_template.h"

#include <cstdint>

namespace {

// ---- In-memory dialog templates -------------------------------------------------------------

// Predefined window classes of dialog items, by their atoms.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
// Marks a class or resource given by number rather than by name.
constexpr WORD kOrdinal = 0xFFFF;
// A DLGTEMPLATEEX starts with dlgVer 1 and this signature, which tell it from a DLGTEMPLATE.
constexpr WORD kExtendedSignature = 0xFFFF;
// Items of a resource script are child windows, shown with their dialog.
constexpr DWORD kItemStyle = WS_CHILD | WS_VISIBLE;
// The low four bits of a static's or button's style: its type.
constexpr DWORD kTypeMask = 0xF;

// A dialog template being written: 16-bit words, items aligned on 32 bits.
class TemplateWriter {
public:
    void Word(WORD value) { words_.push_back(value); }
    void Dword(DWORD value) {
        Word(static_cast<WORD>(value & 0xFFFF));
        Word(static_cast<WORD>(value >> 16));
    }
    void Short(short value) { Word(static_cast<WORD>(value)); }
    // Zero-terminated UTF-16 from UTF-8.
    void Text(const char* text);
    void AlignDword() {
        if (words_.size() % 2 != 0) Word(0);
    }
    std::vector<WORD> Take() { return std::move(words_); }

private:
    std::vector<WORD> words_;
};

void TemplateWriter::Text(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    while (*p != 0) {
        // Lead byte: 0xxxxxxx, 110xxxxx, 1110xxxx or 11110xxx, then 10xxxxxx bytes.
        std::uint32_t code = *p++;
        int continuation = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
        code &= continuation == 3   ? 0x07u
                : continuation == 2 ? 0x0Fu
                : continuation == 1 ? 0x1Fu
                                    : 0x7Fu;
        for (; continuation > 0 && (*p & 0xC0) == 0x80; --continuation)
            code = (code << 6) | (*p++ & 0x3Fu);
        if (code >= 0x10000) {  // a surrogate pair
            code -= 0x10000;
            Word(static_cast<WORD>(0xD800 + (code >> 10)));
            Word(static_cast<WORD>(0xDC00 + (code & 0x3FF)));
        } else {
            Word(static_cast<WORD>(code));
        }
    }
    Word(0);
}

WORD ClassAtom(ControlClass controlClass) {
    switch (controlClass) {
        case ControlClass::kButton:
            return kButtonAtom;
        case ControlClass::kEdit:
            return kEditAtom;
        case ControlClass::kStatic:
            break;
    }
    return kStaticAtom;
}

bool IsIconStatic(const DialogItemTemplate& item) {
    return item.controlClass == ControlClass::kStatic && (item.style & kTypeMask) == SS_ICON;
}

}  // namespace

std::vector<WORD> afx::BuildWin32DialogTemplate(const DialogTemplate& dialog) {
    TemplateWriter out;
    const DWORD style = (dialog.style & ~WS_VISIBLE) | DS_SETFONT;
    if (dialog.extended) {
        out.Word(1);  // dlgVer
        out.Word(kExtendedSignature);
        out.Dword(0);  // helpID
        out.Dword(dialog.exStyle);
        out.Dword(style);
    } else {
        out.Dword(style);
        out.Dword(dialog.exStyle);
    }
    out.Word(static_cast<WORD>(dialog.itemCount));
    out.Short(0);  // x and y: the modal loop centres the dialog
    out.Short(0);
    out.Short(dialog.cx);
    out.Short(dialog.cy);
    out.Word(0);  // no menu
    out.Word(0);  // the system's dialog class
    out.Text(dialog.caption);
    out.Short(dialog.pointSize);
    if (dialog.extended) {
        out.Word(dialog.weight);
        out.Word(static_cast<WORD>((dialog.italic ? 1 : 0) | (dialog.charset << 8)));
    }
    out.Text(dialog.fontFace);

    for (std::size_t i = 0; i < dialog.itemCount; ++i) {
        const DialogItemTemplate& item = dialog.items[i];
        out.AlignDword();
        const DWORD itemStyle = item.style | kItemStyle;
        if (dialog.extended) {
            out.Dword(0);  // helpID
            out.Dword(0);  // exStyle
            out.Dword(itemStyle);
        } else {
            out.Dword(itemStyle);
            out.Dword(0);  // exStyle
        }
        out.Short(item.x);
        out.Short(item.y);
        out.Short(item.cx);
        out.Short(item.cy);
        // A label's -1 is 0xFFFF in a classic template's 16-bit id.
        if (dialog.extended) {
            out.Dword(static_cast<DWORD>(item.id));
        } else {
            out.Word(static_cast<WORD>(item.id));
        }
        out.Word(kOrdinal);
        out.Word(ClassAtom(item.controlClass));
        // An icon static gets its image from the framework's icon group once created.
        out.Text(IsIconStatic(item) ? "" : item.text);
        out.Word(0);  // no creation data
    }
    return out.Take();
}
