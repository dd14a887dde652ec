// Modal dialogs built from templates, dialog data exchange with its parse rules, and
// message boxes.
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#include "afx/afxwin.h"
#include "text/decimal.h"

namespace {

// Dialogs whose modal loop runs, innermost last: the innermost owns message boxes.
std::vector<CDialog*> g_modalDialogs;

bool IsPushButton(const CWnd::ControlInfo& control) {
    return control.controlClass == ControlClass::kButton &&
           ((control.style & 0xF) == BS_PUSHBUTTON || (control.style & 0xF) == BS_DEFPUSHBUTTON);
}

}  // namespace

int AfxMessageBox(LPCTSTR lpszText, UINT /*nType*/) {
    const afx::WindowHandle owner = g_modalDialogs.empty() ? 0 : g_modalDialogs.back()->m_hWnd;
    afx::GetBackend().MessageBox(owner, lpszText, AfxGetAppName());
    return IDOK;
}

afx::PixelRect AfxMapDialogRect(const afx::FontMetrics& font, int x, int y, int cx, int cy) {
    const auto horizontal = [&](int units) {
        return static_cast<int>(std::lround(units * font.averageLetterWidth / 4.0));
    };
    const auto vertical = [&](int units) {
        return static_cast<int>(std::lround(units * font.height / 8.0));
    };
    return {horizontal(x), vertical(y), horizontal(cx), vertical(cy)};
}

// ---- CDialog --------------------------------------------------------------------------------

// OK and Cancel end the dialog through the virtual handlers.
const AFX_MSGMAP_ENTRY CDialog::messageEntries[] = {
    afx::OnCommand<IDOK, &CDialog::OnOK>(),
    afx::OnCommand<IDCANCEL, &CDialog::OnCancel>(),
};
const AFX_MSGMAP CDialog::messageMap{&CWnd::messageMap, messageEntries};

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDHelp(nIDTemplate), m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

