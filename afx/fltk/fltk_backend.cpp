// The FLTK 1.3 backend of the afx framework on X11: dialog windows with their controls,
// modal loops, the system menu as a pop-up menu, message boxes, icons and fonts.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "afx/backend.h"
#include "text/decimal.h"

namespace {

constexpr int kIconSize = 32;
// Widest line of a message box's text, in font sizes (pixels per em).
constexpr int kMessageTextWidth = 40;
// FLTK draws a left-aligned label this many pixels inside its box on each side.
constexpr int kLabelInset = 3;
// Logical resolution when the desktop names none (the X resource Xft.dpi).
constexpr double kDefaultDpi = 96.0;

std::vector<unsigned char> IconPixels(const IconImage& image, const IconPalette& palette) {
    std::vector<unsigned char> rgba;
    rgba.reserve(static_cast<std::size_t>(image.width * image.height * 4));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const char c = image.rows[y][x];
            if (c == ' ') {
                rgba.insert(rgba.end(), {0, 0, 0, 0});
                continue;
            }
            const int index = c <= '9' ? c - '0' : c - 'a' + 10;
            const std::uint32_t rgb = palette.colors[index & 15];
            rgba.insert(rgba.end(), {static_cast<unsigned char>(rgb >> 16),
                                     static_cast<unsigned char>(rgb >> 8),
                                     static_cast<unsigned char>(rgb), 255});
        }
    }
    return rgba;
}

// An FLTK image that owns its pixels.
std::unique_ptr<Fl_RGB_Image> MakeImage(const IconImage& image, const IconPalette& palette) {
    const std::vector<unsigned char> pixels = IconPixels(image, palette);
    auto* data = new uchar[pixels.size()];
    std::copy(pixels.begin(), pixels.end(), data);
    auto result = std::make_unique<Fl_RGB_Image>(data, image.width, image.height, 4);
    result->alloc_array = 1;
    return result;
}

// FLTK draws '@' as a symbol prefix; '&' is a mnemonic prefix as in Win32 labels, except
// where the control asks for no prefix processing.
std::string LabelText(const std::string& text, bool noPrefix) {
    std::string label;
    for (char c : text) {
        if (c == '@' || (noPrefix && c == '&')) label += c;
        label += c;
    }
    return label;
}

double DesktopDpi() {
    fl_open_display();
    if (const char* value = XGetDefault(fl_display, "Xft", "dpi")) {
        // Outside the range, or no decimal number: the default.
        double dpi = 0.0;
        if (ParseDecimalReal(value, dpi) && dpi >= 48.0 && dpi <= 480.0) return dpi;
    }
    return kDefaultDpi;
}

int FontPixels(int pointSize) {
    return static_cast<int>(std::lround(pointSize * DesktopDpi() / 72.0));
}

class DialogWindow;

class Surface final : public afx::PaintSurface {
public:
    explicit Surface(Fl_Window& window) : window_(window) {}
    void FillBackground() override {
        fl_color(window_.color());
        fl_rectf(0, 0, window_.w(), window_.h());
    }
    void DrawIcon(int x, int y, const IconImage& image, const IconPalette& palette) override {
        MakeImage(image, palette)->draw(x, y);
    }

private:
    Fl_Window& window_;
};

class DialogWindow final : public Fl_Double_Window {
public:
    DialogWindow(int width, int height, afx::WindowEvents* events)
        : Fl_Double_Window(width, height), events_(events) {}

    // Null once the framework has destroyed the window; FLTK may still deliver events to it
    // until its deferred deletion.
    afx::WindowEvents* events() const { return events_; }
    void Detach() { events_ = nullptr; }
    std::vector<Fl_Widget*> controls;
    std::vector<ControlClass> classes;
    std::vector<std::unique_ptr<Fl_RGB_Image>> images;
    std::vector<std::string> labels;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    bool ended = false;
    int pendingFocus = -1;
    bool pendingSelectAll = false;

    int IndexOf(const Fl_Widget* widget) const {
        for (std::size_t n = 0; n < controls.size(); ++n)
            if (controls[n] == widget) return static_cast<int>(n);
        return -1;
    }

    int handle(int event) override {
        if (events_ == nullptr) return 0;
        if (event == FL_PUSH && Fl::event_button() == FL_RIGHT_MOUSE) {
            // The background and the labels open the system menu; an edit keeps the click
            // and a button ignores it, as a right click presses nothing.
            for (std::size_t n = 0; n < controls.size(); ++n) {
                if (!Fl::event_inside(controls[n])) continue;
                if (classes[n] == ControlClass::kEdit) return Fl_Double_Window::handle(event);
                if (classes[n] == ControlClass::kButton) return 1;
            }
            events_->OnContextClick(Fl::event_x(), Fl::event_y());
            return 1;
        }
        return Fl_Double_Window::handle(event);
    }

