// The Win32 calls of the afx Win32 backend: dialogs of the system's dialog manager, their
// modal loop, system menu, icons, painting and message boxes. The framework's one file that
// includes <windows.h>; text crosses in UTF-8 and is UTF-16 inside.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>
// A macro for MessageBoxA, which would rename win32::MessageBox below.
#undef MessageBox

#include <algorithm>

#include "afx/win32/win32_api.h"

namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                        nullptr, nullptr);
    return text;
}

HWND Hwnd(win32::Window window) {
    return static_cast<HWND>(window);
}

// The paint of one WM_PAINT: BeginPaint only once the framework draws, so that a paint it
// leaves to the system reaches the dialog manager untouched.
class PaintSurface final : public win32::DialogSink::Surface {
public:
    explicit PaintSurface(HWND hwnd) : hwnd_(hwnd) {}
    ~PaintSurface() override {
        if (dc_ != nullptr) EndPaint(hwnd_, &paint_);
    }
    PaintSurface(const PaintSurface&) = delete;
    PaintSurface& operator=(const PaintSurface&) = delete;

    bool Painted() const { return dc_ != nullptr; }

    void FillBackground() override {
        RECT client;
        GetClientRect(hwnd_, &client);
        FillRect(Dc(), &client, GetSysColorBrush(COLOR_3DFACE));
    }
    void DrawIcon(int x, int y, win32::Icon icon, int width, int height) override {
        DrawIconEx(Dc(), x, y, static_cast<HICON>(icon), width, height, 0, nullptr, DI_NORMAL);
    }

private:
    HDC Dc() {
        if (dc_ == nullptr) dc_ = BeginPaint(hwnd_, &paint_);
        return dc_;
    }
    HWND hwnd_;
    HDC dc_ = nullptr;
    PAINTSTRUCT paint_{};
};

win32::DialogSink* SinkOf(HWND hwnd) {
    return reinterpret_cast<win32::DialogSink*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

// A dialog procedure's answer for a message whose result goes through DWLP_MSGRESULT.
INT_PTR Handled(HWND hwnd, LRESULT result) {
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        return FALSE;  // the framework sets the focus
    }
    win32::DialogSink* sink = SinkOf(hwnd);
    if (sink == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            // Buttons clicked, and IDOK or IDCANCEL from Enter and Escape; edits' notifications
            // carry other codes.
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            sink->OnButton(static_cast<short>(LOWORD(wParam)));
            return TRUE;
        case WM_SYSCOMMAND:
            return sink->OnSysCommand(static_cast<unsigned>(wParam)) ? Handled(hwnd, 0) : FALSE;
        case WM_CLOSE:
            sink->OnClose();
            return Handled(hwnd, 0);
        case WM_HELP:
            sink->OnHelp();
            return Handled(hwnd, TRUE);
        case WM_PAINT: {
            PaintSurface surface(hwnd);
            sink->OnPaint(surface);
            return surface.Painted() ? Handled(hwnd, 0) : FALSE;
        }
        case WM_QUERYDRAGICON:
            // One of the messages whose result a dialog procedure returns itself.
            return reinterpret_cast<INT_PTR>(sink->DragIcon());
        default:
            return FALSE;
    }
}

UINT MenuFlags(const win32::MenuItem& item) {
    return item.separator ? MF_SEPARATOR : MF_STRING;
}

// Over the owner, or in the middle of the work area of the screen it is on; kept inside that
// work area.
void Center(HWND hwnd, HWND owner) {
    RECT frame{};
    GetWindowRect(hwnd, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner != nullptr ? owner : hwnd, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
    const RECT area = monitor.rcWork;
    RECT around = area;
    if (owner != nullptr && !IsIconic(owner)) GetWindowRect(owner, &around);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int x = around.left + (around.right - around.left - width) / 2;
    int y = around.top + (around.bottom - around.top - height) / 2;
    x = std::max<int>(area.left, std::min<int>(x, area.right - width));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - height));
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

