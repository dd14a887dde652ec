// The resources of wobblegen, as data: the generator and About dialog templates, the string
// table, the application icon group and the version block (all U.S. English, 0x0409).
#include "res/resources.h"

#include "res/resource.h"
#include "res/version.h"

namespace {

constexpr DWORD kEdit = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | WS_GROUP;
constexpr DWORD kDialogFrame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

// Generator dialog. Template order is the tab order: OK, Cancel, then the fields in the order
// they were added, not the order they appear on screen.
constexpr DialogItemTemplate kGeneratorItems[] = {
    {ControlClass::kButton, IDOK, "OK", 193, 7, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
    {ControlClass::kButton, IDCANCEL, "Cancel", 193, 25, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0},
    {ControlClass::kEdit, IDC_SAMPLE_RATE, "", 71, 13, 62, 12, kEdit, 0},
    {ControlClass::kStatic, -1, "Sample Rate", 7, 15, 57, 10, kLabel, 0},
    {ControlClass::kEdit, IDC_MOD_FREQUENCY, "", 71, 34, 62, 12, kEdit, 0},
    {ControlClass::kStatic, -1, "Mod. Frequency", 7, 36, 57, 10, kLabel, 0},
    {ControlClass::kEdit, IDC_LEVEL, "", 71, 71, 62, 12, kEdit, 0},
    {ControlClass::kStatic, -1, "Level", 7, 73, 57, 10, kLabel, 0},
    {ControlClass::kEdit, IDC_FILE_NAME, "", 71, 112, 62, 12, kEdit, 0},
    {ControlClass::kStatic, -1, "File Name", 7, 114, 57, 10, kLabel, 0},
    {ControlClass::kStatic, -1, "Hz", 140, 16, 16, 11, kLabel, 0},
    {ControlClass::kStatic, -1, "Hz", 140, 37, 16, 11, kLabel, 0},
    {ControlClass::kStatic, -1, "%", 140, 74, 16, 11, kLabel, 0},
    {ControlClass::kStatic, -1, "16-bit mono PCM WAV file", 143, 141, 107, 8, kLabel, 0},
    {ControlClass::kEdit, IDC_CENTER_FREQUENCY, "", 71, 52, 62, 12, kEdit, 0},
    {ControlClass::kStatic, -1, "Center Frequency", 7, 55, 57, 10, kLabel, 0},
    {ControlClass::kStatic, -1, "Hz", 140, 55, 16, 11, kLabel, 0},
    {ControlClass::kEdit, IDC_DURATION, "", 71, 92, 62, 12, kEdit, 0},
    {ControlClass::kStatic, -1, "Duration", 7, 94, 57, 10, kLabel, 0},
    {ControlClass::kStatic, -1, "s", 140, 95, 16, 11, kLabel, 0},
};

// clang-format off
constexpr DialogTemplate kGeneratorDialog = {
    IDD_GENERATOR, true, "Wow and Flutter generator", 257, 156,
    kDialogFrame | WS_VISIBLE, WS_EX_APPWINDOW,
    "MS Sans Serif", 8, 400, false, 1,  // font: face, points, weight, italic, character set
    kGeneratorItems, sizeof kGeneratorItems / sizeof kGeneratorItems[0]};
// clang-format on

constexpr DialogItemTemplate kAboutItems[] = {
    {ControlClass::kStatic, -1, "", 11, 17, 20, 20, SS_ICON, IDI_APP_ICON},
    {ControlClass::kStatic, -1, "wobblegen Version " WOBBLEGEN_VERSION_TEXT, 40, 10, 119, 8,
     SS_LEFT | SS_NOPREFIX | WS_GROUP, 0},
    {ControlClass::kStatic, -1, "Wow and flutter test tones", 40, 25, 119, 8, SS_LEFT | WS_GROUP,
     0},
    {ControlClass::kButton, IDOK, "OK", 178, 7, 50, 14, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP,
     0},
};

// clang-format off
constexpr DialogTemplate kAboutDialog = {
    IDD_ABOUT_BOX, false, "About wobblegen", 235, 55,
    kDialogFrame, 0,
    "MS Sans Serif", 8, 400, false, 1,
    kAboutItems, sizeof kAboutItems / sizeof kAboutItems[0]};
// clang-format on

constexpr const DialogTemplate* kDialogs[] = {&kAboutDialog, &kGeneratorDialog};

constexpr StringResource kStrings[] = {
    {IDS_ABOUT_MENU, "&About wobblegen..."},
};

// The standard 16 colours: 0 black, 7 silver, 8 grey, 6 teal, a lime, f white, ...
constexpr IconPalette kPalette = {{0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                   0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                   0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF}};

// An oscilloscope screen showing a tone whose cycles crowd and spread: the wobble.
// clang-format off
constexpr const char* kIcon32[] = {
    " ffffffffffffffffffffffffffffff ",
    "f7777777777777777777777777777778",
    "f7888888888888888888888888888878",
    "f7800000060000006000000600000878",
    "f7800000000000000000000000000878",
    "f7800aa0060aa00060aa000600000878",
    "f7800aa0000aa00000aa000000000878",
    "f7800aa0060aa0006aa0a00600000878",
    "f7800aaa000aa0000a00a00000000878",
    "f7860a0a06aaa6066a06a60606060878",
    "f7800a0a00a0a0000a00aa0000000878",
    "f780aa0a06a0a0006a000a0600000878",
    "f780a00a00a0a000aa000a0000000878",
    "f780a00a06a0a000a0000a0600000878",
    "f780a00a00a0aa00a0000aa000000878",
    "f786a60a06a60a06a60606a6060a0878",
    "f786060a06a60a06a60606a6060a0878",
    "f780000a06a00a00a00000a6000a0878",
    "f780000a00a00a00a00000a0000a0878",
    "f780000aa6a00a00a00000aa000a0878",
    "f7800000a0a00a0aa000000a00a00878",
    "f7800000aa000a0a6000000a00a00878",
    "f7800000aa000a0a0000000a00a00878",
    "f7860606aa060a0a6606060aa6a60878",
    "f7800000aa000aaa00000000a0a00878",
    "f7800000aa0000aa60000006aaa00878",
    "f7800000aa0000aa00000000aa000878",
    "f7800000060000006000000600000878",
    "f7800000000000000000000000000878",
    "f7888888888888888888888888888878",
    "f7777777777777777777777777777778",
    " 888888888888888888888888888888 ",
};
// clang-format on

// clang-format off
constexpr const char* kIcon16[] = {
    " 77777777777777 ",
    "7000000000000008",
    "700a000aa0000008",
    "700aa00aa0000008",
    "70aaa00aa0000008",
    "70a0a0aaa0000008",
    "70a0a0a0aa000008",
    "70a0a0a00a000a08",
    "7000a0a00a000a08",
    "7000a0a00a000a08",
    "7000aaa00aa0aa08",
    "70000aa000a0a008",
    "70000aa000aaa008",
    "70000a00000aa008",
    "7000000000000008",
    " 88888888888888 ",
};
// clang-format on

constexpr IconImage kIconImages[] = {{32, 32, kIcon32}, {16, 16, kIcon16}};

constexpr VersionString kVersionStrings[] = {
    {"CompanyName", ""},
    {"FileDescription", "wobblegen MFC Application"},
    {"FileVersion", WOBBLEGEN_FILE_VERSION_TEXT},
    {"InternalName", "wobblegen"},
    {"LegalCopyright", "Copyright (C) 2026 the wobblegen developers"},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "wobblegen.EXE"},
    {"ProductName", "wobblegen Application"},
    {"ProductVersion", WOBBLEGEN_PRODUCT_VERSION_TEXT},
};

constexpr VersionResource kVersion = {{WOBBLEGEN_FILE_VERSION},
                                      {WOBBLEGEN_PRODUCT_VERSION},
                                      VFT_APP,
                                      "040904B0",
                                      kVersionStrings,
                                      sizeof kVersionStrings / sizeof kVersionStrings[0]};

}  // namespace

const IconGroup wobblegenAppIcon = {IDI_APP_ICON, &kPalette, kIconImages, 2};

namespace {
const IconGroup* const kIconGroups[] = {&wobblegenAppIcon};
}  // namespace

const ResourceModule wobblegenResources = {0x0409, kDialogs,    2, kStrings,
                                           1,      kIconGroups, 1, &kVersion};
