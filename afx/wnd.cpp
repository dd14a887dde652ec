// Windows of the afx framework: message dispatch through message maps, the system menu and
// painting, on top of a backend window.
#include <algorithm>
#include <cstdlib>

#include "afx/afxwin.h"

// ---- CCmdTarget -----------------------------------------------------------------------------

const AFX_MSGMAP CCmdTarget::messageMap{nullptr};

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, UINT id) const {
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const AFX_MSGMAP_ENTRY& entry = map->entries[i];
            if (entry.message != message) continue;
            if (message != WM_COMMAND || (id >= entry.idFirst && id <= entry.idLast)) return &entry;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID) {
    const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(WM_COMMAND, nID);
    if (entry == nullptr) return FALSE;
    entry->handler(this, nID, 0);
    return TRUE;
}

// ---- CMenu ----------------------------------------------------------------------------------

namespace {

// Tells the backend what the program has appended to a window's system menu.
void ShowSystemMenuExtras(const afx::MenuData& menu) {
    const auto first = menu.entries.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                  menu.systemEntries, menu.entries.size()));
    afx::GetBackend().SetSystemMenuExtras(menu.window,
                                          std::vector<afx::MenuEntry>(first, menu.entries.end()));
}

}  // namespace

CMenu* CMenu::FromHandle(HMENU hMenu) {
    if (hMenu == nullptr) return nullptr;
    hMenu->wrapper.m_hMenu = hMenu;
    return &hMenu->wrapper;
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT nIDNewItem, LPCTSTR lpszNewItem) {
    if (m_hMenu == nullptr) return FALSE;
    afx::MenuEntry entry;
    entry.separator = (nFlags & MF_SEPARATOR) != 0;
    if (!entry.separator) {
        if (lpszNewItem == nullptr) return FALSE;
        entry.id = nIDNewItem;
        entry.text = lpszNewItem;
    }
    m_hMenu->entries.push_back(entry);
    if (m_hMenu->window != 0) ShowSystemMenuExtras(*m_hMenu);
    return TRUE;
}

// ---- Icons ----------------------------------------------------------------------------------

const IconImage* afx::IconImageOfSize(HICON hIcon, int size) {
    if (hIcon == nullptr) return nullptr;
    const IconImage* best = nullptr;
    for (std::size_t i = 0; i < hIcon->imageCount; ++i) {
        const IconImage& image = hIcon->images[i];
        if (best == nullptr || std::abs(image.width - size) < std::abs(best->width - size))
            best = &image;
    }
    return best;
}

// ---- CWnd -----------------------------------------------------------------------------------

// Every window message goes to DefWindowProc unless a derived class's map takes it.
const AFX_MSGMAP CWnd::messageMap{&CCmdTarget::messageMap};

namespace {

std::vector<afx::MenuEntry> OriginalSystemMenu() {
    afx::MenuEntry close;
    close.id = SC_CLOSE;
    close.text = "&Close";
    return {close};
}

}  // namespace

CWnd::CWnd() {
    m_systemMenu.entries = OriginalSystemMenu();
}

CWnd::~CWnd() {
    DetachWindow();
}

void CWnd::AttachWindow(afx::WindowHandle hWnd, DWORD style, std::vector<ControlInfo> controls) {
    m_hWnd = hWnd;
    m_controls = std::move(controls);
    m_hasSystemMenu = (style & WS_SYSMENU) != 0;
    m_systemMenu.entries = OriginalSystemMenu();
    m_systemMenu.window = m_hasSystemMenu ? hWnd : 0;
    m_systemMenu.systemEntries = m_systemMenu.entries.size();
    m_icons[0] = m_icons[1] = nullptr;
}

void CWnd::DetachWindow() {
    // A window that is gone is no longer the application's main window.
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
    m_hWnd = 0;
    m_controls.clear();
    m_hasSystemMenu = false;
    m_systemMenu.window = 0;
}