namespace win32 {

void InitCommonControls() {
    // Common controls 6, which the program's manifest asks for, draw the visual styles.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

void MeasureFont(const std::string& face, int pointSize, double& averageWidth, int& height) {
    HDC dc = GetDC(nullptr);
    HFONT font =
        CreateFontW(-MulDiv(pointSize, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL,
                    FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                    DEFAULT_QUALITY, DEFAULT_PITCH, Wide(face).c_str());
    HGDIOBJ previous = SelectObject(dc, font);
    static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE size{};
    GetTextExtentPoint32W(dc, kLetters, 52, &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    averageWidth = size.cx / 52.0;
    height = static_cast<int>(metrics.tmHeight);
}

Window CreateDialogFromTemplate(const std::vector<std::uint16_t>& words, Window owner,
                                DialogSink* sink) {
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                      reinterpret_cast<LPCDLGTEMPLATEW>(words.data()), Hwnd(owner),
                                      DialogProc, reinterpret_cast<LPARAM>(sink));
}

std::vector<Window> ChildWindows(Window dialog) {
    // The dialog manager creates the items in template order, each below the one before.
    std::vector<Window> children;
    for (HWND child = GetWindow(Hwnd(dialog), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

void DetachSink(Window dialog) {
    SetWindowLongPtrW(Hwnd(dialog), DWLP_USER, 0);
}

void DestroyWindow(Window window) {
    ::DestroyWindow(Hwnd(window));
}

void SetText(Window window, const std::string& text) {
    SetWindowTextW(Hwnd(window), Wide(text).c_str());
}

std::string GetText(Window window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(Hwnd(window))) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(Hwnd(window), text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

bool IsVisible(Window window) {
    return IsWindowVisible(Hwnd(window)) != FALSE;
}

void FocusDialogControl(Window dialog, Window control, bool selectAll) {
    SendMessageW(Hwnd(dialog), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    if (selectAll) SendMessageW(Hwnd(control), EM_SETSEL, 0, -1);
}

Window FocusedWindow() {
    return GetFocus();
}

Icon MakeIcon(int width, int height, const std::vector<std::uint32_t>& argb) {
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = width;
    header.bV5Height = -height;  // top-down rows
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP color = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                     &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (color == nullptr) return nullptr;
    std::copy(argb.begin(), argb.begin() + width * height, static_cast<std::uint32_t*>(bits));

    // The AND mask for displays without alpha: one bit per pixel, 1 where transparent, rows
    // padded to 16 bits.
    const int stride = (width + 15) / 16 * 2;
    std::vector<BYTE> mask(static_cast<std::size_t>(stride * height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((argb[static_cast<std::size_t>(y * width + x)] >> 24) == 0)
                mask[static_cast<std::size_t>(y * stride + x / 8)] |=
                    static_cast<BYTE>(0x80 >> (x % 8));
    HBITMAP maskBitmap = CreateBitmap(width, height, 1, 1, mask.data());
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = maskBitmap;
    info.hbmColor = color;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(maskBitmap);
    DeleteObject(color);
    return icon;
}

void DestroyIcon(Icon icon) {
    ::DestroyIcon(static_cast<HICON>(icon));
}

void SetWindowIcon(Window window, bool big, Icon icon) {
    SendMessageW(Hwnd(window), WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(icon));
}

void SetStaticIcon(Window control, Icon icon) {
    SendMessageW(Hwnd(control), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

bool IsMinimized(Window window) {
    return IsIconic(Hwnd(window)) != FALSE;
}

void ClientSize(Window window, int& width, int& height) {
    RECT rect{};
    GetClientRect(Hwnd(window), &rect);
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;
}

int SystemIconSize() {
    return GetSystemMetrics(SM_CXICON);
}

void ShowModal(Window dialog) {
    HWND hwnd = Hwnd(dialog);
    HWND owner = GetWindow(hwnd, GW_OWNER);
    Center(hwnd, owner);
    if (owner != nullptr) EnableWindow(owner, FALSE);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
}

void RunMessagesUntil(Window dialog, const bool& ended) {
    MSG message;
    while (!ended) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT belongs to a loop further out: pass it on and end this one.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0) break;
        if (!IsDialogMessageW(Hwnd(dialog), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void EndModal(Window dialog) {
    // The owner takes the activation back before the dialog goes, or another program would.
    HWND hwnd = Hwnd(dialog);
    if (HWND owner = GetWindow(hwnd, GW_OWNER)) {
        EnableWindow(owner, TRUE);
        SetActiveWindow(owner);
    }
    ShowWindow(hwnd, SW_HIDE);
}

void SetSystemMenuExtras(Window window, const std::vector<MenuItem>& extras) {
    HWND hwnd = Hwnd(window);
    GetSystemMenu(hwnd, TRUE);  // back to the system's own entries
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    if (menu == nullptr) return;
    for (const MenuItem& item : extras)
        AppendMenuW(menu, MenuFlags(item), item.id, Wide(item.text).c_str());
}

unsigned TrackPopupMenu(Window window, const std::vector<MenuItem>& items, int x, int y) {
    HMENU menu = CreatePopupMenu();
    for (const MenuItem& item : items)
        AppendMenuW(menu, MenuFlags(item), item.id, Wide(item.text).c_str());
    POINT point{x, y};
    ClientToScreen(Hwnd(window), &point);
    const BOOL chosen = ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, point.x, point.y, 0,
                                         Hwnd(window), nullptr);
    DestroyMenu(menu);
    return static_cast<unsigned>(chosen);
}

void MessageBox(Window owner, const std::string& text, const std::string& caption) {
    MessageBoxW(Hwnd(owner), Wide(text).c_str(), Wide(caption).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace win32
