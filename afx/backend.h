// The one narrow interface between the afx framework and a window-system toolkit. The
// framework keeps all dialog logic; a backend only makes windows, draws and reports input.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "afx/afxres.h"

namespace afx {

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Metrics of the dialog font in pixels: the average width of the 52 letters A-Z and a-z
// (may be fractional) and the line height.
struct FontMetrics {
    double averageLetterWidth = 0.0;
    int height = 0;
};

// A control to create, already converted to pixels.
struct ControlLayout {
    ControlClass controlClass = ControlClass::kStatic;
    int id = -1;
    std::string text;
    PixelRect rect;
    DWORD style = 0;
    const IconGroup* icon = nullptr;  // SS_ICON statics
    const IconPalette* palette = nullptr;
};

// A dialog window to create: client size in pixels and the controls in tab order, and the
// template it was made from (in dialog units), for window systems that lay dialogs out
// themselves.
struct WindowLayout {
    const DialogTemplate* source = nullptr;
    std::string caption;
    int width = 0, height = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string fontFace;
    int pointSize = 8;
    std::vector<ControlLayout> controls;
};

struct MenuEntry {
    bool separator = false;
    UINT id = 0;
    std::string text;  // '&' marks the mnemonic
};

// Keys that mean something to a dialog as a whole.
enum class DialogKey { kEnter, kEscape, kSystemMenu, kHelp };

// A paint surface handed to the framework while a window paints.
class PaintSurface {
public:
    virtual ~PaintSurface() = default;
    virtual void FillBackground() = 0;
    virtual void DrawIcon(int x, int y, const IconImage& image, const IconPalette& palette) = 0;
};

// What the framework hears from a window. Calls arrive on the one user-interface thread,
// only while a modal loop runs.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    virtual void OnButton(int controlId) = 0;
    virtual void OnKey(DialogKey key) = 0;
    virtual void OnCloseRequest() = 0;              // the window manager's close button
    virtual void OnContextClick(int x, int y) = 0;  // right click on the background, client pixels
    // Returns true when the framework painted; false leaves the toolkit's own drawing.
    virtual bool OnPaint(PaintSurface& surface) = 0;
    // A command chosen from the window system's own system menu (WM_SYSCOMMAND's wParam).
    // Returns true when the framework carried it out; false leaves it to the window system.
    virtual bool OnSysCommand(UINT command) = 0;
};

using WindowHandle = int;  // 0 is no window

class Backend {
public:
    virtual ~Backend() = default;

    virtual FontMetrics MeasureFont(const std::string& face, int pointSize) = 0;
    virtual WindowHandle CreateDialogWindow(const WindowLayout& layout, WindowEvents* events) = 0;
    virtual void DestroyWindow(WindowHandle window) = 0;

    // Controls are addressed by their index in WindowLayout::controls.
    virtual void SetControlText(WindowHandle window, int index, const std::string& text) = 0;
    virtual std::string GetControlText(WindowHandle window, int index) = 0;
    // Puts the keyboard focus on the control; for an edit, selectAll selects its whole text.
    virtual void FocusControl(WindowHandle window, int index, bool selectAll) = 0;
    virtual int FocusedControl(WindowHandle window) = 0;  // -1 for none

    virtual void SetIcons(WindowHandle window, const IconImage* big, const IconImage* small,
                          const IconPalette* palette) = 0;
    virtual bool IsIconic(WindowHandle window) = 0;
    virtual PixelRect ClientRect(WindowHandle window) = 0;
    virtual int IconSize() = 0;  // the system's icon size in pixels, square

    // Shows the window and runs its modal loop until EndModalLoop is called for it.
    virtual void RunModalLoop(WindowHandle window) = 0;
    virtual void EndModalLoop(WindowHandle window) = 0;

    // The entries the program has appended to the window's system menu, after the system's
    // own. A window system with a system menu of its own shows them there (and reports them
    // through OnSysCommand); the others leave the menu to TrackPopupMenu.
    virtual void SetSystemMenuExtras(WindowHandle /*window*/,
                                     const std::vector<MenuEntry>& /*extras*/) {}

    // Pops up a menu at client pixel (x, y); returns the chosen id, 0 when dismissed.
    virtual UINT TrackPopupMenu(WindowHandle window, const std::vector<MenuEntry>& entries, int x,
                                int y) = 0;
    // Modal message box with an OK button over owner (0 for none).
    virtual void MessageBox(WindowHandle owner, const std::string& text,
                            const std::string& caption) = 0;
};

// The backend in use; created with AfxCreateDefaultBackend on first use unless one was set.
Backend& GetBackend();
void SetBackend(Backend* backend);

}  // namespace afx

// Provided by the linked backend library (afx/fltk or afx/win32 for the desktop program).
std::unique_ptr<afx::Backend> AfxCreateDefaultBackend();