    void draw() override {
        Surface surface(*this);
        if (events_ == nullptr || !events_->OnPaint(surface)) Fl_Double_Window::draw();
    }

private:
    afx::WindowEvents* events_;
};

// Keys that act on a dialog as a whole reach it before the focused control, unless a pop-up
// menu has grabbed the keyboard or another window is modal.
int DispatchEvent(int event, Fl_Window* window) {
    auto* dialog = dynamic_cast<DialogWindow*>(window);
    if (event != FL_KEYBOARD || dialog == nullptr || dialog->events() == nullptr ||
        Fl::grab() != nullptr || (Fl::modal() != nullptr && Fl::modal() != dialog))
        return Fl::handle_(event, window);

    const int key = Fl::event_key();
    const int modifiers = Fl::event_state() & (FL_SHIFT | FL_CTRL | FL_ALT | FL_META);
    if ((key == FL_Enter || key == FL_KP_Enter) && modifiers == 0) {
        dialog->events()->OnKey(afx::DialogKey::kEnter);
    } else if (key == FL_Escape && modifiers == 0) {
        dialog->events()->OnKey(afx::DialogKey::kEscape);
    } else if ((key == ' ' && modifiers == FL_ALT) || (key == FL_F + 10 && modifiers == FL_SHIFT) ||
               (key == FL_Menu && modifiers == 0)) {
        // Alt+Space as on Windows; Shift+F10 and the Menu key where the window manager keeps
        // Alt+Space for its own window menu.
        dialog->events()->OnKey(afx::DialogKey::kSystemMenu);
    } else if (key == FL_F + 1 && modifiers == 0) {
        dialog->events()->OnKey(afx::DialogKey::kHelp);
    } else {
        return Fl::handle_(event, window);
    }
    return 1;
}

void ButtonPressed(Fl_Widget* widget, void* data) {
    auto* window = static_cast<DialogWindow*>(widget->window());
    if (window->events() != nullptr)
        window->events()->OnButton(static_cast<int>(reinterpret_cast<std::intptr_t>(data)));
}

void CloseRequested(Fl_Widget* widget, void*) {
    auto* window = static_cast<DialogWindow*>(widget);
    if (window->events() != nullptr) window->events()->OnCloseRequest();
}

void MessageBoxOk(Fl_Widget* widget, void*) {
    widget->window()->hide();
}

class FltkBackend final : public afx::Backend {
public:
    FltkBackend() {
        Fl::event_dispatch(DispatchEvent);
        Fl::visible_focus(1);
    }

    afx::FontMetrics MeasureFont(const std::string& /*face*/, int pointSize) override {
        // Every dialog face maps to the desktop's sans-serif font.
        fl_open_display();
        fl_font(FL_HELVETICA, FontPixels(pointSize));
        afx::FontMetrics metrics;
        metrics.averageLetterWidth =
            fl_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0;
        metrics.height = fl_height();
        return metrics;
    }

