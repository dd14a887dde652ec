// The application shell: start-up and end, the system menu and its About entry, the icons,
// minimised painting, and the dialog templates as the framework lays them out.
#include "res/resource.h"
#include "res/version.h"
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
    EXPECT_EQ(texts[1], "wobblegen Version " WOBBLEGEN_VERSION_TEXT);
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
    CGeneratorDialog dialog;
    Run(dialog, [](FakeWindow& w) {
        EXPECT_EQ(w.layout.caption, kCaption);
        EXPECT_EQ(w.layout.width, 386);   // 257 units
        EXPECT_EQ(w.layout.height, 254);  // 156 units
        EXPECT_EQ(w.layout.fontFace, "MS Sans Serif");
        EXPECT_EQ(w.layout.pointSize, 8);
        EXPECT_NE(w.layout.style & WS_SYSMENU, 0u);
        EXPECT_NE(w.layout.exStyle & WS_EX_APPWINDOW, 0u);

        std::vector<int> tabStops;
        for (const afx::ControlLayout& c : w.layout.controls)
            if (c.style & WS_TABSTOP) tabStops.push_back(c.id);
        EXPECT_EQ(tabStops,
                  (std::vector<int>{IDOK, IDCANCEL, IDC_SAMPLE_RATE, IDC_MOD_FREQUENCY, IDC_LEVEL,
                                    IDC_FILE_NAME, IDC_CENTER_FREQUENCY, IDC_DURATION}));
        ASSERT_EQ(w.layout.controls.size(), 20u);

        const afx::ControlLayout& ok = w.layout.controls[0];  // 193, 7, 50, 14
        EXPECT_EQ(ok.controlClass, ControlClass::kButton);
        EXPECT_EQ(ok.style & 0xF, BS_DEFPUSHBUTTON);
        EXPECT_EQ(ok.rect.x, 290);
        EXPECT_EQ(ok.rect.y, 11);
        EXPECT_EQ(ok.rect.width, 75);
        EXPECT_EQ(ok.rect.height, 23);
        const afx::ControlLayout& rate = w.layout.controls[2];  // 71, 13, 62, 12
        EXPECT_EQ(rate.id, IDC_SAMPLE_RATE);
        EXPECT_EQ(rate.rect.x, 107);
        EXPECT_EQ(rate.rect.y, 21);
        EXPECT_EQ(rate.rect.width, 93);
        EXPECT_EQ(rate.rect.height, 20);
        EXPECT_NE(rate.style & ES_AUTOHSCROLL, 0u);
        EXPECT_NE(rate.style & WS_BORDER, 0u);
        const afx::ControlLayout& duration = w.layout.controls[17];  // 71, 92, 62, 12
        EXPECT_EQ(duration.id, IDC_DURATION);
        EXPECT_EQ(duration.rect.y, 150);
        const afx::ControlLayout& label = w.layout.controls[15];  // "Center Frequency" 7, 55
        EXPECT_EQ(label.text, "Center Frequency");
        EXPECT_EQ(label.rect.x, 11);
        EXPECT_EQ(label.rect.y, 89);
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
    EXPECT_EQ(version->fileVersion[3], 3);
    EXPECT_EQ(version->productVersion[3], 1);
    EXPECT_STREQ(version->stringBlock, "040904B0");
    std::map<std::string, std::string> strings;
    for (std::size_t i = 0; i < version->stringCount; ++i)
        strings[version->strings[i].key] = version->strings[i].value;
    EXPECT_EQ(strings["FileVersion"], "1, 0, 0, 3");
    EXPECT_EQ(strings["ProductVersion"], "1, 0, 0, 1");
    EXPECT_EQ(strings["OriginalFilename"], "wobblegen.EXE");
    EXPECT_EQ(strings["CompanyName"], "");
    EXPECT_FALSE(strings["LegalCopyright"].empty());
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
