// The Win32 calls of the afx Win32 backend behind plain C++ types: <windows.h> and the
// framework's resource header define the same names, so no file sees both. win32_api.cpp is
// the one that includes <windows.h>; win32_backend.cpp speaks the framework's language.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace win32 {

using Window = void*;  // HWND
using Icon = void*;    // HICON

// Receives what a dialog's procedure hears. Calls arrive on the user-interface thread.
class DialogSink {
public:
    virtual ~DialogSink() = default;
    // A button clicked, or IDOK / IDCANCEL from Enter and Escape.
    virtual void OnButton(int id) = 0;
    // WM_SYSCOMMAND: true when carried out, false for the system's own handling.
    virtual bool OnSysCommand(unsigned command) = 0;
    virtual void OnClose() = 0;
    virtual void OnHelp() = 0;
    // A paint; false leaves it to the dialog manager. The surface begins painting on first use.
    class Surface {
    public:
        virtual ~Surface() = default;
        virtual void FillBackground() = 0;
        virtual void DrawIcon(int x, int y, Icon icon, int width, int height) = 0;
    };
    virtual bool OnPaint(Surface& surface) = 0;
    // The icon shown while the minimised window is dragged (null for the system's).
    virtual Icon DragIcon() = 0;
};

struct MenuItem {
    bool separator = false;
    unsigned id = 0;
    std::string text;  // UTF-8; '&' marks the mnemonic
};

void InitCommonControls();

// Average width of the letters A-Z and a-z, and the line height, in pixels.
void MeasureFont(const std::string& face, int pointSize, double& averageWidth, int& height);

// A modeless dialog of the dialog manager from an in-memory template (DLGTEMPLATE or
// DLGTEMPLATEEX, as WORDs), owned by owner; its children in template order. Null on failure.
Window CreateDialogFromTemplate(const std::vector<std::uint16_t>& words, Window owner,
                                DialogSink* sink);
std::vector<Window> ChildWindows(Window dialog);
void DetachSink(Window dialog);
void DestroyWindow(Window window);

void SetText(Window window, const std::string& text);
std::string GetText(Window window);
bool IsVisible(Window window);
// Moves the focus as the dialog manager does (the default button follows); an edit then gets
// its whole text selected when asked.
void FocusDialogControl(Window dialog, Window control, bool selectAll);
Window FocusedWindow();

// An icon from rows of 0xAARRGGBB pixels, top row first; alpha 0 is transparent.
Icon MakeIcon(int width, int height, const std::vector<std::uint32_t>& argb);
void DestroyIcon(Icon icon);
void SetWindowIcon(Window window, bool big, Icon icon);
void SetStaticIcon(Window control, Icon icon);

bool IsMinimized(Window window);
void ClientSize(Window window, int& width, int& height);
int SystemIconSize();

// A modal dialog's life: shown centred over its owner (or the screen) with the owner disabled;
// every message through the dialog manager's keyboard handling (Tab, Enter, Escape, mnemonics)
// until `ended` turns true; the owner enabled and activated again, the dialog hidden.
void ShowModal(Window dialog);
void RunMessagesUntil(Window dialog, const bool& ended);
void EndModal(Window dialog);

// The system menu with these entries after the system's own.
void SetSystemMenuExtras(Window window, const std::vector<MenuItem>& extras);
// A pop-up menu at client pixel (x, y); the chosen id, 0 when dismissed.
unsigned TrackPopupMenu(Window window, const std::vector<MenuItem>& items, int x, int y);
// The system's message box with an exclamation icon and OK.
void MessageBox(Window owner, const std::string& text, const std::string& caption);

}  // namespace win32