    afx::WindowHandle CreateDialogWindow(const afx::WindowLayout& layout,
                                         afx::WindowEvents* events) override {
        const int fontSize = FontPixels(layout.pointSize);
        auto* window = new DialogWindow(layout.width, layout.height, events);
        window->title = layout.caption;
        window->style = layout.style;
        window->exStyle = layout.exStyle;
        window->label(window->title.c_str());
        window->xclass("wobblegen");
        window->callback(CloseRequested);
        window->labelsize(fontSize);
        window->labels.reserve(layout.controls.size());
        for (const afx::ControlLayout& control : layout.controls) {
            const afx::PixelRect& r = control.rect;
            Fl_Widget* widget = nullptr;
            switch (control.controlClass) {
                case ControlClass::kButton: {
                    Fl_Button* button = (control.style & 0xF) == BS_DEFPUSHBUTTON
                                            ? new Fl_Return_Button(r.x, r.y, r.width, r.height)
                                            : new Fl_Button(r.x, r.y, r.width, r.height);
                    button->callback(ButtonPressed, reinterpret_cast<void*>(
                                                        static_cast<std::intptr_t>(control.id)));
                    widget = button;
                    window->labels.push_back(LabelText(control.text, false));
                    break;
                }
                case ControlClass::kEdit: {
                    auto* input = new Fl_Input(r.x, r.y, r.width, r.height);
                    input->textsize(fontSize);
                    input->when(FL_WHEN_NEVER);
                    input->value(control.text.c_str());
                    widget = input;
                    window->labels.emplace_back();
                    break;
                }
                case ControlClass::kStatic: {
                    auto* box = new Fl_Box(r.x, r.y, r.width, r.height);
                    box->box(FL_NO_BOX);
                    box->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE);
                    if (control.icon != nullptr && control.icon->imageCount > 0) {
                        window->images.push_back(
                            MakeImage(control.icon->images[0], *control.palette));
                        box->image(window->images.back().get());
                        window->labels.emplace_back();
                    } else {
                        window->labels.push_back(
                            LabelText(control.text, (control.style & SS_NOPREFIX) != 0));
                    }
                    widget = box;
                    break;
                }
            }
            if (!window->labels.back().empty()) widget->label(window->labels.back().c_str());
            widget->labelsize(fontSize);
            window->controls.push_back(widget);
            window->classes.push_back(control.controlClass);
        }
        window->end();
        const afx::WindowHandle handle = nextHandle_++;
        windows_[handle] = window;
        return handle;
    }

    void DestroyWindow(afx::WindowHandle handle) override {
        DialogWindow* window = Find(handle);
        if (window == nullptr) return;
        // The dialog object behind events() goes away now; FLTK deletes the window later.
        window->Detach();
        window->hide();
        windows_.erase(handle);
        Fl::delete_widget(window);
    }

    void SetControlText(afx::WindowHandle handle, int index, const std::string& text) override {
        Fl_Widget* widget = Control(handle, index);
        if (auto* input = dynamic_cast<Fl_Input*>(widget)) {
            input->value(text.c_str());
        } else if (widget != nullptr) {
            auto* window = Find(handle);
            window->labels[static_cast<std::size_t>(index)] = LabelText(text, false);
            widget->label(window->labels[static_cast<std::size_t>(index)].c_str());
            window->redraw();
        }
    }

    std::string GetControlText(afx::WindowHandle handle, int index) override {
        Fl_Widget* widget = Control(handle, index);
        if (auto* input = dynamic_cast<Fl_Input*>(widget)) return input->value();
        return widget != nullptr && widget->label() != nullptr ? widget->label() : "";
    }

    void FocusControl(afx::WindowHandle handle, int index, bool selectAll) override {
        DialogWindow* window = Find(handle);
        Fl_Widget* widget = Control(handle, index);
        if (widget == nullptr) return;
        if (!window->shown()) {
            window->pendingFocus = index;
            window->pendingSelectAll = selectAll;
            return;
        }
        widget->take_focus();
        if (auto* input = dynamic_cast<Fl_Input*>(widget); input != nullptr && selectAll)
            input->position(input->size(), 0);
    }

    int FocusedControl(afx::WindowHandle handle) override {
        DialogWindow* window = Find(handle);
        return window != nullptr ? window->IndexOf(Fl::focus()) : -1;
    }

    void SetIcons(afx::WindowHandle handle, const IconImage* big, const IconImage* small,
                  const IconPalette* palette) override {
        DialogWindow* window = Find(handle);
        if (window == nullptr || palette == nullptr) return;
        std::vector<std::unique_ptr<Fl_RGB_Image>> icons;
        if (big != nullptr) icons.push_back(MakeImage(*big, *palette));
        if (small != nullptr) icons.push_back(MakeImage(*small, *palette));
        std::vector<const Fl_RGB_Image*> list;
        for (const auto& icon : icons) list.push_back(icon.get());
        window->icons(list.data(), static_cast<int>(list.size()));  // FLTK keeps copies
    }

    bool IsIconic(afx::WindowHandle handle) override {
        DialogWindow* window = Find(handle);
        return window != nullptr && window->shown() && !window->visible();
    }

    afx::PixelRect ClientRect(afx::WindowHandle handle) override {
        DialogWindow* window = Find(handle);
        return window != nullptr ? afx::PixelRect{0, 0, window->w(), window->h()}
                                 : afx::PixelRect{};
    }

    int IconSize() override { return kIconSize; }

    void RunModalLoop(afx::WindowHandle handle) override {
        DialogWindow* window = Find(handle);
        if (window == nullptr) return;
        window->ended = false;
        CenterOverActiveWindow(window);
        window->set_modal();
        // A dialog over another one belongs to it; only an application window (the main
        // dialog) has a taskbar button of its own.
        Fl_Window* owner = active_.empty() ? nullptr : active_.back();
        ShowWithHints(window, window->style, owner,
                      owner != nullptr && (window->exStyle & WS_EX_APPWINDOW) == 0);
        if (window->pendingFocus >= 0) {
            const int index = window->pendingFocus;
            window->pendingFocus = -1;
            FocusControl(handle, index, window->pendingSelectAll);
        }
        active_.push_back(window);
        while (!window->ended) {
            if (!window->shown()) {
                // Hidden by something outside the dialog: end it as a close would.
                window->events()->OnCloseRequest();
                break;
            }
            Fl::wait();
        }
        active_.pop_back();
        window->hide();
    }

    void EndModalLoop(afx::WindowHandle handle) override {
        if (DialogWindow* window = Find(handle)) window->ended = true;
    }

    UINT TrackPopupMenu(afx::WindowHandle handle, const std::vector<afx::MenuEntry>& entries, int x,
                        int y) override {
        DialogWindow* window = Find(handle);
        if (window == nullptr || entries.empty()) return 0;
        std::vector<Fl_Menu_Item> items;
        std::vector<std::string> labels;
        labels.reserve(entries.size());
        for (const afx::MenuEntry& entry : entries) {
            if (entry.separator) {
                if (!items.empty()) items.back().flags |= FL_MENU_DIVIDER;
                continue;
            }
            labels.push_back(LabelText(entry.text, false));
            Fl_Menu_Item item{};
            item.text = labels.back().c_str();
            item.user_data_ = reinterpret_cast<void*>(static_cast<std::uintptr_t>(entry.id));
            item.labelsize_ = window->labelsize();
            items.push_back(item);
        }
        items.push_back(Fl_Menu_Item{});
        // popup() places the menu relative to the window of the current event.
        const int dx = window->x() - (Fl::event_x_root() - Fl::event_x());
        const int dy = window->y() - (Fl::event_y_root() - Fl::event_y());
        const Fl_Menu_Item* chosen = items.front().popup(x + dx, y + dy);
        return chosen != nullptr
                   ? static_cast<UINT>(reinterpret_cast<std::uintptr_t>(chosen->user_data_))
                   : 0;
    }

    void MessageBox(afx::WindowHandle owner, const std::string& text,
                    const std::string& caption) override {
        DialogWindow* parent = Find(owner);
        if (parent == nullptr && !active_.empty()) parent = active_.back();
        const int fontSize = parent != nullptr ? parent->labelsize() : FontPixels(8);
        const std::string label = LabelText(text, true);
        const int margin = fontSize;
        const int iconSize = 3 * fontSize;
        const int buttonWidth = 7 * fontSize, buttonHeight = 2 * fontSize + 2;

        // The text wraps at 40 font sizes (ems), some 80 characters; fl_measure wraps at a
        // preset width and returns the width of the longest line.
        fl_font(FL_HELVETICA, fontSize);
        int textWidth = kMessageTextWidth * fontSize, textHeight = 0;
        fl_measure(label.c_str(), textWidth, textHeight, 0);
        const int textBoxWidth = textWidth + 2 * kLabelInset;
        const int textBoxHeight = std::max(iconSize, textHeight);
        // Wide enough for the caption beside the window manager's title-bar buttons.
        const int captionWidth = static_cast<int>(fl_width(caption.c_str())) + 8 * fontSize;
        const int width = std::max({2 * margin + iconSize + textBoxWidth + margin,
                                    buttonWidth + 2 * margin, captionWidth});
        const int height = margin * 3 + textBoxHeight + buttonHeight;

        Fl_Double_Window box(width, height, caption.c_str());
        box.xclass("wobblegen");
        auto* icon = new Fl_Box(margin, margin, iconSize, iconSize, "!");
        icon->box(FL_THIN_UP_BOX);
        icon->labelfont(FL_HELVETICA_BOLD);
        icon->labelsize(2 * fontSize);
        icon->labelcolor(FL_RED);
        auto* message =
            new Fl_Box(2 * margin + iconSize, margin, textBoxWidth, textBoxHeight, label.c_str());
        message->box(FL_NO_BOX);
        message->labelsize(fontSize);
        message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        auto* ok = new Fl_Return_Button((width - buttonWidth) / 2, height - margin - buttonHeight,
                                        buttonWidth, buttonHeight, "OK");
        ok->labelsize(fontSize);
        ok->callback(MessageBoxOk);
        box.end();
        CenterOverActiveWindow(&box);
        box.set_modal();
        // Like a Windows message box: a close button only, and no taskbar button of its own.
        ShowWithHints(&box, 0, parent, parent != nullptr);
        ok->take_focus();
        while (box.shown()) Fl::wait();
    }

