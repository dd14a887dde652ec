// The instrument and the status line as Win32 child windows: painted from memory on WM_PAINT,
// the background never erased first (no flicker).
#include "meterwin/win32/panes.h"

#include <cairo-win32.h>
#include <cairo.h>
#include <windowsx.h>

#include <cmath>
#include <limits>

#include "meterwin/instrument.h"
#include "meterwin/win32/wide.h"

namespace wobblemeter {

namespace {

// IDC_ARROW, the system's arrow cursor, as a number (the header's is an ANSI or wide string).
constexpr WORD kArrowCursor = 32512;
constexpr wchar_t kInstrumentClass[] = L"WobblemeterInstrument";
constexpr wchar_t kStatusClass[] = L"WobblemeterStatus";
constexpr double kNoMouse = std::numeric_limits<double>::quiet_NaN();
constexpr size_t kStatusLines = 2;
constexpr int kStatusInset = 6;  // between the bar's edge and its text, at 96 DPI
constexpr int kBaseDpi = 96;

// The object a child window was made for, kept in its user data from WM_NCCREATE on.
template <typename Pane>
Pane* PaneOf(HWND hwnd, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* pane = static_cast<Pane*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pane));
        return pane;
    }
    return reinterpret_cast<Pane*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void RegisterPaneClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &windowClass)) return;
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(kArrowCursor));
    windowClass.lpszClassName = name;
    RegisterClassExW(&windowClass);
}

}  // namespace

InstrumentPane::InstrumentPane(HWND parent) : mouseX_(kNoMouse), mouseY_(kNoMouse) {
    RegisterPaneClass(kInstrumentClass, Procedure);
    hwnd_ = CreateWindowExW(0, kInstrumentClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                            nullptr, GetModuleHandleW(nullptr), this);
}

InstrumentPane::~InstrumentPane() {
    if (surface_ != nullptr) cairo_surface_destroy(surface_);
}

void InstrumentPane::Set(const Display& display) {
    display_ = display;
    stale_ = true;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void InstrumentPane::SetScale(double scale) {
    scale_ = scale;
    stale_ = true;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void InstrumentPane::Mouse(double x, double y) {
    mouseX_ = x;
    mouseY_ = y;
    stale_ = true;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void InstrumentPane::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right, height = client.bottom;
    if (width > 0 && height > 0) {
        if (surface_ == nullptr || width != width_ || height != height_) {
            if (surface_ != nullptr) cairo_surface_destroy(surface_);
            surface_ = cairo_win32_surface_create_with_dib(CAIRO_FORMAT_RGB24, width, height);
            width_ = width;
            height_ = height;
            stale_ = true;
        }
        if (stale_ && cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS) {
            // Drawn in units of 1/96 inch: the face looks the same at any DPI.
            cairo_t* cr = cairo_create(surface_);
            cairo_scale(cr, scale_, scale_);
            DrawInstrument(cr, display_, width / scale_, height / scale_, mouseX_ / scale_,
                           mouseY_ / scale_);
            cairo_destroy(cr);
            cairo_surface_flush(surface_);
            stale_ = false;
        }
        HDC source = cairo_win32_surface_get_dc(surface_);
        if (source != nullptr) BitBlt(dc, 0, 0, width, height, source, 0, 0, SRCCOPY);
    }
    EndPaint(hwnd_, &paint);
}

LRESULT CALLBACK InstrumentPane::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    InstrumentPane* pane = PaneOf<InstrumentPane>(hwnd, message, lParam);
    if (pane == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // the paint covers every pixel
        case WM_PAINT:
            pane->Paint();
            return 0;
        case WM_MOUSEMOVE:
            // The panels' readout where the mouse is; told when it leaves.
            if (!pane->tracking_) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
                pane->tracking_ = TrackMouseEvent(&track) != FALSE;
            }
            pane->Mouse(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        case WM_MOUSELEAVE:
            pane->tracking_ = false;
            pane->Mouse(kNoMouse, kNoMouse);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

StatusPane::StatusPane(HWND parent) {
    RegisterPaneClass(kStatusClass, Procedure);
    hwnd_ = CreateWindowExW(WS_EX_STATICEDGE, kStatusClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                            parent, nullptr, GetModuleHandleW(nullptr), this);
}

void StatusPane::SetFont(HFONT font, UINT dpi) {
    font_ = font;
    inset_ = MulDiv(kStatusInset, static_cast<int>(dpi), kBaseDpi);
    Relayout();
}

void StatusPane::Set(const std::string& status, int reserved) {
    if (status == status_ && reserved == reserved_) return;
    status_ = status;
    reserved_ = reserved;
    Relayout();
}

void StatusPane::Relayout() {
    RECT client;
    GetClientRect(hwnd_, &client);
    const double room = client.right - 2 * inset_ - reserved_;
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    const auto width = [dc](const std::string& text) {
        const std::wstring wide = Widen(text);
        SIZE size{};
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
        return static_cast<double>(size.cx);
    };
    lines_.clear();
    for (const std::string& line : StatusLines(ShownNames(status_), width, room, kStatusLines))
        lines_.push_back(Widen(line));
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void StatusPane::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    RECT client;
    GetClientRect(hwnd_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ old = SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int lineHeight = metrics.tmHeight;
    const int count = static_cast<int>(lines_.size());
    int y = (client.bottom - count * lineHeight) / 2;
    for (const std::wstring& line : lines_) {
        TextOutW(dc, inset_, y, line.c_str(), static_cast<int>(line.size()));
        y += lineHeight;
    }
    SelectObject(dc, old);
    EndPaint(hwnd_, &paint);
}

LRESULT CALLBACK StatusPane::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    StatusPane* pane = PaneOf<StatusPane>(hwnd, message, lParam);
    if (pane == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            pane->Paint();
            return 0;
        case WM_SIZE:
            pane->Relayout();
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace wobblemeter
