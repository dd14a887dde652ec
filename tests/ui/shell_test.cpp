// The application shell: start-up and end, the system menu and its About entry, the icons,
// minimised painting, and the dialog templates as the framework lays them out.
#include <map>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/ui/ui_fixture.h"
#include "ui/generator_app.h"
#include "ui/generator_dialog.h"

namespace {

constexpr const char* kCaption = "Wow and Flutter generator";
constexpr const char* kAboutCaption = "About wobblegen";

class ShellTest : public DialogTest {
protected:
    // Runs the generator dialog with script; an About box is recorded and closed with OK.
    INT_PTR Run(CGeneratorDialog& dialog, const std::function<void(FakeWindow&)>& script) {
        backend.onModal = [&](FakeWindow& window) {
            if (window.layout.caption == kAboutCaption) {
                aboutTexts.push_back(window.texts);
                window.Press(IDOK);
            } else {
                script(window);
            }
        };
        return dialog.DoModal();
    }
    std::vector<std::vector<std::string>> aboutTexts;  // one per About box shown
};

TEST_F(ShellTest, SystemMenuEndsWithSeparatorAndAboutEntry) {
    CGeneratorDialog dialog;
    Run(dialog, [](FakeWindow& w) {
        w.Key(afx::DialogKey::kSystemMenu);
        w.events->OnContextClick(5, 5);  // a right click on the background opens it too
        w.Press(IDCANCEL);
    });
    ASSERT_EQ(backend.menus.size(), 2u);
    for (const auto& menu : backend.menus) {
        ASSERT_EQ(menu.size(), 3u);
        EXPECT_EQ(menu[0].id, SC_CLOSE);
        EXPECT_TRUE(menu[1].separator);
        EXPECT_FALSE(menu[2].separator);
        EXPECT_EQ(menu[2].id, 0x0010u);
        EXPECT_EQ(menu[2].text, "&About wobblegen...");
    }
}

TEST_F(ShellTest, SystemCommandsTenToOneFOpenTheAboutBoxAndTwentyDoesNot) {
    CGeneratorDialog dialog;
    UINT next = 0x0010;
    backend.onMenu = [&](const std::vector<afx::MenuEntry>&) { return next; };
    Run(dialog, [&](FakeWindow& w) {
        for (; next <= 0x0020; ++next) w.Key(afx::DialogKey::kSystemMenu);
        EXPECT_FALSE(w.ended);
        w.Press(IDCANCEL);
    });
    EXPECT_EQ(aboutTexts.size(), 16u) << "0x0010 ... 0x001F each open it once, 0x0020 not";
}

// Where the window system has a system menu of its own (Win32), the framework hands it the
// entries the dialog appends and takes back only the commands it carries out itself.
TEST_F(ShellTest, WindowSystemMenuGetsTheAboutEntryAndLeavesItsOwnCommandsToTheSystem) {
    constexpr UINT kMove = 0xF010, kKeyMenu = 0xF100;
    CGeneratorDialog dialog;
    bool moveHandled = true, keyMenuHandled = true, aboutHandled = false;
    Run(dialog, [&](FakeWindow& w) {
        ASSERT_EQ(w.systemMenuExtras.size(), 2u);
        EXPECT_TRUE(w.systemMenuExtras[0].separator);
        EXPECT_EQ(w.systemMenuExtras[1].id, 0x0010u);
        EXPECT_EQ(w.systemMenuExtras[1].text, "&About wobblegen...");
        moveHandled = w.events->OnSysCommand(kMove);
        keyMenuHandled = w.events->OnSysCommand(kKeyMenu + 0x20);  // Alt+Space
        EXPECT_TRUE(aboutTexts.empty());
        aboutHandled = w.events->OnSysCommand(0x0013);  // the low four bits are the system's
        EXPECT_FALSE(w.ended);
        EXPECT_TRUE(w.events->OnSysCommand(SC_CLOSE + 2));
    });
    EXPECT_FALSE(moveHandled);
    EXPECT_FALSE(keyMenuHandled);
    EXPECT_TRUE(aboutHandled);
    EXPECT_EQ(aboutTexts.size(), 1u);
    EXPECT_EQ(backend.loopsLeftRunning, 0) << "Close ends the dialog";
}

TEST_F(ShellTest, RevertedSystemMenuLosesItsExtras) {
    CGeneratorDialog dialog;
    Run(dialog, [&](FakeWindow& w) {
        ASSERT_EQ(w.systemMenuExtras.size(), 2u);
        EXPECT_EQ(static_cast<CWnd&>(dialog).GetSystemMenu(TRUE), nullptr);
        EXPECT_TRUE(w.systemMenuExtras.empty());
        w.Press(IDCANCEL);
    });
}

TEST_F(ShellTest, AboutBoxShowsTheVersionAndReturnsToTheUnchangedDialog) {
    CGeneratorDialog dialog;
    backend.onMenu = [](const std::vector<afx::MenuEntry>& entries) { return entries.back().id; };
    Run(dialog, [&](FakeWindow& w) {
        w.Type(IDC_LEVEL, "2.5");
        w.Type(IDC_FILE_NAME, "other.wav");
        w.Key(afx::DialogKey::kSystemMenu);
        EXPECT_FALSE(w.ended);
        EXPECT_EQ(w.Text(IDC_LEVEL), "2.5");
        EXPECT_EQ(w.Text(IDC_FILE_NAME), "other.wav");
        EXPECT_EQ(w.Text(IDC_SAMPLE_RATE), "44100");
        w.Press(IDCANCEL);
    });
    ASSERT_EQ(aboutTexts.size(), 1u);
    const std::vector<std::string>& texts = aboutTexts[0];
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[1], "wobblegen Version 1.0");
    EXPECT_FALSE(texts[2].empty());
    EXPECT_EQ(texts[3], "OK");
}

