// A window-system backend that shows nothing: it records what the framework asks of it and
// lets a test drive each modal dialog as a user would, without a display.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "afx/backend.h"

struct FakeWindow {
    afx::WindowLayout layout;
    afx::WindowEvents* events = nullptr;
    std::vector<std::string> texts;
    int focus = -1;
    bool selectAll = false;
    bool running = false;
    bool ended = false;
    bool iconic = false;
    const IconImage* bigIcon = nullptr;
    const IconImage* smallIcon = nullptr;
    std::vector<afx::MenuEntry> systemMenuExtras;  // as a window system's own menu shows them

    int Index(int id) const;
    const std::string& Text(int id) const;
    void Type(int id, const std::string& text);  // replaces the field's text
    void Press(int id) { events->OnButton(id); }
    void Key(afx::DialogKey key) { events->OnKey(key); }
};

// Records of a paint: what the framework drew.
struct FakeSurface final : afx::PaintSurface {
    int backgroundFills = 0;
    struct Icon {
        int x, y, width, height;
    };
    std::vector<Icon> icons;
    void FillBackground() override { ++backgroundFills; }
    void DrawIcon(int x, int y, const IconImage& image, const IconPalette&) override {
        icons.push_back({x, y, image.width, image.height});
    }
};

class FakeBackend final : public afx::Backend {
public:
    // Average letter width 6 px and height 13 px: 1.5 px per horizontal and 1.625 px per
    // vertical dialog unit.
    afx::FontMetrics font{6.0, 13};

    // Runs when a modal loop starts, with its window; acts as the user.
    std::function<void(FakeWindow&)> onModal;
    // Chooses from a pop-up menu; returns the id, 0 to dismiss. Records the entries.
    std::function<UINT(const std::vector<afx::MenuEntry>&)> onMenu;
    std::vector<std::vector<afx::MenuEntry>> menus;
    std::vector<std::string> messages;  // message box texts, in order
    std::vector<std::string> messageCaptions;
    int loopsLeftRunning = 0;  // modal loops whose script ended without ending the dialog

    FakeWindow& Window(afx::WindowHandle handle) { return *windows_.at(handle); }
    // The running modal window with this caption, or null.
    FakeWindow* Find(const std::string& caption);

    afx::FontMetrics MeasureFont(const std::string&, int) override { return font; }
    afx::WindowHandle CreateDialogWindow(const afx::WindowLayout& layout,
                                         afx::WindowEvents* events) override;
    void DestroyWindow(afx::WindowHandle window) override;
    void SetControlText(afx::WindowHandle window, int index, const std::string& text) override;
    std::string GetControlText(afx::WindowHandle window, int index) override;
    void FocusControl(afx::WindowHandle window, int index, bool selectAll) override;
    int FocusedControl(afx::WindowHandle window) override;
    void SetIcons(afx::WindowHandle window, const IconImage* big, const IconImage* small,
                  const IconPalette* palette) override;
    bool IsIconic(afx::WindowHandle window) override;
    afx::PixelRect ClientRect(afx::WindowHandle window) override;
    int IconSize() override { return 32; }
    void RunModalLoop(afx::WindowHandle window) override;
    void EndModalLoop(afx::WindowHandle window) override;
    void SetSystemMenuExtras(afx::WindowHandle window,
                             const std::vector<afx::MenuEntry>& extras) override;
    UINT TrackPopupMenu(afx::WindowHandle window, const std::vector<afx::MenuEntry>& entries, int x,
                        int y) override;
    void MessageBox(afx::WindowHandle owner, const std::string& text,
                    const std::string& caption) override;

private:
    std::map<afx::WindowHandle, std::unique_ptr<FakeWindow>> windows_;
    afx::WindowHandle next_ = 1;
};
