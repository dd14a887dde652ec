// The meter window on Win32: menu bar with its shortcuts, tool bar controls, the instrument drawn
// by the shared cairo code into an off-screen DIB and copied to the screen, the status bar with
// its progress bar; file dialogs, message boxes, the clipboard and dropped files. The only code
// of the window that sees Windows, with main.cpp.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "meterwin/meter_view.h"

namespace wobblemeter {

class MeterWindow;
class InstrumentPane;
class StatusPane;

class MeterFrame final : public MeterView {
public:
    MeterFrame();
    ~MeterFrame() override;
    MeterFrame(const MeterFrame&) = delete;
    MeterFrame& operator=(const MeterFrame&) = delete;

    // Makes the window (hidden); false, with the system's reason in *error, when it cannot.
    bool Create(std::string* error);
    // The logic the controls drive; set once, before the window is shown.
    void Attach(MeterWindow* logic) { logic_ = logic; }
    void ShowWindow(int how);
    HWND Handle() const { return hwnd_; }
    // The menu's shortcuts, for the message loop's TranslateAccelerator.
    HACCEL Accelerators() const { return accelerators_; }

    void Show(const Display& display) override;
    void SetControls(const Controls& controls) override;
    std::optional<std::string> AskForFile(FileKind kind, const std::string& suggestion) override;
    std::optional<std::string> AskForText(const std::string& prompt,
                                          const std::string& suggestion) override;
    void ShowMessage(const std::string& text) override;
    void CopyText(const std::string& text) override;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnCommand(WORD id, WORD code);
    void OnClose();
    void OnDropFiles(HDROP drop);
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void BuildMenu();
    void BuildToolBar();
    void LayOut();
    void MakeFont();
    int Scaled(int pixels) const { return MulDiv(pixels, static_cast<int>(dpi_), kBaseDpi); }
    HWND Child(const wchar_t* windowClass, const wchar_t* text, DWORD style, int id);

    static constexpr int kBaseDpi = 96;

    MeterWindow* logic_ = nullptr;
    HWND hwnd_ = nullptr;
    HMENU menu_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = kBaseDpi;
    // The tool bar's controls, children of the frame.
    HWND deviceLabel_ = nullptr, device_ = nullptr, start_ = nullptr, stop_ = nullptr;
    HWND log_ = nullptr, record_ = nullptr, platterLabel_ = nullptr, platter_ = nullptr;
    HWND scaleLabel_ = nullptr, scale_ = nullptr, spanLabel_ = nullptr, span_ = nullptr;
    HWND open_ = nullptr;
    HWND progress_ = nullptr;
    InstrumentPane* instrument_ = nullptr;
    StatusPane* status_ = nullptr;
    bool progressShown_ = false;
    std::string statusText_;
    Controls controls_;
    bool controlsSet_ = false;
};

}  // namespace wobblemeter