TEST_F(ShellTest, WithoutString101TheMenuHasNoAboutEntryButTheIconsAreSet) {
    ResourceModule withoutStrings = wobblegenResources;
    withoutStrings.stringCount = 0;
    AfxSetResourceHandle(&withoutStrings);
    CGeneratorDialog dialog;
    Run(dialog, [](FakeWindow& w) {
        w.Key(afx::DialogKey::kSystemMenu);
        EXPECT_NE(w.bigIcon, nullptr);
        EXPECT_NE(w.smallIcon, nullptr);
        w.Press(IDCANCEL);
    });
    ASSERT_EQ(backend.menus.size(), 1u);
    ASSERT_EQ(backend.menus[0].size(), 1u);
    EXPECT_EQ(backend.menus[0][0].id, SC_CLOSE);
}

TEST_F(ShellTest, CloseFromTheSystemMenuEndsAsCancel) {
    CGeneratorDialog dialog;
    backend.onMenu = [](const std::vector<afx::MenuEntry>&) { return SC_CLOSE; };
    const INT_PTR result = Run(dialog, [](FakeWindow& w) { w.Key(afx::DialogKey::kSystemMenu); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(backend.loopsLeftRunning, 0);
}

TEST_F(ShellTest, BothIconsComeFromIconGroup128) {
    CGeneratorDialog dialog;
    ASSERT_NE(dialog.m_hIcon, nullptr);
    EXPECT_EQ(dialog.m_hIcon->id, IDI_APP_ICON);
    Run(dialog, [](FakeWindow& w) {
        ASSERT_NE(w.bigIcon, nullptr);
        ASSERT_NE(w.smallIcon, nullptr);
        EXPECT_EQ(w.bigIcon->width, 32);
        EXPECT_EQ(w.bigIcon->height, 32);
        EXPECT_EQ(w.smallIcon->width, 16);
        EXPECT_EQ(w.smallIcon->height, 16);
        w.Press(IDCANCEL);
    });
    EXPECT_EQ(dialog.SendMessage(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(dialog.m_hIcon));
}

TEST_F(ShellTest, MinimisedDialogPaintsItsIconCentred) {
    CGeneratorDialog dialog;
    Run(dialog, [](FakeWindow& w) {
        FakeSurface normal;
        EXPECT_FALSE(w.events->OnPaint(normal)) << "not minimised: the toolkit draws";
        EXPECT_TRUE(normal.icons.empty());

        w.iconic = true;
        FakeSurface minimised;
        EXPECT_TRUE(w.events->OnPaint(minimised));
        EXPECT_EQ(minimised.backgroundFills, 1);
        ASSERT_EQ(minimised.icons.size(), 1u);
        // Client 386 x 254 px: ((386 - 32 + 1) / 2, (254 - 32 + 1) / 2).
        EXPECT_EQ(minimised.icons[0].x, 177);
        EXPECT_EQ(minimised.icons[0].y, 111);
        EXPECT_EQ(minimised.icons[0].width, 32);
        w.Press(IDCANCEL);
    });
}

// Font of the fake backend: 1.5 px per horizontal and 1.625 px per vertical unit.
TEST_F(ShellTest, GeneratorDialogIsLaidOutFromItsTemplateInTabOrder) {
    using K = ControlClass;
    struct Rect {
        int x, y, width, height;
    };
    const struct {
        ControlClass kind;
        int id;
        const char* text;
        Rect units;   // in the template
        Rect pixels;  // laid out
    } expected[] = {
        {K::kButton, IDOK, "OK", {193, 7, 50, 14}, {290, 11, 75, 23}},
        {K::kButton, IDCANCEL, "Cancel", {193, 25, 50, 14}, {290, 41, 75, 23}},
        {K::kEdit, IDC_SAMPLE_RATE, "", {71, 13, 62, 12}, {107, 21, 93, 20}},
        {K::kStatic, -1, "Sample Rate", {7, 15, 57, 10}, {11, 24, 86, 16}},
        {K::kEdit, IDC_MOD_FREQUENCY, "", {71, 34, 62, 12}, {107, 55, 93, 20}},
        {K::kStatic, -1, "Mod. Frequency", {7, 36, 57, 10}, {11, 59, 86, 16}},
        {K::kEdit, IDC_LEVEL, "", {71, 71, 62, 12}, {107, 115, 93, 20}},
        {K::kStatic, -1, "Level", {7, 73, 57, 10}, {11, 119, 86, 16}},
        {K::kEdit, IDC_FILE_NAME, "", {71, 112, 62, 12}, {107, 182, 93, 20}},
        {K::kStatic, -1, "File Name", {7, 114, 57, 10}, {11, 185, 86, 16}},
        {K::kStatic, -1, "Hz", {140, 16, 16, 11}, {210, 26, 24, 18}},
        {K::kStatic, -1, "Hz", {140, 37, 16, 11}, {210, 60, 24, 18}},
        {K::kStatic, -1, "%", {140, 74, 16, 11}, {210, 120, 24, 18}},
        {K::kStatic, -1, "16-bit mono PCM WAV file", {143, 141, 107, 8}, {215, 229, 161, 13}},
        {K::kEdit, IDC_CENTER_FREQUENCY, "", {71, 52, 62, 12}, {107, 85, 93, 20}},
        {K::kStatic, -1, "Center Frequency", {7, 55, 57, 10}, {11, 89, 86, 16}},
        {K::kStatic, -1, "Hz", {140, 55, 16, 11}, {210, 89, 24, 18}},
        {K::kEdit, IDC_DURATION, "", {71, 92, 62, 12}, {107, 150, 93, 20}},
        {K::kStatic, -1, "Duration", {7, 94, 57, 10}, {11, 153, 86, 16}},
        {K::kStatic, -1, "s", {140, 95, 16, 11}, {210, 154, 24, 18}},
    };
    constexpr std::size_t kControls = sizeof expected / sizeof expected[0];

    const DialogTemplate* dialogTemplate = AfxFindDialogTemplate(IDD_GENERATOR);
    ASSERT_NE(dialogTemplate, nullptr);
    ASSERT_EQ(dialogTemplate->itemCount, kControls);
    for (std::size_t i = 0; i < kControls; ++i) {
        SCOPED_TRACE("template item " + std::to_string(i));
        const DialogItemTemplate& item = dialogTemplate->items[i];
        EXPECT_EQ(item.controlClass, expected[i].kind);
        EXPECT_EQ(item.id, expected[i].id);
        EXPECT_STREQ(item.text, expected[i].text);
        EXPECT_EQ(item.x, expected[i].units.x);
        EXPECT_EQ(item.y, expected[i].units.y);
        EXPECT_EQ(item.cx, expected[i].units.width);
        EXPECT_EQ(item.cy, expected[i].units.height);
    }

    CGeneratorDialog dialog;
    Run(dialog, [&](FakeWindow& w) {
        EXPECT_EQ(w.layout.caption, kCaption);
        EXPECT_EQ(w.layout.source, dialogTemplate);  // for a window system's own dialogs
        EXPECT_EQ(w.layout.width, 386);              // 257 units
        EXPECT_EQ(w.layout.height, 254);             // 156 units
        EXPECT_EQ(w.layout.fontFace, "MS Sans Serif");
        EXPECT_EQ(w.layout.pointSize, 8);
        EXPECT_NE(w.layout.style & WS_SYSMENU, 0u);
        EXPECT_EQ(w.layout.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
        EXPECT_NE(w.layout.exStyle & WS_EX_APPWINDOW, 0u);

        ASSERT_EQ(w.layout.controls.size(), kControls);
        for (std::size_t i = 0; i < kControls; ++i) {
            SCOPED_TRACE("control " + std::to_string(i) + " \"" + expected[i].text + '"');
            const afx::ControlLayout& c = w.layout.controls[i];
            EXPECT_EQ(c.controlClass, expected[i].kind);
            EXPECT_EQ(c.id, expected[i].id);
            EXPECT_EQ(c.text, expected[i].text);
            EXPECT_EQ(c.rect.x, expected[i].pixels.x);
            EXPECT_EQ(c.rect.y, expected[i].pixels.y);
            EXPECT_EQ(c.rect.width, expected[i].pixels.width);
            EXPECT_EQ(c.rect.height, expected[i].pixels.height);
            if (c.controlClass == K::kEdit) {
                EXPECT_EQ(c.style & (ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP),
                          ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP);
            } else if (c.controlClass == K::kStatic) {
                EXPECT_NE(c.style & WS_GROUP, 0u);
            }
        }
        EXPECT_EQ(w.layout.controls[0].style & 0xF, BS_DEFPUSHBUTTON);
        EXPECT_EQ(w.layout.controls[1].style & 0xF, BS_PUSHBUTTON);

        std::vector<int> tabStops;
        for (const afx::ControlLayout& c : w.layout.controls)
            if (c.style & WS_TABSTOP) tabStops.push_back(c.id);
        EXPECT_EQ(tabStops,
                  (std::vector<int>{IDOK, IDCANCEL, IDC_SAMPLE_RATE, IDC_MOD_FREQUENCY, IDC_LEVEL,
                                    IDC_FILE_NAME, IDC_CENTER_FREQUENCY, IDC_DURATION}));
        w.Press(IDCANCEL);
    });
}

TEST_F(ShellTest, AboutBoxIsLaidOutFromTemplate100) {
    CGeneratorDialog dialog;
    backend.onMenu = [](const std::vector<afx::MenuEntry>&) { return ID_SYS_ABOUT; };
    afx::WindowLayout about;
    backend.onModal = [&](FakeWindow& w) {
        if (w.layout.caption == kAboutCaption) {
            about = w.layout;
            w.Press(IDOK);
        } else {
            w.Key(afx::DialogKey::kSystemMenu);
            w.Press(IDCANCEL);
        }
    };
    dialog.DoModal();
    EXPECT_EQ(about.width, 353);  // 235 units
    EXPECT_EQ(about.height, 89);  // 55 units
    ASSERT_EQ(about.controls.size(), 4u);
    EXPECT_EQ(about.controls[0].style & 0xF, SS_ICON);
    ASSERT_NE(about.controls[0].icon, nullptr);
    EXPECT_EQ(about.controls[0].icon->id, IDI_APP_ICON);
    EXPECT_NE(about.controls[1].style & SS_NOPREFIX, 0u);
    EXPECT_EQ(about.controls[3].id, IDOK);
    EXPECT_EQ(about.controls[3].rect.x, 267);
}

TEST_F(ShellTest, InitInstanceRunsTheDialogAndTheProgramEndsWithIt) {
    CGeneratorApp app;
    int dialogsRun = 0;
    CWnd* mainWindowWhileOpen = nullptr;
    backend.onModal = [&](FakeWindow& w) {
        ++dialogsRun;
        mainWindowWhileOpen = AfxGetApp()->m_pMainWnd;
        EXPECT_EQ(w.layout.caption, kCaption);
        w.Press(IDCANCEL);
    };
    char commandLine[] = "";
    EXPECT_EQ(app.InitInstance(), FALSE);
    EXPECT_EQ(AfxWinMain(&wobblegenResources, nullptr, commandLine, SW_SHOWNORMAL), 0);
    EXPECT_EQ(dialogsRun, 2);
    EXPECT_NE(mainWindowWhileOpen, nullptr);
    EXPECT_EQ(app.m_pMainWnd, nullptr) << "no main window outlives the dialog";
}

TEST_F(ShellTest, ResourcesHoldTheAboutStringAndTheVersionBlock) {
    CString about;
    EXPECT_TRUE(about.LoadString(IDS_ABOUT_MENU));
    EXPECT_TRUE(about == "&About wobblegen...");
    CString missing;
    EXPECT_FALSE(missing.LoadString(999));
    EXPECT_TRUE(missing.IsEmpty());

    const VersionResource* version = wobblegenResources.version;
    ASSERT_NE(version, nullptr);
    EXPECT_EQ((std::vector<WORD>(version->fileVersion, version->fileVersion + 4)),
              (std::vector<WORD>{1, 0, 0, 3}));
    EXPECT_EQ((std::vector<WORD>(version->productVersion, version->productVersion + 4)),
              (std::vector<WORD>{1, 0, 0, 1}));
    EXPECT_EQ(version->fileType, VFT_APP);
    EXPECT_STREQ(version->stringBlock, "040904B0");
    std::map<std::string, std::string> strings;
    for (std::size_t i = 0; i < version->stringCount; ++i)
        EXPECT_TRUE(strings.emplace(version->strings[i].key, version->strings[i].value).second)
            << "twice: " << version->strings[i].key;
    ASSERT_EQ(strings.size(), 9u);
    EXPECT_EQ(strings.at("CompanyName"), "");
    EXPECT_EQ(strings.at("FileDescription"), "wobblegen MFC Application");
    EXPECT_EQ(strings.at("FileVersion"), "1, 0, 0, 3");
    EXPECT_EQ(strings.at("InternalName"), "wobblegen");
    EXPECT_FALSE(strings.at("LegalCopyright").empty());
    EXPECT_EQ(strings.at("LegalTrademarks"), "");
    EXPECT_EQ(strings.at("OriginalFilename"), "wobblegen.EXE");
    EXPECT_EQ(strings.at("ProductName"), "wobblegen Application");
    EXPECT_EQ(strings.at("ProductVersion"), "1, 0, 0, 1");
}

TEST_F(ShellTest, IconImagesUseOnlyTheSixteenColoursOrTransparency) {
    const HICON icon = LoadIcon(&wobblegenResources, IDI_APP_ICON);
    ASSERT_NE(icon, nullptr);
    ASSERT_EQ(icon->imageCount, 2u);
    for (std::size_t i = 0; i < icon->imageCount; ++i) {
        const IconImage& image = icon->images[i];
        for (int y = 0; y < image.height; ++y) {
            const std::string row = image.rows[y];
            ASSERT_EQ(row.size(), static_cast<std::size_t>(image.width)) << "row " << y;
            EXPECT_EQ(row.find_first_not_of("0123456789abcdef "), std::string::npos) << row;
        }
    }
}

}  // namespace
