// The meter window's Win32 front-end: the frame, its menus, shortcuts and tool bar controls, which
// forward to MeterWindow; the views it asks for (file dialogs, message boxes, the clipboard).
#include "meterwin/win32/meter_frame.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "meter/message.h"
#include "meterwin/display.h"
#include "meterwin/instrument.h"
#include "meterwin/meter_window.h"
#include "meterwin/win32/panes.h"
#include "meterwin/win32/text_dialog.h"
#include "meterwin/win32/wide.h"
#include "res/version.h"

namespace wobblemeter {

namespace {

// IDC_ARROW, the system's arrow cursor, as a number (the header's is an ANSI or wide string).
constexpr WORD kArrowCursor = 32512;
constexpr wchar_t kFrameClass[] = L"WobblemeterFrame";
constexpr const char* kTitle = "Wow and Flutter Meter";
// At 96 DPI: the tool bar's and the status bar's heights, the window's size at first.
constexpr int kToolBarHeight = 38;
constexpr int kStatusHeight = 40;
constexpr int kDefaultWidth = 1180, kDefaultHeight = 820;
// The tool bar's widths and gaps, at 96 DPI.
constexpr int kControlHeight = 26, kControlTop = 6;
constexpr int kDeviceMost = 300, kDeviceLeast = 100;
constexpr int kButtonWidth = 64, kLogWidth = 92, kRecordWidth = 110, kScaleWidth = 76,
              kPlatterWidth = 72, kSpanWidth = 110, kOpenWidth = 80;
constexpr int kSmallGap = 4, kGap = 12, kEdge = 8, kLabelGap = 6;
constexpr int kDropDownHeight = 240;  // a chooser's list when open
constexpr int kProgressWidth = 220, kProgressMargin = 6;
constexpr int kProgressSteps = 1000;
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMilliseconds = 200;  // the readouts move five times a second
// WM_DPICHANGED, defined by the headers for Windows 8.1 and later only.
constexpr UINT kDpiChanged = 0x02E0;

// Command ids: the menu's items (and their shortcuts and the buttons that do the same), the
// radio items of scale and span after their first, the choosers.
enum Command : WORD {
    kOpen = 100,
    kExportPlot,
    kExportLog,
    kExportJson,
    kExportReport,
    kQuit,
    kCopy,
    kStart,
    kStop,
    kLog,
    kRecord,
    kAbout,
    kScaleFirst = 200,
    kSpanFirst = 220,
    kDeviceChooser = 300,
    kPlatterChooser,
    kScaleChooser,
    kSpanChooser,
};

std::wstring ScaleLabel(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%g %%", percent);
    return Widen(text);
}

std::wstring SpanLabel(double seconds) {
    if (seconds <= 0.0) return L"Whole stretch";
    char text[32];
    std::snprintf(text, sizeof text, "%g s", seconds);
    return Widen(text);
}

void Enable(HWND control, bool on) {
    EnableWindow(control, on ? TRUE : FALSE);
}

}  // namespace

MeterFrame::MeterFrame() = default;

MeterFrame::~MeterFrame() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    delete instrument_;
    delete status_;
    if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
    if (font_ != nullptr) DeleteObject(font_);
}

bool MeterFrame::Create(std::string* error) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(kArrowCursor));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kFrameClass;
    // The program's icon, resource 128 (res/windows/program.rc.in).
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(128));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(128), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    RegisterClassExW(&windowClass);
    HDC screen = GetDC(nullptr);
    dpi_ = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
    hwnd_ = CreateWindowExW(WS_EX_ACCEPTFILES, kFrameClass, Widen(kTitle).c_str(),
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                            Scaled(kDefaultWidth), Scaled(kDefaultHeight), nullptr, nullptr,
                            instance, this);
    if (hwnd_ == nullptr) {
        *error = Text(Msg::kCannotOpenWindow, GetLastError());
        return false;
    }
    return true;
}

void MeterFrame::ShowWindow(int how) {
    ::ShowWindow(hwnd_, how);
    UpdateWindow(hwnd_);
    SetTimer(hwnd_, kPollTimer, kPollMilliseconds, nullptr);
}

