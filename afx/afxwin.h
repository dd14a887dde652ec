// The afx application framework: the small part of an MFC-style class library that the
// wobblegen dialogs use (application object, modal dialogs built from templates, data
// exchange, system menu, painting, resources), on a toolkit behind afx/backend.h.
#pragma once

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

#include "afx/afxres.h"
#include "afx/backend.h"

class CWnd;
class CMenu;
class CDataExchange;

using HINSTANCE = const ResourceModule*;
using HICON = const IconGroup*;
using HCURSOR = HICON;
using HDC = afx::PaintSurface*;
using INT_PTR = std::intptr_t;

// ---- Strings --------------------------------------------------------------------------------

class CString {
public:
    CString();
    CString(const char* text);  // NOLINT: implicit, as a string literal converts
    CString(const CString& other);
    CString& operator=(const CString& other);
    CString& operator=(const char* text);
    ~CString();

    int GetLength() const { return m_length; }
    bool IsEmpty() const { return m_length == 0; }
    operator LPCTSTR() const { return m_buffer.data(); }  // NOLINT: as CString converts in MFC

    // Loads string nID from the program's resources; FALSE (and empty) when there is none.
    BOOL LoadString(UINT nID);
    // A writable buffer of at least nMinBufLength characters plus the terminating zero; the
    // text stays in it. ReleaseBuffer takes the length back from the terminating zero.
    LPTSTR GetBuffer(int nMinBufLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    void Assign(const char* text, std::size_t length);
    std::vector<char> m_buffer;  // always zero-terminated at m_length
    int m_length = 0;
};

bool operator==(const CString& a, const char* b);

// ---- Geometry -------------------------------------------------------------------------------

struct RECT {
    int left = 0, top = 0, right = 0, bottom = 0;
};
using LPRECT = RECT*;

struct CRect : RECT {
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// ---- Message maps ---------------------------------------------------------------------------

class CCmdTarget;

// One row of a message map: a window message (or WM_COMMAND with a range of command ids)
// and the handler it runs.
struct AFX_MSGMAP_ENTRY {
    UINT message;
    UINT idFirst;
    UINT idLast;
    LRESULT (*handler)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);
};

// A class's message map: its own rows, searched first, then its base class's map.
struct AFX_MSGMAP {
    const AFX_MSGMAP* base;
    const AFX_MSGMAP_ENTRY* entries;
    std::size_t count;

    template <std::size_t N>
    constexpr AFX_MSGMAP(const AFX_MSGMAP* baseMap, const AFX_MSGMAP_ENTRY (&rows)[N])
        : base(baseMap), entries(rows), count(N) {}
    constexpr AFX_MSGMAP(const AFX_MSGMAP* baseMap) : base(baseMap), entries(nullptr), count(0) {}
};

namespace afx {

template <class T, class R, class... A>
T ClassOfHandler(R (T::*)(A...));

// Calls a handler with the arguments its signature takes from the message.
template <auto Handler>
LRESULT CallHandler(CCmdTarget* target, WPARAM wParam, LPARAM lParam) {
    using T = decltype(ClassOfHandler(Handler));
    T* self = static_cast<T*>(target);
    using Fn = decltype(Handler);
    if constexpr (std::is_invocable_v<Fn, T*, UINT, LPARAM>) {
        (self->*Handler)(static_cast<UINT>(wParam), lParam);
        return 0;
    } else if constexpr (std::is_same_v<std::invoke_result_t<Fn, T*>, void>) {
        (self->*Handler)();
        return 0;
    } else if constexpr (std::is_pointer_v<std::invoke_result_t<Fn, T*>>) {
        return reinterpret_cast<LRESULT>((self->*Handler)());
    } else {
        return static_cast<LRESULT>((self->*Handler)());
    }
}

// A row binding a window message to a handler method.
template <UINT Message, auto Handler>
constexpr AFX_MSGMAP_ENTRY OnMessage() {
    return {Message, 0, 0, &CallHandler<Handler>};
}

// A row binding one command id (WM_COMMAND) to a handler method.
template <UINT Id, auto Handler>
constexpr AFX_MSGMAP_ENTRY OnCommand() {
    return {WM_COMMAND, Id, Id, &CallHandler<Handler>};
}

}  // namespace afx

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // Runs the handler of command nID from this object's message map; FALSE when none.
    virtual BOOL OnCmdMsg(UINT nID);

