// Resource data of a program built on the afx framework: dialog templates, the string table,
// icon groups and the version block, with the Win32 style and message numbers they use.
#pragma once

#include <cstddef>
#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LPCTSTR = const char*;
using LPTSTR = char*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Window styles (the Win32 values, so that templates read as in a resource script).
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;  // same bit as WS_GROUP, on top-level windows
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;  // same bit as WS_TABSTOP, on top-level windows
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD DS_MODALFRAME = 0x00000080;
constexpr DWORD DS_SETFONT = 0x00000040;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD SS_LEFT = 0x0000;
constexpr DWORD SS_ICON = 0x0003;
constexpr DWORD SS_NOPREFIX = 0x0080;
constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;

// Show state given to AfxWinMain.
constexpr int SW_SHOWNORMAL = 1;

// Dialog result and standard control ids.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Window messages the framework dispatches.
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_ICONERASEBKGND = 0x0027;
constexpr UINT WM_QUERYDRAGICON = 0x0037;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;

// WM_SETICON's wParam.
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

// System-menu commands; the low four bits are the system's own and are ignored when matching.
constexpr UINT SC_CLOSE = 0xF060;

// The framework's Help command.
constexpr UINT ID_HELP = 0xE146;

// Window class of a dialog control.
enum class ControlClass { kButton, kEdit, kStatic };

// One control of a dialog template. Rectangles are in dialog units.
struct DialogItemTemplate {
    ControlClass controlClass;
    int id;  // -1 for a control that needs none (labels)
    const char* text;
    short x, y, cx, cy;
    DWORD style;
    UINT iconId;  // SS_ICON statics: the icon group shown
};

// A dialog template: frame, font and the controls in template (and tab) order.
struct DialogTemplate {
    UINT id;
    bool extended;
    const char* caption;
    short cx, cy;  // client size in dialog units
    DWORD style;
    DWORD exStyle;
    const char* fontFace;
    short pointSize;
    WORD weight;
    bool italic;
    BYTE charset;
    const DialogItemTemplate* items;
    std::size_t itemCount;
};

// An icon image: width x height palette indices, one character per pixel, row by row from
// the top: '0'-'9' and 'a'-'f' pick a palette colour, ' ' is transparent.
struct IconImage {
    int width, height;
    const char* const* rows;
};

// The 16 colours of an icon image, 0xRRGGBB.
struct IconPalette {
    std::uint32_t colors[16];
};

struct IconGroup {
    UINT id;
    const IconPalette* palette;
    const IconImage* images;
    std::size_t imageCount;
};

struct StringResource {
    UINT id;
    const char* text;
};

struct VersionString {
    const char* key;
    const char* value;
};

// The version block: fixed part plus the string table of one language and code page.
struct VersionResource {
    WORD fileVersion[4];
    WORD productVersion[4];
    DWORD fileType;           // VFT_APP
    const char* stringBlock;  // language and code page, e.g. "040904B0"
    const VersionString* strings;
    std::size_t stringCount;
};

constexpr DWORD VFT_APP = 0x00000001;

// Resource types, as the numbers of the Win32 RT_ constants.
enum class ResourceType { kString = 6, kGroupIcon = 14, kDialog = 5, kVersion = 16 };

// All resources of one module; a module handle points at one of these.
struct ResourceModule {
    WORD language;
    const DialogTemplate* const* dialogs;
    std::size_t dialogCount;
    const StringResource* strings;
    std::size_t stringCount;
    const IconGroup* const* iconGroups;
    std::size_t iconGroupCount;
    const VersionResource* version;
};