INT_PTR CDialog::DoModal() {
    const DialogTemplate* dialog = AfxFindDialogTemplate(m_nIDTemplate);
    if (dialog == nullptr) return -1;
    afx::Backend& backend = afx::GetBackend();
    const afx::FontMetrics font = backend.MeasureFont(dialog->fontFace, dialog->pointSize);

    afx::WindowLayout layout;
    layout.source = dialog;
    layout.caption = dialog->caption;
    const afx::PixelRect size = AfxMapDialogRect(font, 0, 0, dialog->cx, dialog->cy);
    layout.width = size.width;
    layout.height = size.height;
    layout.style = dialog->style;
    layout.exStyle = dialog->exStyle;
    layout.fontFace = dialog->fontFace;
    layout.pointSize = dialog->pointSize;
    std::vector<ControlInfo> controls;
    m_pushButtonIds.clear();
    m_defaultButtonId = IDOK;
    for (std::size_t i = 0; i < dialog->itemCount; ++i) {
        const DialogItemTemplate& item = dialog->items[i];
        afx::ControlLayout control;
        control.controlClass = item.controlClass;
        control.id = item.id;
        control.text = item.text != nullptr ? item.text : "";
        control.rect = AfxMapDialogRect(font, item.x, item.y, item.cx, item.cy);
        control.style = item.style;
        if (item.controlClass == ControlClass::kStatic && (item.style & 0xF) == SS_ICON) {
            control.icon =
                LoadIcon(AfxFindResourceHandle(item.iconId, ResourceType::kGroupIcon), item.iconId);
            control.palette = control.icon != nullptr ? control.icon->palette : nullptr;
        }
        layout.controls.push_back(control);
        controls.push_back({item.id, item.controlClass, item.style});
        if (item.controlClass == ControlClass::kButton && (item.style & 0xF) == BS_DEFPUSHBUTTON)
            m_defaultButtonId = item.id;
    }

    const afx::WindowHandle window = backend.CreateDialogWindow(layout, this);
    if (window == 0) return -1;
    AttachWindow(window, dialog->style, std::move(controls));
    m_nModalResult = -1;
    g_modalDialogs.push_back(this);

    if (OnInitDialog()) {
        // The default focus: the first control with a tab stop.
        for (const ControlInfo& control : Controls()) {
            if ((control.style & WS_TABSTOP) != 0) {
                GotoDlgCtrl(control.id);
                break;
            }
        }
    }
    if (m_nModalResult == -1) backend.RunModalLoop(window);

    g_modalDialogs.pop_back();
    backend.DestroyWindow(window);
    DetachWindow();
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    if (m_hWnd != 0) afx::GetBackend().EndModalLoop(m_hWnd);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return dx.Failed() ? FALSE : TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

// Commands the dialog's map does not take go on to the application (the Help command).
BOOL CDialog::OnCmdMsg(UINT nID) {
    if (CWnd::OnCmdMsg(nID)) return TRUE;
    CWinApp* app = AfxGetApp();
    return app != nullptr && app->OnCmdMsg(nID);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        SendMessage(WM_COMMAND, IDCANCEL);
        return 0;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

void CDialog::OnKey(afx::DialogKey key) {
    switch (key) {
        case afx::DialogKey::kEnter: {
            // A focused push button is pressed; elsewhere Enter means the default button.
            const int focused = afx::GetBackend().FocusedControl(m_hWnd);
            if (focused >= 0 && static_cast<std::size_t>(focused) < Controls().size() &&
                IsPushButton(Controls()[static_cast<std::size_t>(focused)])) {
                OnButton(Controls()[static_cast<std::size_t>(focused)].id);
            } else {
                OnButton(m_defaultButtonId);
            }
            break;
        }
        case afx::DialogKey::kEscape:
            OnButton(IDCANCEL);
            break;
        case afx::DialogKey::kHelp:
            SendMessage(WM_COMMAND, ID_HELP);
            break;
        case afx::DialogKey::kSystemMenu:
            CWnd::OnKey(key);
            break;
    }
}

// ---- Data exchange --------------------------------------------------------------------------

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

void CDataExchange::PrepareEditCtrl(int nIDC) {
    m_idLastControl = nIDC;
}

void CDataExchange::Fail() {
    m_bFailed = true;
    if (m_idLastControl != 0) m_pDlgWnd->GotoDlgCtrl(m_idLastControl);
}

// The numbers are read with the tools' decimal rules and written with <charconv>, both
// independent of the C locale: the decimal point is '.' whatever LC_NUMERIC says.
bool afx::ParseUnsigned(const char* text, UINT& value) {
    unsigned long long result = 0;
    if (!ParseDecimalWhole(text, std::numeric_limits<UINT>::max(), result)) return false;
    value = static_cast<UINT>(result);
    return true;
}

bool afx::ParseDouble(const char* text, double& value) {
    return ParseDecimalReal(text, value);
}

// General notation with up to 15 significant digits, as many as a double always holds.
std::string afx::FormatDouble(double value) {
    char text[64];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return error == std::errc{} ? std::string(text, end) : std::string();
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
    if (pDX->Failed()) return;
    if (pDX->m_bSaveAndValidate) {
        pDX->m_pDlgWnd->GetDlgItemText(nIDC, value);
    } else {
        pDX->m_pDlgWnd->SetDlgItemText(nIDC, value);
    }
}

void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value) {
    if (pDX->Failed()) return;
    pDX->PrepareEditCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        CString text;
        pDX->m_pDlgWnd->GetDlgItemText(nIDC, text);
        if (!afx::ParseUnsigned(text, value)) {
            AfxMessageBox("Please enter a whole number from 0 to 4294967295.", MB_ICONEXCLAMATION);
            pDX->Fail();
        }
    } else {
        char text[16];
        const auto [end, error] = std::to_chars(text, text + sizeof text - 1, value);
        *(error == std::errc{} ? end : text) = '\0';
        pDX->m_pDlgWnd->SetDlgItemText(nIDC, text);
    }
}

void DDX_Text(CDataExchange* pDX, int nIDC, double& value) {
    if (pDX->Failed()) return;
    pDX->PrepareEditCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        CString text;
        pDX->m_pDlgWnd->GetDlgItemText(nIDC, text);
        if (!afx::ParseDouble(text, value)) {
            AfxMessageBox("Please enter a number.", MB_ICONEXCLAMATION);
            pDX->Fail();
        }
    } else {
        pDX->m_pDlgWnd->SetDlgItemText(nIDC, afx::FormatDouble(value).c_str());
    }
}