    static const AFX_MSGMAP messageMap;
    virtual const AFX_MSGMAP* GetMessageMap() const { return &messageMap; }

protected:
    // The first row for message (and command id) in this object's map chain, or null.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT id) const;
};

// ---- Application ----------------------------------------------------------------------------

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up: FALSE ends the application at once, without running its message loop.
    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();

    // Kept for the program's start-up sequence; controls here always have a 3-D look.
    BOOL Enable3dControls();
    // The Help command: there is no help file, so it shows nothing.
    void OnHelp();

    static const AFX_MSGMAP messageMap;
    const AFX_MSGMAP* GetMessageMap() const override { return &messageMap; }

    CWnd* m_pMainWnd = nullptr;
    LPCTSTR m_pszAppName;  // window-title name; the program's file name when null
    HINSTANCE m_hInstance = nullptr;
    int m_nCmdShow = 0;
};

CWinApp* AfxGetApp();
// The program's entry: initialises the framework and runs the one application object.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);
// Control-container support for dialogs: no control here needs it; kept for start-up.
void AfxEnableControlContainer();
LPCTSTR AfxGetAppName();

// ---- Resources ------------------------------------------------------------------------------

HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE hInstance);
// The module that holds resource nID of the given type (null when none does).
HINSTANCE AfxFindResourceHandle(UINT nID, ResourceType type);
HICON LoadIcon(HINSTANCE hInstance, UINT nID);
const DialogTemplate* AfxFindDialogTemplate(UINT nID);

namespace afx {
// The image of the icon group closest to size x size pixels (null for a null group).
const IconImage* IconImageOfSize(HICON hIcon, int size);
}  // namespace afx

constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
int GetSystemMetrics(int nIndex);

// Message box flags; the box always has one OK button.
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_ICONEXCLAMATION = 0x0030;
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK);

// ---- Menus ----------------------------------------------------------------------------------

constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_SEPARATOR = 0x0800;

namespace afx {
struct MenuData;
}
using HMENU = afx::MenuData*;

class CMenu {
public:
    // The wrapper object of an existing menu (owned by the menu), or null for a null handle.
    static CMenu* FromHandle(HMENU hMenu);
    BOOL AppendMenu(UINT nFlags, UINT nIDNewItem = 0, LPCTSTR lpszNewItem = nullptr);
    HMENU m_hMenu = nullptr;
};

namespace afx {
struct MenuData {
    std::vector<MenuEntry> entries;
    CMenu wrapper;
    // A window's system menu: the window, and how many entries are the system's own.
    WindowHandle window = 0;
    std::size_t systemEntries = 0;
};
}  // namespace afx

// ---- Windows --------------------------------------------------------------------------------

class CWnd : public CCmdTarget, protected afx::WindowEvents {
public:
    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    struct ControlInfo {
        int id;
        ControlClass controlClass;
        DWORD style;
    };

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // The window's system menu; bRevert TRUE restores the original menu and returns null.
    CMenu* GetSystemMenu(BOOL bRevert);
    BOOL IsIconic() const;
    void GetClientRect(LPRECT lpRect) const;

    void SetDlgItemText(int nID, LPCTSTR lpszString);
    // Copies the text of control nID into rString.
    void GetDlgItemText(int nID, CString& rString) const;
    // Focuses control nID; an edit gets its whole text selected.
    void GotoDlgCtrl(int nID);

    static const AFX_MSGMAP messageMap;
    const AFX_MSGMAP* GetMessageMap() const override { return &messageMap; }