HWND MeterFrame::Child(const wchar_t* windowClass, const wchar_t* text, DWORD style, int id) {
    HWND child = CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                 hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return child;
}

void MeterFrame::MakeFont() {
    // The message font of the system's settings, at the window's DPI.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HDC screen = GetDC(nullptr);
    const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    LOGFONTW font = metrics.lfMessageFont;
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi_), systemDpi);
    if (font_ != nullptr) DeleteObject(font_);
    font_ = CreateFontIndirectW(&font);
}

void MeterFrame::OnCreate() {
    MakeFont();
    BuildMenu();
    BuildToolBar();
    instrument_ = new InstrumentPane(hwnd_);
    instrument_->SetScale(static_cast<double>(dpi_) / kBaseDpi);
    status_ = new StatusPane(hwnd_);
    status_->SetFont(font_, dpi_);
    progress_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | PBS_SMOOTH, 0, 0, 0, 0,
                                status_->Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(progress_, PBM_SETRANGE32, 0, kProgressSteps);
    LayOut();
}

void MeterFrame::BuildMenu() {
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, kOpen, L"&Open...\tCtrl+O");
    AppendMenuW(file, MF_STRING, kExportPlot, L"&Export plot...\tCtrl+E");
    AppendMenuW(file, MF_STRING, kExportLog, L"Export &log (CSV)...\tCtrl+L");
    AppendMenuW(file, MF_STRING, kExportJson, L"Export &readings (JSON)...\tCtrl+J");
    AppendMenuW(file, MF_STRING, kExportReport, L"Export re&port (PDF)...\tCtrl+P");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, kQuit, L"&Quit\tCtrl+Q");
    HMENU edit = CreatePopupMenu();
    AppendMenuW(edit, MF_STRING, kCopy, L"&Copy readings\tCtrl+C");
    HMENU measure = CreatePopupMenu();
    AppendMenuW(measure, MF_STRING, kStart, L"&Start\tF5");
    AppendMenuW(measure, MF_STRING, kStop, L"S&top\tShift+F5");
    AppendMenuW(measure, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(measure, MF_STRING, kLog, L"&Log to CSV...\tCtrl+Shift+L");
    AppendMenuW(measure, MF_STRING, kRecord, L"&Record to WAV...\tCtrl+Shift+R");
    HMENU scale = CreatePopupMenu();
    for (size_t i = 0; i < kBarScales.size(); ++i)
        AppendMenuW(scale, MF_STRING, kScaleFirst + i, ScaleLabel(kBarScales[i]).c_str());
    HMENU span = CreatePopupMenu();
    for (size_t i = 0; i < kDeviationSpans.size(); ++i)
        AppendMenuW(span, MF_STRING, kSpanFirst + i, SpanLabel(kDeviationSpans[i]).c_str());
    HMENU view = CreatePopupMenu();
    AppendMenuW(view, MF_POPUP, reinterpret_cast<UINT_PTR>(scale), L"Bar meter &scale");
    AppendMenuW(view, MF_POPUP, reinterpret_cast<UINT_PTR>(span), L"Deviation s&pan");
    HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, kAbout, L"&About wobblemeter-gui...");
    menu_ = CreateMenu();
    AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), L"&Edit");
    AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(measure), L"&Measure");
    AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"&View");
    AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"&Help");
    SetMenu(hwnd_, menu_);

    ACCEL keys[] = {
        {FCONTROL | FVIRTKEY, 'O', kOpen},
        {FCONTROL | FVIRTKEY, 'E', kExportPlot},
        {FCONTROL | FVIRTKEY, 'L', kExportLog},
        {FCONTROL | FVIRTKEY, 'J', kExportJson},
        {FCONTROL | FVIRTKEY, 'P', kExportReport},
        {FCONTROL | FVIRTKEY, 'Q', kQuit},
        {FCONTROL | FVIRTKEY, 'C', kCopy},
        {FVIRTKEY, VK_F5, kStart},
        {FSHIFT | FVIRTKEY, VK_F5, kStop},
        {FCONTROL | FSHIFT | FVIRTKEY, 'L', kLog},
        {FCONTROL | FSHIFT | FVIRTKEY, 'R', kRecord},
    };
    accelerators_ = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));
}

