// The in-memory Win32 dialog templates: each field at its place in DLGTEMPLATEEX and
// DLGTEMPLATE, items aligned on 32 bits, text in UTF-16, as the dialog manager reads them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx/afxwin.h"
#include "afx/win32/dialog_template.h"
#include "res/resource.h"
#include "res/resources.h"

namespace {

// Reads a template word by word, as the dialog manager does.
class Reader {
public:
    explicit Reader(const std::vector<WORD>& words) : words_(words) {}
    WORD Word() { return words_.at(next_++); }
    DWORD Dword() {
        const DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    short Short() { return static_cast<short>(Word()); }
    std::u16string Text() {
        std::u16string text;
        for (WORD c = Word(); c != 0; c = Word()) text += static_cast<char16_t>(c);
        return text;
    }
    std::size_t Position() const { return next_; }
    bool AtEnd() const { return next_ == words_.size(); }

private:
    const std::vector<WORD>& words_;
    std::size_t next_ = 0;
};

std::u16string Utf16(const char* ascii) {
    std::u16string text;
    for (const char* p = ascii; *p != 0; ++p) text += static_cast<char16_t>(*p);
    return text;
}

// WS_CHILD | WS_VISIBLE as the dialog manager knows them: the templates must carry the Win32
// values themselves, not whatever afxres.h calls them.
constexpr DWORD kChildVisible = 0x50000000u;

const DialogTemplate& Template(UINT id) {
    AfxSetResourceHandle(&wobblegenResources);
    const DialogTemplate* dialog = AfxFindDialogTemplate(id);
    AfxSetResourceHandle(nullptr);
    EXPECT_NE(dialog, nullptr);
    return *dialog;
}

TEST(Win32DialogTemplate, GeneratorDialogIsAnExtendedTemplateStartingHidden) {
    const DialogTemplate& dialog = Template(IDD_GENERATOR);
    const std::vector<WORD> words = afx::BuildWin32DialogTemplate(dialog);
    Reader in(words);
    EXPECT_EQ(in.Word(), 1);       // dlgVer
    EXPECT_EQ(in.Word(), 0xFFFF);  // signature
    EXPECT_EQ(in.Dword(), 0u);     // helpID
    EXPECT_EQ(in.Dword(), WS_EX_APPWINDOW);
    // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, without WS_VISIBLE.
    EXPECT_EQ(in.Dword(), 0x80C800C0u);
    EXPECT_EQ(in.Word(), 20);  // items
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 257);
    EXPECT_EQ(in.Short(), 156);
    EXPECT_EQ(in.Word(), 0);  // menu
    EXPECT_EQ(in.Word(), 0);  // class
    EXPECT_EQ(in.Text(), u"Wow and Flutter generator");
    EXPECT_EQ(in.Word(), 8);      // points
    EXPECT_EQ(in.Word(), 400);    // weight
    EXPECT_EQ(in.Word(), 0x100);  // not italic, character set 1
    EXPECT_EQ(in.Text(), u"MS Sans Serif");

    for (std::size_t i = 0; i < dialog.itemCount; ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        const DialogItemTemplate& item = dialog.items[i];
        if (in.Position() % 2 != 0) {
            EXPECT_EQ(in.Word(), 0);  // padding to 32 bits
        }
        EXPECT_EQ(in.Dword(), 0u);  // helpID
        EXPECT_EQ(in.Dword(), 0u);  // exStyle
        EXPECT_EQ(in.Dword(), item.style | kChildVisible);
        EXPECT_EQ(in.Short(), item.x);
        EXPECT_EQ(in.Short(), item.y);
        EXPECT_EQ(in.Short(), item.cx);
        EXPECT_EQ(in.Short(), item.cy);
        EXPECT_EQ(in.Dword(), static_cast<DWORD>(item.id));  // a label's -1 as 0xFFFFFFFF
        EXPECT_EQ(in.Word(), 0xFFFF);
        const WORD atom = item.controlClass == ControlClass::kButton ? 0x80
                          : item.controlClass == ControlClass::kEdit ? 0x81
                                                                     : 0x82;
        EXPECT_EQ(in.Word(), atom);
        EXPECT_EQ(in.Text(), Utf16(item.text));
        EXPECT_EQ(in.Word(), 0);  // creation data
    }
    EXPECT_TRUE(in.AtEnd());
}

TEST(Win32DialogTemplate, AboutBoxIsAClassicTemplateWithSixteenBitIds) {
    const DialogTemplate& dialog = Template(IDD_ABOUT_BOX);
    const std::vector<WORD> words = afx::BuildWin32DialogTemplate(dialog);
    Reader in(words);
    EXPECT_EQ(in.Dword(), 0x80C800C0u);
    EXPECT_EQ(in.Dword(), 0u);
    EXPECT_EQ(in.Word(), 4);
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 235);
    EXPECT_EQ(in.Short(), 55);
    EXPECT_EQ(in.Word(), 0);
    EXPECT_EQ(in.Word(), 0);
    EXPECT_EQ(in.Text(), u"About wobblegen");
    EXPECT_EQ(in.Word(), 8);  // points only: no weight, italic or character set
    EXPECT_EQ(in.Text(), u"MS Sans Serif");