    afx::WindowHandle m_hWnd = 0;

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window class's own handling of a message no map row took.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default handling of the message being dispatched now.
    LRESULT Default();
    // Opens the system menu at client pixel (x, y) and sends the chosen command.
    void TrackSystemMenu(int x, int y);

    int ControlIndex(int nID) const;  // -1 when the window has no control nID
    const std::vector<ControlInfo>& Controls() const { return m_controls; }
    void AttachWindow(afx::WindowHandle hWnd, DWORD style, std::vector<ControlInfo> controls);
    void DetachWindow();

    // afx::WindowEvents
    void OnButton(int controlId) override;
    void OnKey(afx::DialogKey key) override;
    void OnCloseRequest() override;
    void OnContextClick(int x, int y) override;
    bool OnPaint(afx::PaintSurface& surface) override;
    bool OnSysCommand(UINT command) override;

private:
    friend class CPaintDC;
    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<ControlInfo> m_controls;  // in creation (tab) order
    afx::MenuData m_systemMenu;
    bool m_hasSystemMenu = false;
    HICON m_icons[2] = {nullptr, nullptr};  // indexed by ICON_SMALL, ICON_BIG
    CurrentMessage m_current{0, 0, 0};
    afx::PaintSurface* m_paintSurface = nullptr;  // set while the window paints
    bool m_defaultPainted = false;
    bool m_defaultSysCommand = false;  // WM_SYSCOMMAND reached the window system's handling
};

// ---- Painting -------------------------------------------------------------------------------

class CDC {
public:
    HDC GetSafeHdc() const { return m_hDC; }
    // Draws the system-size image of the icon with its top-left corner at (x, y).
    BOOL DrawIcon(int x, int y, HICON hIcon);

protected:
    HDC m_hDC = nullptr;
};

// The device context of a window's paint: valid while the window paints.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd);
};

// ---- Dialogs --------------------------------------------------------------------------------

class CDialog : public CWnd {
public:
    // A modal dialog on template nIDTemplate; a null parent means the main window.
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Creates the window from the template and runs it; returns IDOK or IDCANCEL (or -1 when
    // the template or the window cannot be made).
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);
    // Exchanges all members with the controls (TRUE: controls to members). FALSE when a
    // field failed to parse; the user has been told and that field has the focus.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    BOOL OnCmdMsg(UINT nID) override;
    static const AFX_MSGMAP_ENTRY messageEntries[];
    static const AFX_MSGMAP messageMap;
    const AFX_MSGMAP* GetMessageMap() const override { return &messageMap; }

    UINT m_nIDHelp;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnKey(afx::DialogKey key) override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    int m_nModalResult = -1;
    int m_defaultButtonId = IDOK;
    std::vector<int> m_pushButtonIds;
};

// Converts a rectangle from dialog units to pixels with the dialog font's metrics: one
// horizontal unit is a quarter of the average letter width, one vertical unit an eighth of
// the font height.
afx::PixelRect AfxMapDialogRect(const afx::FontMetrics& font, int x, int y, int cx, int cy);

// ---- Dialog data exchange -------------------------------------------------------------------

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);
    // Notes the edit control being exchanged, the one Fail puts the focus on.
    void PrepareEditCtrl(int nIDC);
    // Ends the exchange after a field failed: focuses that field; later DDX calls do nothing.
    void Fail();
    bool Failed() const { return m_bFailed; }

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;

private:
    int m_idLastControl = 0;
    bool m_bFailed = false;
};

// Text: as is. UINT: an unsigned decimal integer up to 4294967295, shown in decimal.
// double: a decimal floating-point number (sign, fraction and exponent allowed), shown in
// general notation without superfluous zeros. White space around a number is ignored.
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value);
void DDX_Text(CDataExchange* pDX, int nIDC, double& value);

namespace afx {
// The parse rules of DDX_Text, exposed for the framework's tests. False when text is not a
// number of that kind (or out of its range); value is then untouched.
bool ParseUnsigned(const char* text, UINT& value);
bool ParseDouble(const char* text, double& value);
std::string FormatDouble(double value);
}  // namespace afx