void MeterFrame::BuildToolBar() {
    const DWORD chooser = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
    const DWORD button = BS_PUSHBUTTON | WS_TABSTOP;
    // The switches show their state pressed in; the logic sets it (a cancelled dialog leaves
    // the switch off).
    const DWORD toggle = BS_CHECKBOX | BS_PUSHLIKE | WS_TABSTOP;
    deviceLabel_ = Child(L"STATIC", L"Input", SS_RIGHT | SS_CENTERIMAGE, 0);
    device_ = Child(WC_COMBOBOXW, L"", chooser, kDeviceChooser);
    start_ = Child(L"BUTTON", L"Start", button, kStart);
    stop_ = Child(L"BUTTON", L"Stop", button, kStop);
    log_ = Child(L"BUTTON", L"Log CSV", toggle, kLog);
    record_ = Child(L"BUTTON", L"Record WAV", toggle, kRecord);
    platterLabel_ = Child(L"STATIC", L"Platter", SS_RIGHT | SS_CENTERIMAGE, 0);
    platter_ = Child(WC_COMBOBOXW, L"", chooser, kPlatterChooser);
    for (const wchar_t* name : {L"none", L"33 1/3", L"45", L"78"})
        SendMessageW(platter_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    scaleLabel_ = Child(L"STATIC", L"Bar scale", SS_RIGHT | SS_CENTERIMAGE, 0);
    scale_ = Child(WC_COMBOBOXW, L"", chooser, kScaleChooser);
    for (double s : kBarScales)
        SendMessageW(scale_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ScaleLabel(s).c_str()));
    spanLabel_ = Child(L"STATIC", L"Span", SS_RIGHT | SS_CENTERIMAGE, 0);
    span_ = Child(WC_COMBOBOXW, L"", chooser, kSpanChooser);
    for (double s : kDeviationSpans)
        SendMessageW(span_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(SpanLabel(s).c_str()));
    open_ = Child(L"BUTTON", L"Open...", button, kOpen);
}