int CWnd::ControlIndex(int nID) const {
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        if (m_controls[i].id == nID) return static_cast<int>(i);
    return -1;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const CurrentMessage saved = m_current;
    m_current = {message, wParam, lParam};
    const LRESULT result = WindowProc(message, wParam, lParam);
    m_current = saved;
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        if (OnCmdMsg(static_cast<UINT>(wParam & 0xFFFF))) return 0;
        return DefWindowProc(message, wParam, lParam);
    }
    if (const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, 0))
        return entry->handler(this, wParam, lParam);
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    afx::Backend& backend = afx::GetBackend();
    switch (message) {
        case WM_SETICON: {
            const std::size_t which = wParam == ICON_BIG ? 1 : 0;
            const HICON previous = m_icons[which];
            m_icons[which] = reinterpret_cast<HICON>(lParam);
            if (m_hWnd != 0) {
                const int big = backend.IconSize();
                const IconImage* bigImage = afx::IconImageOfSize(m_icons[1], big);
                const IconImage* smallImage = afx::IconImageOfSize(m_icons[0], big / 2);
                const IconPalette* palette = m_icons[1]   ? m_icons[1]->palette
                                             : m_icons[0] ? m_icons[0]->palette
                                                          : nullptr;
                backend.SetIcons(m_hWnd, bigImage, smallImage, palette);
            }
            return reinterpret_cast<LRESULT>(previous);
        }
        case WM_SYSCOMMAND:
            // Close is the framework's; moving, sizing, the keyboard menu and the like are
            // the window system's.
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                SendMessage(WM_CLOSE);
            } else {
                m_defaultSysCommand = true;
            }
            return 0;
        case WM_PAINT:
            m_defaultPainted = true;  // the toolkit draws the window as usual
            return 0;
        case WM_ICONERASEBKGND:
            if (wParam != 0) reinterpret_cast<HDC>(wParam)->FillBackground();
            return 1;
        default:
            return 0;
    }
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) {
    if (!m_hasSystemMenu) return nullptr;
    if (bRevert) {
        m_systemMenu.entries = OriginalSystemMenu();
        if (m_systemMenu.window != 0) ShowSystemMenuExtras(m_systemMenu);
        return nullptr;
    }
    return CMenu::FromHandle(&m_systemMenu);
}

BOOL CWnd::IsIconic() const {
    return m_hWnd != 0 && afx::GetBackend().IsIconic(m_hWnd);
}

void CWnd::GetClientRect(LPRECT lpRect) const {
    const afx::PixelRect r = m_hWnd != 0 ? afx::GetBackend().ClientRect(m_hWnd) : afx::PixelRect{};
    lpRect->left = 0;
    lpRect->top = 0;
    lpRect->right = r.width;
    lpRect->bottom = r.height;
}

void CWnd::SetDlgItemText(int nID, LPCTSTR lpszString) {
    const int index = ControlIndex(nID);
    if (index >= 0) afx::GetBackend().SetControlText(m_hWnd, index, lpszString);
}

void CWnd::GetDlgItemText(int nID, CString& rString) const {
    const int index = ControlIndex(nID);
    rString = index >= 0 ? afx::GetBackend().GetControlText(m_hWnd, index).c_str() : "";
}

void CWnd::GotoDlgCtrl(int nID) {
    const int index = ControlIndex(nID);
    if (index < 0) return;
    const bool isEdit =
        m_controls[static_cast<std::size_t>(index)].controlClass == ControlClass::kEdit;
    afx::GetBackend().FocusControl(m_hWnd, index, isEdit);
}

void CWnd::TrackSystemMenu(int x, int y) {
    if (!m_hasSystemMenu || m_hWnd == 0) return;
    const std::vector<afx::MenuEntry> entries = m_systemMenu.entries;
    const UINT id = afx::GetBackend().TrackPopupMenu(m_hWnd, entries, x, y);
    if (id != 0) SendMessage(WM_SYSCOMMAND, id, 0);
}

void CWnd::OnButton(int controlId) {
    SendMessage(WM_COMMAND, static_cast<WPARAM>(controlId));
}

void CWnd::OnKey(afx::DialogKey key) {
    if (key == afx::DialogKey::kSystemMenu) TrackSystemMenu(0, 0);
}

void CWnd::OnCloseRequest() {
    SendMessage(WM_SYSCOMMAND, SC_CLOSE);
}

void CWnd::OnContextClick(int x, int y) {
    TrackSystemMenu(x, y);
}

bool CWnd::OnSysCommand(UINT command) {
    const bool saved = m_defaultSysCommand;
    m_defaultSysCommand = false;
    SendMessage(WM_SYSCOMMAND, command);
    const bool handled = !m_defaultSysCommand;
    m_defaultSysCommand = saved;
    return handled;
}

bool CWnd::OnPaint(afx::PaintSurface& surface) {
    afx::PaintSurface* const saved = m_paintSurface;
    m_paintSurface = &surface;
    m_defaultPainted = false;
    SendMessage(WM_PAINT);
    m_paintSurface = saved;
    return !m_defaultPainted;
}

// ---- Painting -------------------------------------------------------------------------------

namespace {

// Draws nothing: stands in when WM_PAINT arrives outside a paint.
class NullSurface final : public afx::PaintSurface {
public:
    void FillBackground() override {}
    void DrawIcon(int, int, const IconImage&, const IconPalette&) override {}
};

NullSurface g_nullSurface;

}  // namespace

CPaintDC::CPaintDC(CWnd* pWnd) {
    m_hDC =
        pWnd != nullptr && pWnd->m_paintSurface != nullptr ? pWnd->m_paintSurface : &g_nullSurface;
}

BOOL CDC::DrawIcon(int x, int y, HICON hIcon) {
    const IconImage* image = afx::IconImageOfSize(hIcon, afx::GetBackend().IconSize());
    if (m_hDC == nullptr || image == nullptr) return FALSE;
    m_hDC->DrawIcon(x, y, *image, *hIcon->palette);
    return TRUE;
}
