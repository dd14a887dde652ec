// The Win32 backend of the afx framework: each dialog is a real dialog of the system's dialog
// manager, built at run time from the framework's template (extended or classic, with its
// font), with the window's own system menu, icons set with WM_SETICON and the system's
// message boxes. The calls themselves are in win32_api.cpp.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "afx/afxwin.h"
#include "afx/win32/dialog_template.h"
#include "afx/win32/win32_api.h"

namespace {

// ---- Icons ----------------------------------------------------------------------------------

// The image's pixels as 0xAARRGGBB, row by row from the top; ' ' is transparent.
std::vector<std::uint32_t> Pixels(const IconImage& image, const IconPalette& palette) {
    std::vector<std::uint32_t> argb;
    argb.reserve(static_cast<std::size_t>(image.width * image.height));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const char c = image.rows[y][x];
            if (c == ' ') {
                argb.push_back(0);
            } else {
                const int index = c <= '9' ? c - '0' : c - 'a' + 10;
                argb.push_back(0xFF000000u | palette.colors[index & 15]);
            }
        }
    }
    return argb;
}

win32::Icon MakeIcon(const IconImage& image, const IconPalette& palette) {
    return win32::MakeIcon(image.width, image.height, Pixels(image, palette));
}

// ---- Windows --------------------------------------------------------------------------------

class DialogWindow final : public win32::DialogSink {
public:
    win32::Window hwnd = nullptr;
    afx::WindowEvents* events = nullptr;
    std::vector<win32::Window> controls;  // in template order
    std::vector<win32::Icon> icons;       // made for this window, destroyed with it
    win32::Icon bigIcon = nullptr;
    bool ended = false;
    int pendingFocus = -1;
    bool pendingSelectAll = false;

    ~DialogWindow() override {
        for (win32::Icon icon : icons) win32::DestroyIcon(icon);
    }

    void OnButton(int id) override {
        if (events != nullptr) events->OnButton(id);
    }
    bool OnSysCommand(unsigned command) override {
        return events != nullptr && events->OnSysCommand(command);
    }
    void OnClose() override {
        if (events != nullptr) events->OnCloseRequest();
    }
    void OnHelp() override {
        if (events != nullptr) events->OnKey(afx::DialogKey::kHelp);
    }
    bool OnPaint(Surface& surface) override {
        if (events == nullptr) return false;
        Painter painter(surface);
        return events->OnPaint(painter);
    }
    win32::Icon DragIcon() override { return bigIcon; }

private:
    // The framework's paint surface on a window's paint.
    class Painter final : public afx::PaintSurface {
    public:
        explicit Painter(Surface& surface) : surface_(surface) {}
        ~Painter() override {
            for (win32::Icon icon : icons_) win32::DestroyIcon(icon);
        }
        Painter(const Painter&) = delete;
        Painter& operator=(const Painter&) = delete;
        void FillBackground() override { surface_.FillBackground(); }
        void DrawIcon(int x, int y, const IconImage& image, const IconPalette& palette) override {
            win32::Icon icon = MakeIcon(image, palette);
            if (icon == nullptr) return;
            icons_.push_back(icon);
            surface_.DrawIcon(x, y, icon, image.width, image.height);
        }

    private:
        Surface& surface_;
        std::vector<win32::Icon> icons_;
    };
};

std::vector<win32::MenuItem> MenuItems(const std::vector<afx::MenuEntry>& entries) {
    std::vector<win32::MenuItem> items;
    for (const afx::MenuEntry& entry : entries)
        items.push_back({entry.separator, entry.id, entry.text});
    return items;
}

class Win32Backend final : public afx::Backend {
public:
    Win32Backend() { win32::InitCommonControls(); }

    afx::FontMetrics MeasureFont(const std::string& face, int pointSize) override {
        afx::FontMetrics metrics;
        win32::MeasureFont(face, pointSize, metrics.averageLetterWidth, metrics.height);
        return metrics;
    }

    afx::WindowHandle CreateDialogWindow(const afx::WindowLayout& layout,
                                         afx::WindowEvents* events) override {
        if (layout.source == nullptr) return 0;
        auto window = std::make_unique<DialogWindow>();
        const win32::Window owner = active_.empty() ? nullptr : active_.back()->hwnd;
        window->hwnd = win32::CreateDialogFromTemplate(
            afx::BuildWin32DialogTemplate(*layout.source), owner, window.get());
        if (window->hwnd == nullptr) return 0;
        window->controls = win32::ChildWindows(window->hwnd);
        for (std::size_t i = 0; i < layout.controls.size() && i < window->controls.size(); ++i) {
            const afx::ControlLayout& control = layout.controls[i];
            if (control.icon == nullptr || control.palette == nullptr) continue;
            const IconImage* image = afx::IconImageOfSize(control.icon, win32::SystemIconSize());
            if (image == nullptr) continue;
            if (win32::Icon icon = MakeIcon(*image, *control.palette)) {
                window->icons.push_back(icon);
                win32::SetStaticIcon(window->controls[i], icon);
            }
        }
        window->events = events;
        const afx::WindowHandle handle = next_++;
        windows_[handle] = std::move(window);
        return handle;
    }