namespace {

// The width of a control's text in its font.
int TextWidth(HWND control) {
    wchar_t text[64];
    const int length = GetWindowTextW(control, text, static_cast<int>(std::size(text)));
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text, length, &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

}  // namespace

void MeterFrame::LayOut() {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right, height = client.bottom;
    const int y = Scaled(kControlTop), h = Scaled(kControlHeight), list = Scaled(kDropDownHeight);
    const int gap = Scaled(kGap), small = Scaled(kSmallGap), labelGap = Scaled(kLabelGap);
    // The controls on the left; platter, scale, span and Open at the right edge; the device
    // chooser takes what is left between them, within its bounds.
    auto Place = [&](HWND control, int x, int w, int tall) {
        MoveWindow(control, x, y, w, tall, TRUE);
        return x + w;
    };
    const int left = Scaled(kEdge) + TextWidth(deviceLabel_) + labelGap + gap +
                     2 * Scaled(kButtonWidth) + small + gap + Scaled(kLogWidth) + small +
                     Scaled(kRecordWidth) + gap;
    const int rightSide = TextWidth(platterLabel_) + TextWidth(scaleLabel_) +
                          TextWidth(spanLabel_) + 3 * (labelGap + gap) + Scaled(kPlatterWidth) +
                          Scaled(kScaleWidth) + Scaled(kSpanWidth) + Scaled(kOpenWidth) +
                          Scaled(kEdge);
    const int device =
        std::clamp(width - left - rightSide, Scaled(kDeviceLeast), Scaled(kDeviceMost));
    int x = Scaled(kEdge);
    x = Place(deviceLabel_, x, TextWidth(deviceLabel_), h) + labelGap;
    x = Place(device_, x, device, list) + gap;
    x = Place(start_, x, Scaled(kButtonWidth), h) + small;
    x = Place(stop_, x, Scaled(kButtonWidth), h) + gap;
    x = Place(log_, x, Scaled(kLogWidth), h) + small;
    x = Place(record_, x, Scaled(kRecordWidth), h) + gap;
    // In a window narrower than the controls need, they keep their places and the right end is
    // cut.
    const int right = std::max(width, x + rightSide);
    int r = right - Scaled(kEdge) - Scaled(kOpenWidth);
    Place(open_, r, Scaled(kOpenWidth), h);
    for (auto [label, chooser, w] :
         {std::tuple{spanLabel_, span_, kSpanWidth}, std::tuple{scaleLabel_, scale_, kScaleWidth},
          std::tuple{platterLabel_, platter_, kPlatterWidth}}) {
        r -= gap + Scaled(w);
        Place(chooser, r, Scaled(w), list);
        r -= labelGap + TextWidth(label);
        Place(label, r, TextWidth(label), h);
    }
    const int top = Scaled(kToolBarHeight), statusHeight = Scaled(kStatusHeight);
    MoveWindow(instrument_->Handle(), 0, top, width, std::max(0, height - top - statusHeight),
               TRUE);
    MoveWindow(status_->Handle(), 0, height - statusHeight, width, statusHeight, TRUE);
    const int margin = Scaled(kProgressMargin), progressWidth = Scaled(kProgressWidth);
    RECT inside;
    GetClientRect(status_->Handle(), &inside);
    MoveWindow(progress_, inside.right - progressWidth - margin, margin, progressWidth,
               std::max(0, static_cast<int>(inside.bottom) - 2 * margin), TRUE);
    status_->Set(statusText_, progressShown_ ? progressWidth + margin : 0);
}

void MeterFrame::Show(const Display& display) {
    instrument_->Set(display);
    const bool progress = std::isfinite(display.progress);
    if (progress != progressShown_) {
        progressShown_ = progress;
        ::ShowWindow(progress_, progress ? SW_SHOWNA : SW_HIDE);
    }
    if (progress)
        SendMessageW(progress_, PBM_SETPOS,
                     static_cast<WPARAM>(std::lround(kProgressSteps * display.progress)), 0);
    statusText_ = display.status;
    status_->Set(statusText_, progress ? Scaled(kProgressWidth) + Scaled(kProgressMargin) : 0);
}

void MeterFrame::SetControls(const Controls& c) {
    const auto Item = [this](UINT id, bool on) {
        EnableMenuItem(menu_, id, on ? MF_BYCOMMAND | MF_ENABLED : MF_BYCOMMAND | MF_GRAYED);
    };
    Enable(start_, c.start);
    Enable(stop_, c.stop);
    Enable(open_, c.open);
    Enable(log_, c.log);
    Enable(record_, c.record);
    SendMessageW(log_, BM_SETCHECK, c.logging ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(record_, BM_SETCHECK, c.recording ? BST_CHECKED : BST_UNCHECKED, 0);
    Item(kStart, c.start);
    Item(kStop, c.stop);
    Item(kOpen, c.open);
    for (UINT id : {kExportPlot, kExportLog, kExportJson, kExportReport}) Item(id, c.exportResult);
    Item(kLog, c.log);
    Item(kRecord, c.record);
    constexpr UINT kChecked = MF_BYCOMMAND | MF_CHECKED, kUnchecked = MF_BYCOMMAND | MF_UNCHECKED;
    CheckMenuItem(menu_, kLog, c.logging ? kChecked : kUnchecked);
    CheckMenuItem(menu_, kRecord, c.recording ? kChecked : kUnchecked);
    if (c.devices != controls_.devices || !controlsSet_) {
        SendMessageW(device_, CB_RESETCONTENT, 0, 0);
        for (const std::string& name : c.devices)
            SendMessageW(device_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(name).c_str()));
    }
    SendMessageW(device_, CB_SETCURSEL, static_cast<WPARAM>(c.device), 0);
    Enable(device_, c.chooseDevice);
    SendMessageW(scale_, CB_SETCURSEL, c.scale, 0);
    SendMessageW(platter_, CB_SETCURSEL, c.platter, 0);
    SendMessageW(span_, CB_SETCURSEL, c.span, 0);
    const auto Radio = [this](UINT first, size_t count, size_t chosen) {
        CheckMenuRadioItem(menu_, first, first + static_cast<UINT>(count) - 1,
                           first + static_cast<UINT>(chosen), MF_BYCOMMAND);
    };
    Radio(kScaleFirst, kBarScales.size(), c.scale);
    Radio(kSpanFirst, kDeviationSpans.size(), c.span);
    controls_ = c;
    controlsSet_ = true;
    DrawMenuBar(hwnd_);
}

namespace {

struct FileDialog {
    const wchar_t* title;
    // Pairs of a name and its patterns, each ending in a NUL, the whole in two.
    const wchar_t* filter;
    const wchar_t* extension;  // added to a name typed without one
};

FileDialog DialogOf(FileKind kind) {
    switch (kind) {
        case FileKind::kAudio:
            return {L"Open a recording",
                    L"Audio\0*.wav;*.flac;*.aif;*.aiff;*.ogg;*.au;*.w64;*.caf\0All files\0*.*\0",
                    nullptr};
        case FileKind::kPlot:
            return {L"Export the plot", L"PNG image\0*.png\0SVG drawing\0*.svg\0", L"png"};
        case FileKind::kCsv:
            return {L"Export the log of every second", L"CSV\0*.csv\0", L"csv"};
        case FileKind::kJson:
            return {L"Export the readings", L"JSON\0*.json\0", L"json"};
        case FileKind::kLog:
            return {L"Log every second to", L"CSV\0*.csv\0", L"csv"};
        case FileKind::kRecording:
            return {L"Record the input to", L"WAV\0*.wav\0", L"wav"};
        case FileKind::kReport:
            return {L"Export the report", L"PDF\0*.pdf\0", L"pdf"};
    }
    return {L"", L"All files\0*.*\0", nullptr};
}

// Room for a long path in the dialog's answer (Windows' extended length).
constexpr size_t kPathRoom = 32768;

}  // namespace

std::optional<std::string> MeterFrame::AskForFile(FileKind kind, const std::string& suggestion) {
    const FileDialog dialog = DialogOf(kind);
    std::wstring path = Widen(suggestion);
    // The dialog wants backslashes in the name it starts from, and the whole path: a bare name
    // would open in the folder the dialog used last rather than beside the file measured.
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    if (!path.empty()) {
        std::wstring full(kPathRoom, L'\0');
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length > 0 && length < full.size()) path.assign(full.c_str(), length);
    }
    path.resize(std::max(kPathRoom, path.size() + 1), L'\0');
    OPENFILENAMEW ask{};
    ask.lStructSize = sizeof ask;
    ask.hwndOwner = hwnd_;
    ask.lpstrFilter = dialog.filter;
    ask.nFilterIndex = 1;
    ask.lpstrFile = path.data();
    ask.nMaxFile = static_cast<DWORD>(path.size());
    ask.lpstrTitle = dialog.title;
    ask.lpstrDefExt = dialog.extension;
    ask.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    BOOL chosen;
    if (kind == FileKind::kAudio) {
        ask.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        chosen = GetOpenFileNameW(&ask);
    } else {
        ask.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
        chosen = GetSaveFileNameW(&ask);
    }
    if (!chosen || path[0] == L'\0') return std::nullopt;
    path.resize(path.find(L'\0'));
    return Narrow(path);
}

