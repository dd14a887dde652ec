// The line-of-text box as a plain window with its own modal loop: the dialog manager's keys
// (Tab, Enter for OK, Escape for Cancel) through IsDialogMessage.
#include "meterwin/win32/text_dialog.h"

#include "meterwin/win32/wide.h"

namespace wobblemeter {

namespace {

// IDC_ARROW, the system's arrow cursor, as a number (the header's is an ANSI or wide string).
constexpr WORD kArrowCursor = 32512;
constexpr wchar_t kAskClass[] = L"WobblemeterAskLine";
// The box's client size and its controls, at 96 DPI.
constexpr int kWidth = 420, kHeight = 130, kMargin = 12, kLine = 24, kButtonWidth = 80;
constexpr int kBaseDpi = 96;

struct Asking {
    bool done = false, accepted = false;
};

LRESULT CALLBACK AskProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* asking = reinterpret_cast<Asking*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (asking != nullptr && message == WM_COMMAND &&
        (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        asking->accepted = LOWORD(wParam) == IDOK;
        asking->done = true;
        return 0;
    }
    if (asking != nullptr && message == WM_CLOSE) {
        asking->done = true;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND Control(HWND box, const wchar_t* windowClass, const std::wstring& text, DWORD style, int id,
             RECT place, HFONT font) {
    HWND control = CreateWindowExW(windowClass[0] == L'E' ? WS_EX_CLIENTEDGE : 0, windowClass,
                                   text.c_str(), WS_CHILD | WS_VISIBLE | style, place.left,
                                   place.top, place.right - place.left, place.bottom - place.top,
                                   box, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

// The box and its controls, centred on the owner; returns the edit field.
HWND MakeBox(HWND owner, HFONT font, UINT dpi, const std::string& title, const std::string& prompt,
             const std::string& suggestion, Asking* asking, HWND* box) {
    const auto S = [dpi](int pixels) { return MulDiv(pixels, static_cast<int>(dpi), kBaseDpi); };
    WNDCLASSEXW windowClass{};
    if (!GetClassInfoExW(GetModuleHandleW(nullptr), kAskClass, &windowClass)) {
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = AskProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(kArrowCursor));
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = kAskClass;
        RegisterClassExW(&windowClass);
    }
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, S(kWidth), S(kHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    RECT ownerRect;
    GetWindowRect(owner, &ownerRect);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    *box = CreateWindowExW(WS_EX_DLGMODALFRAME, kAskClass, Widen(title).c_str(), style,
                           (ownerRect.left + ownerRect.right - w) / 2,
                           (ownerRect.top + ownerRect.bottom - h) / 2, w, h, owner, nullptr,
                           GetModuleHandleW(nullptr), asking);
    const int m = S(kMargin), line = S(kLine), inner = S(kWidth) - 2 * m;
    Control(*box, L"STATIC", Widen(prompt), SS_LEFT, 0, {m, m, m + inner, m + line}, font);
    HWND edit = Control(*box, L"EDIT", Widen(suggestion), ES_AUTOHSCROLL | WS_TABSTOP, 0,
                        {m, m + line + S(4), m + inner, m + 2 * line + S(4)}, font);
    const int buttons = S(kHeight) - m - line, right = S(kWidth) - m;
    Control(*box, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK,
            {right - 2 * S(kButtonWidth) - S(8), buttons, right - S(kButtonWidth) - S(8),
             buttons + line},
            font);
    Control(*box, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL,
            {right - S(kButtonWidth), buttons, right, buttons + line}, font);
    return edit;
}

}  // namespace

std::optional<std::string> AskForLine(HWND owner, HFONT font, UINT dpi, const std::string& title,
                                      const std::string& prompt, const std::string& suggestion) {
    Asking asking;
    HWND box = nullptr;
    HWND edit = MakeBox(owner, font, dpi, title, prompt, suggestion, &asking, &box);
    if (box == nullptr) return std::nullopt;
    EnableWindow(owner, FALSE);
    ShowWindow(box, SW_SHOW);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    MSG message;
    bool quit = false;
    while (!asking.done && !quit) {
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
            quit = true;
            break;
        }
        if (IsDialogMessageW(box, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    // The owner enabled again before the box goes, so that Windows hands it the focus.
    EnableWindow(owner, TRUE);
    DestroyWindow(box);
    SetForegroundWindow(owner);
    // A quit asked for meanwhile is the main loop's to see.
    if (quit) PostQuitMessage(static_cast<int>(message.wParam));
    if (!asking.accepted) return std::nullopt;
    return Narrow(text);
}

}  // namespace wobblemeter