    const struct {
        DWORD style;
        WORD id;
        WORD atom;
        std::u16string text;
    } expected[] = {
        // The Win32 values: SS_ICON 0x3, SS_NOPREFIX 0x80, WS_GROUP 0x20000, WS_TABSTOP
        // 0x10000, BS_DEFPUSHBUTTON 0x1, over WS_CHILD | WS_VISIBLE.
        {0x50000003u, 0xFFFF, 0x82, u""},  // the icon comes from the backend
        {0x50020080u, 0xFFFF, 0x82, u"wobblegen Version 1.0"},
        {0x50020000u, 0xFFFF, 0x82, u"Wow and flutter test tones"},
        {0x50030001u, IDOK, 0x80, u"OK"},
    };
    for (const auto& item : expected) {
        SCOPED_TRACE(std::string(item.text.begin(), item.text.end()));
        if (in.Position() % 2 != 0) {
            EXPECT_EQ(in.Word(), 0);
        }
        EXPECT_EQ(in.Dword(), item.style);
        EXPECT_EQ(in.Dword(), 0u);  // exStyle
        in.Dword();                 // x, y: as in the template
        in.Dword();                 // cx, cy
        EXPECT_EQ(in.Word(), item.id);
        EXPECT_EQ(in.Word(), 0xFFFF);
        EXPECT_EQ(in.Word(), item.atom);
        EXPECT_EQ(in.Text(), item.text);
        EXPECT_EQ(in.Word(), 0);
    }
    EXPECT_TRUE(in.AtEnd());
}

TEST(Win32DialogTemplate, TextIsUtf16WithSurrogatePairs) {
    // "Größe €" and a character beyond the 16-bit plane (U+1D11E, the G clef).
    constexpr DialogItemTemplate kItems[] = {
        {ControlClass::kStatic, -1,
         "Gr\xC3\xB6\xC3\x9F"
         "e \xE2\x82\xAC",
         0, 0, 10, 10, SS_LEFT, 0},
        {ControlClass::kStatic, -1, "\xF0\x9D\x84\x9E", 0, 0, 10, 10, SS_LEFT, 0},
    };
    const DialogTemplate dialog = {1,   false, "x", 10,    10, WS_POPUP, 0,
                                   "F", 8,     400, false, 0,  kItems,   2};
    const std::vector<WORD> words = afx::BuildWin32DialogTemplate(dialog);
    Reader in(words);
    for (int i = 0; i < 7; ++i) in.Word();  // style, exStyle, count, x, y
    in.Dword();                             // cx, cy
    in.Dword();                             // menu, class
    EXPECT_EQ(in.Text(), u"x");
    in.Word();
    EXPECT_EQ(in.Text(), u"F");
    for (const std::u16string& text :
         {std::u16string(u"Gr\u00F6\u00DFe \u20AC"), std::u16string(u"\U0001D11E")}) {
        if (in.Position() % 2 != 0) in.Word();
        for (int i = 0; i < 9; ++i) in.Word();  // style, exStyle, rectangle, id
        in.Dword();                             // class
        EXPECT_EQ(in.Text(), text);
        in.Word();
    }
    EXPECT_TRUE(in.AtEnd());
}

}  // namespace