std::optional<std::string> MeterFrame::AskForText(const std::string& prompt,
                                                  const std::string& suggestion) {
    return AskForLine(hwnd_, font_, dpi_, kTitle, prompt, suggestion);
}

void MeterFrame::ShowMessage(const std::string& text) {
    MessageBoxW(hwnd_, Widen(ShownLine(text)).c_str(), Widen(kTitle).c_str(),
                MB_OK | MB_ICONWARNING);
}

void MeterFrame::CopyText(const std::string& text) {
    const std::wstring wide = WidenLines(text);
    if (!OpenClipboard(hwnd_)) return;
    EmptyClipboard();
    const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        memcpy(GlobalLock(memory), wide.c_str(), bytes);
        GlobalUnlock(memory);
        // The clipboard owns the memory once it takes it.
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    }
    CloseClipboard();
}

void MeterFrame::OnCommand(WORD id, WORD code) {
    if (logic_ == nullptr) return;
    if (id >= kDeviceChooser) {
        if (code != CBN_SELCHANGE) return;
        HWND chooser = GetDlgItem(hwnd_, id);
        const LRESULT index = SendMessageW(chooser, CB_GETCURSEL, 0, 0);
        if (index < 0) return;
        const auto chosen = static_cast<size_t>(index);
        if (id == kDeviceChooser) logic_->OnDeviceChosen(static_cast<int>(chosen));
        if (id == kPlatterChooser) logic_->OnPlatterChosen(chosen);
        if (id == kScaleChooser) logic_->OnScaleChosen(chosen);
        if (id == kSpanChooser) logic_->OnSpanChosen(chosen);
        return;
    }
    if (id >= kSpanFirst && id < kSpanFirst + kDeviationSpans.size())
        return logic_->OnSpanChosen(id - kSpanFirst);
    if (id >= kScaleFirst && id < kScaleFirst + kBarScales.size())
        return logic_->OnScaleChosen(id - kScaleFirst);
    switch (id) {
        case kOpen:
            return logic_->OnOpen();
        case kExportPlot:
            return logic_->OnExportPlot();
        case kExportLog:
            return logic_->OnExportLog();
        case kExportJson:
            return logic_->OnExportJson();
        case kExportReport:
            return logic_->OnExportReport();
        case kQuit:
            PostMessageW(hwnd_, WM_CLOSE, 0, 0);
            return;
        case kCopy:
            return logic_->OnCopy();
        case kStart:
            return logic_->OnStart();
        case kStop:
            return logic_->OnStop();
        case kLog:
            return logic_->OnLog();
        case kRecord:
            return logic_->OnRecord();
        case kAbout: {
            std::string about = "wobblemeter-gui version " WOBBLEGEN_VERSION_TEXT;
            about +=
                "\n\nThe wow-and-flutter meter of wobblegen: live from a sound card's input, "
                "or from a recording.";
            MessageBoxW(hwnd_, Widen(about).c_str(), Widen(kTitle).c_str(),
                        MB_OK | MB_ICONINFORMATION);
            return;
        }
        default:
            return;
    }
}