    void DestroyWindow(afx::WindowHandle handle) override {
        const auto it = windows_.find(handle);
        if (it == windows_.end()) return;
        it->second->events = nullptr;  // the framework's object goes away now
        win32::DetachSink(it->second->hwnd);
        win32::DestroyWindow(it->second->hwnd);
        windows_.erase(it);
    }

    void SetControlText(afx::WindowHandle handle, int index, const std::string& text) override {
        if (win32::Window control = Control(handle, index)) win32::SetText(control, text);
    }

    std::string GetControlText(afx::WindowHandle handle, int index) override {
        win32::Window control = Control(handle, index);
        return control != nullptr ? win32::GetText(control) : std::string();
    }

    void FocusControl(afx::WindowHandle handle, int index, bool selectAll) override {
        DialogWindow* window = Find(handle);
        win32::Window control = Control(handle, index);
        if (control == nullptr) return;
        if (!win32::IsVisible(window->hwnd)) {
            window->pendingFocus = index;  // applied when the modal loop shows the dialog
            window->pendingSelectAll = selectAll;
            return;
        }
        win32::FocusDialogControl(window->hwnd, control, selectAll);
    }

    int FocusedControl(afx::WindowHandle handle) override {
        DialogWindow* window = Find(handle);
        if (window == nullptr) return -1;
        const win32::Window focused = win32::FocusedWindow();
        for (std::size_t i = 0; i < window->controls.size(); ++i)
            if (window->controls[i] == focused) return static_cast<int>(i);
        return -1;
    }

    void SetIcons(afx::WindowHandle handle, const IconImage* big, const IconImage* small,
                  const IconPalette* palette) override {
        DialogWindow* window = Find(handle);
        if (window == nullptr || palette == nullptr) return;
        for (const bool isBig : {true, false}) {
            const IconImage* image = isBig ? big : small;
            if (image == nullptr) continue;
            win32::Icon icon = MakeIcon(*image, *palette);
            if (icon == nullptr) continue;
            window->icons.push_back(icon);
            win32::SetWindowIcon(window->hwnd, isBig, icon);
            if (isBig) window->bigIcon = icon;
        }
    }

    bool IsIconic(afx::WindowHandle handle) override {
        DialogWindow* window = Find(handle);
        return window != nullptr && win32::IsMinimized(window->hwnd);
    }

    afx::PixelRect ClientRect(afx::WindowHandle handle) override {
        afx::PixelRect rect;
        if (DialogWindow* window = Find(handle))
            win32::ClientSize(window->hwnd, rect.width, rect.height);
        return rect;
    }

    int IconSize() override { return win32::SystemIconSize(); }

    void RunModalLoop(afx::WindowHandle handle) override {
        DialogWindow* window = Find(handle);
        if (window == nullptr) return;
        window->ended = false;
        active_.push_back(window);
        win32::ShowModal(window->hwnd);
        // The focus moves only within a visible dialog.
        if (window->pendingFocus >= 0) {
            const int index = window->pendingFocus;
            window->pendingFocus = -1;
            FocusControl(handle, index, window->pendingSelectAll);
        }
        win32::RunMessagesUntil(window->hwnd, window->ended);
        win32::EndModal(window->hwnd);
        active_.pop_back();
    }

    void EndModalLoop(afx::WindowHandle handle) override {
        if (DialogWindow* window = Find(handle)) window->ended = true;
    }

    void SetSystemMenuExtras(afx::WindowHandle handle,
                             const std::vector<afx::MenuEntry>& extras) override {
        if (DialogWindow* window = Find(handle))
            win32::SetSystemMenuExtras(window->hwnd, MenuItems(extras));
    }

    UINT TrackPopupMenu(afx::WindowHandle handle, const std::vector<afx::MenuEntry>& entries, int x,
                        int y) override {
        DialogWindow* window = Find(handle);
        if (window == nullptr || entries.empty()) return 0;
        return win32::TrackPopupMenu(window->hwnd, MenuItems(entries), x, y);
    }

    void MessageBox(afx::WindowHandle owner, const std::string& text,
                    const std::string& caption) override {
        DialogWindow* window = Find(owner);
        if (window == nullptr && !active_.empty()) window = active_.back();
        win32::MessageBox(window != nullptr ? window->hwnd : nullptr, text, caption);
    }

private:
    DialogWindow* Find(afx::WindowHandle handle) const {
        const auto it = windows_.find(handle);
        return it != windows_.end() ? it->second.get() : nullptr;
    }

    win32::Window Control(afx::WindowHandle handle, int index) const {
        DialogWindow* window = Find(handle);
        if (window == nullptr || index < 0 ||
            static_cast<std::size_t>(index) >= window->controls.size())
            return nullptr;
        return window->controls[static_cast<std::size_t>(index)];
    }

    std::map<afx::WindowHandle, std::unique_ptr<DialogWindow>> windows_;
    std::vector<DialogWindow*> active_;
    afx::WindowHandle next_ = 1;
};

}  // namespace

std::unique_ptr<afx::Backend> AfxCreateDefaultBackend() {
    return std::make_unique<Win32Backend>();
}
