// The meter window's two drawn child windows on Win32: the instrument face (the shared cairo
// drawing, kept in an off-screen DIB and copied to the screen whole, so that nothing flickers)
// and the status bar's text in up to two lines.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "meterwin/display.h"

typedef struct _cairo_surface cairo_surface_t;

namespace wobblemeter {

class InstrumentPane {
public:
    // Registers the window class once and makes the child of parent.
    explicit InstrumentPane(HWND parent);
    ~InstrumentPane();
    InstrumentPane(const InstrumentPane&) = delete;
    InstrumentPane& operator=(const InstrumentPane&) = delete;

    HWND Handle() const { return hwnd_; }
    void Set(const Display& display);
    // The display's pixels per drawing unit (the monitor's DPI over 96).
    void SetScale(double scale);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    void Mouse(double x, double y);

    HWND hwnd_ = nullptr;
    Display display_;
    bool stale_ = true;
    cairo_surface_t* surface_ = nullptr;
    int width_ = 0, height_ = 0;
    double scale_ = 1.0;
    double mouseX_, mouseY_;  // in pixels over the pane; NaN: elsewhere
    bool tracking_ = false;   // a WM_MOUSELEAVE is asked for
};

class StatusPane {
public:
    explicit StatusPane(HWND parent);
    StatusPane(const StatusPane&) = delete;
    StatusPane& operator=(const StatusPane&) = delete;

    HWND Handle() const { return hwnd_; }
    // The text's font and the monitor's DPI (for the margins).
    void SetFont(HFONT font, UINT dpi);
    // The status line, laid out in the room left of reserved pixels at the right (the progress
    // bar's), as StatusLines breaks it.
    void Set(const std::string& status, int reserved);
    void Relayout();

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    std::string status_;
    int reserved_ = 0;
    int inset_ = 6;
    std::vector<std::wstring> lines_;
};

}  // namespace wobblemeter
