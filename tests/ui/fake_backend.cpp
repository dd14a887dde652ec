// The recording backend of the framework's tests.
#include "tests/ui/fake_backend.h"

#include <stdexcept>

int FakeWindow::Index(int id) const {
    for (std::size_t i = 0; i < layout.controls.size(); ++i)
        if (layout.controls[i].id == id) return static_cast<int>(i);
    throw std::out_of_range("no control " + std::to_string(id));
}

const std::string& FakeWindow::Text(int id) const {
    return texts[static_cast<std::size_t>(Index(id))];
}

void FakeWindow::Type(int id, const std::string& text) {
    texts[static_cast<std::size_t>(Index(id))] = text;
}

FakeWindow* FakeBackend::Find(const std::string& caption) {
    for (auto& [handle, window] : windows_)
        if (window->running && window->layout.caption == caption) return window.get();
    return nullptr;
}

afx::WindowHandle FakeBackend::CreateDialogWindow(const afx::WindowLayout& layout,
                                                  afx::WindowEvents* events) {
    auto window = std::make_unique<FakeWindow>();
    window->layout = layout;
    window->events = events;
    for (const afx::ControlLayout& control : layout.controls) window->texts.push_back(control.text);
    windows_[next_] = std::move(window);
    return next_++;
}

void FakeBackend::DestroyWindow(afx::WindowHandle window) {
    windows_.erase(window);
}

void FakeBackend::SetControlText(afx::WindowHandle window, int index, const std::string& text) {
    Window(window).texts.at(static_cast<std::size_t>(index)) = text;
}

std::string FakeBackend::GetControlText(afx::WindowHandle window, int index) {
    return Window(window).texts.at(static_cast<std::size_t>(index));
}

void FakeBackend::FocusControl(afx::WindowHandle window, int index, bool selectAll) {
    Window(window).focus = index;
    Window(window).selectAll = selectAll;
}

int FakeBackend::FocusedControl(afx::WindowHandle window) {
    return Window(window).focus;
}

void FakeBackend::SetIcons(afx::WindowHandle window, const IconImage* big, const IconImage* small,
                           const IconPalette*) {
    Window(window).bigIcon = big;
    Window(window).smallIcon = small;
}

bool FakeBackend::IsIconic(afx::WindowHandle window) {
    return Window(window).iconic;
}

afx::PixelRect FakeBackend::ClientRect(afx::WindowHandle window) {
    return {0, 0, Window(window).layout.width, Window(window).layout.height};
}

void FakeBackend::RunModalLoop(afx::WindowHandle handle) {
    FakeWindow& window = Window(handle);
    window.running = true;
    if (onModal) onModal(window);
    // The real loop would wait for the user; a script that leaves the dialog open is noted.
    if (!window.ended) ++loopsLeftRunning;
    window.running = false;
}

void FakeBackend::EndModalLoop(afx::WindowHandle window) {
    Window(window).ended = true;
}

void FakeBackend::SetSystemMenuExtras(afx::WindowHandle window,
                                      const std::vector<afx::MenuEntry>& extras) {
    Window(window).systemMenuExtras = extras;
}

UINT FakeBackend::TrackPopupMenu(afx::WindowHandle, const std::vector<afx::MenuEntry>& entries, int,
                                 int) {
    menus.push_back(entries);
    return onMenu ? onMenu(entries) : 0;
}

void FakeBackend::MessageBox(afx::WindowHandle, const std::string& text,
                             const std::string& caption) {
    messages.push_back(text);
    messageCaptions.push_back(caption);
}

// The tests set their backend before any window is made; this one is never shown either.
std::unique_ptr<afx::Backend> AfxCreateDefaultBackend() {
    return std::make_unique<FakeBackend>();
}