private:
    DialogWindow* Find(afx::WindowHandle handle) const {
        const auto it = windows_.find(handle);
        return it != windows_.end() ? it->second : nullptr;
    }

    Fl_Widget* Control(afx::WindowHandle handle, int index) const {
        DialogWindow* window = Find(handle);
        if (window == nullptr || index < 0 ||
            static_cast<std::size_t>(index) >= window->controls.size())
            return nullptr;
        return window->controls[static_cast<std::size_t>(index)];
    }

    // Shows a top-level window with what the window manager should know of it: minimise and
    // maximise offered only where style has those boxes (through the Motif hints most window
    // managers read; the size is fixed anyway), the window it belongs to, and whether it stays
    // off the taskbar. FLTK 1.3 creates and maps the X window inside show() with no hook in
    // between (hide() destroys it again), so the hints go out right behind the map request,
    // in the same batch of requests with no round trip between them (the atoms are interned
    // beforehand): the window manager finds them when it handles the map request.
    static void ShowWithHints(Fl_Window* window, DWORD style, Fl_Window* owner, bool skipTaskbar) {
        const HintAtoms& atoms = Atoms();
        window->show();
        const Window xid = fl_xid(window);
        constexpr unsigned long kFunctions = 1;  // MWM_HINTS_FUNCTIONS
        constexpr unsigned long kAllBut = 1;     // MWM_FUNC_ALL: all except...
        constexpr unsigned long kResize = 2, kMinimize = 8, kMaximize = 16;
        unsigned long hints[5] = {kFunctions, kAllBut | kResize, 0, 0, 0};
        if ((style & WS_MINIMIZEBOX) == 0) hints[1] |= kMinimize;
        if ((style & WS_MAXIMIZEBOX) == 0) hints[1] |= kMaximize;
        XChangeProperty(fl_display, xid, atoms.motifHints, atoms.motifHints, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(hints), 5);
        if (owner != nullptr && owner->shown())
            XSetTransientForHint(fl_display, xid, fl_xid(owner));
        if (skipTaskbar) {
            // Appended: FLTK has put _NET_WM_STATE_MODAL there for a modal window.
            Atom skip = atoms.skipTaskbar;
            XChangeProperty(fl_display, xid, atoms.state, XA_ATOM, 32, PropModeAppend,
                            reinterpret_cast<unsigned char*>(&skip), 1);
        }
    }

    struct HintAtoms {
        Atom motifHints, state, skipTaskbar;
    };
    static const HintAtoms& Atoms() {
        static const HintAtoms atoms = [] {
            fl_open_display();
            return HintAtoms{XInternAtom(fl_display, "_MOTIF_WM_HINTS", False),
                             XInternAtom(fl_display, "_NET_WM_STATE", False),
                             XInternAtom(fl_display, "_NET_WM_STATE_SKIP_TASKBAR", False)};
        }();
        return atoms;
    }

    // Over the innermost running dialog, or in the middle of the screen, kept inside the
    // work area (the screen less panels and docks) of the screen it ends up on.
    void CenterOverActiveWindow(Fl_Window* window) const {
        int x = 0, y = 0, w = 0, h = 0;
        if (!active_.empty()) {
            const Fl_Window* owner = active_.back();
            x = owner->x();
            y = owner->y();
            w = owner->w();
            h = owner->h();
        } else {
            Fl::screen_work_area(x, y, w, h);  // of the screen with the pointer
        }
        x += (w - window->w()) / 2;
        y += (h - window->h()) / 2;
        int areaX = 0, areaY = 0, areaW = 0, areaH = 0;
        Fl::screen_work_area(areaX, areaY, areaW, areaH,
                             Fl::screen_num(x + window->w() / 2, y + window->h() / 2));
        x = std::max(areaX, std::min(x, areaX + areaW - window->w()));
        y = std::max(areaY, std::min(y, areaY + areaH - window->h()));
        window->position(x, y);
    }

    std::map<afx::WindowHandle, DialogWindow*> windows_;
    std::vector<DialogWindow*> active_;
    afx::WindowHandle nextHandle_ = 1;
};

}  // namespace

namespace {

// FLTK's fatal errors (chiefly "Can't open display" without an X server) as one line on standard
// error that names the program, and status 1, as the program's other failures.
[[noreturn]] void ToolkitFatal(const char* format, ...) {
    std::fprintf(stderr, "%s: ", program_invocation_short_name);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    std::exit(1);
}

}  // namespace

std::unique_ptr<afx::Backend> AfxCreateDefaultBackend() {
    Fl::fatal = ToolkitFatal;
    return std::make_unique<FltkBackend>();
}