void MeterFrame::OnClose() {
    // The log and the recording are finished before the window goes; what could not be written
    // is said.
    if (logic_ != nullptr) {
        const std::string failed = logic_->OnClose();
        if (!failed.empty()) ShowMessage(failed);
    }
    KillTimer(hwnd_, kPollTimer);
    DestroyWindow(hwnd_);
}

void MeterFrame::OnDropFiles(HDROP drop) {
    // The first file dropped is measured.
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    const UINT copied = DragQueryFileW(drop, 0, path.data(), length + 1);
    DragFinish(drop);
    path.resize(copied);
    if (logic_ != nullptr && !path.empty()) logic_->OpenFile(Narrow(path));
}

void MeterFrame::OnDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi;
    MakeFont();
    for (HWND child : {deviceLabel_, device_, start_, stop_, log_, record_, platterLabel_, platter_,
                       scaleLabel_, scale_, spanLabel_, span_, open_})
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    status_->SetFont(font_, dpi_);
    instrument_->SetScale(static_cast<double>(dpi_) / kBaseDpi);
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK MeterFrame::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* frame =
            static_cast<MeterFrame*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        frame->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
    }
    auto* frame = reinterpret_cast<MeterFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (frame == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    return frame->Dispatch(hwnd, message, wParam, lParam);
}

LRESULT MeterFrame::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate();
            return 0;
        case WM_SIZE:
            if (instrument_ != nullptr) LayOut();
            return 0;
        case WM_GETMINMAXINFO: {
            // The instrument's smallest layout, with the bars and the frame around it.
            RECT least{0, 0, Scaled(kInstrumentMinWidth + 60),
                       Scaled(kInstrumentMinHeight + kToolBarHeight + kStatusHeight)};
            AdjustWindowRectEx(&least, WS_OVERLAPPEDWINDOW, TRUE, WS_EX_ACCEPTFILES);
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {least.right - least.left, least.bottom - least.top};
            return 0;
        }
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kPollTimer && logic_ != nullptr) logic_->Poll();
            return 0;
        case WM_DROPFILES:
            OnDropFiles(reinterpret_cast<HDROP>(wParam));
            return 0;
        case kDpiChanged:
            OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_DESTROY:
            hwnd_ = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace wobblemeter
