// The application object, the program entry AfxWinMain, resource look-up and the few
// system services (metrics, message boxes) the dialogs use.
#include <string>

#include "afx/afxwin.h"
#include "sys/process.h"

namespace {

CWinApp* g_app = nullptr;
HINSTANCE g_resources = nullptr;
afx::Backend* g_backendOverride = nullptr;

}  // namespace

namespace afx {

Backend& GetBackend() {
    if (g_backendOverride != nullptr) return *g_backendOverride;
    static const std::unique_ptr<Backend> backend = AfxCreateDefaultBackend();
    return *backend;
}

void SetBackend(Backend* backend) {
    g_backendOverride = backend;
}

}  // namespace afx

// ---- CWinApp --------------------------------------------------------------------------------

// The application routes only the Help command.
const AFX_MSGMAP CWinApp::messageMap{&CCmdTarget::messageMap};

CWinApp::CWinApp(LPCTSTR lpszAppName) : m_pszAppName(lpszAppName) {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

// No window outlives InitInstance in a dialog-based program, so there is nothing to pump.
int CWinApp::Run() {
    return ExitInstance();
}

int CWinApp::ExitInstance() {
    return 0;
}

BOOL CWinApp::Enable3dControls() {
    return TRUE;
}

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() {
    return g_app;
}

void AfxEnableControlContainer() {}

// The program's file name without folders (and, on Windows, without ".exe").
LPCTSTR AfxGetAppName() {
    if (g_app != nullptr && g_app->m_pszAppName != nullptr) return g_app->m_pszAppName;
    static const std::string name = ProgramName();
    return name.c_str();
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPTSTR /*lpCmdLine*/,
               int nCmdShow) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return -1;
    AfxSetResourceHandle(hInstance);
    app->m_hInstance = hInstance;
    app->m_nCmdShow = nCmdShow;
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}

// ---- Resources ------------------------------------------------------------------------------

HINSTANCE AfxGetResourceHandle() {
    return g_resources;
}

void AfxSetResourceHandle(HINSTANCE hInstance) {
    g_resources = hInstance;
}

HINSTANCE AfxFindResourceHandle(UINT nID, ResourceType type) {
    const HINSTANCE module = g_resources;
    if (module == nullptr) return nullptr;
    switch (type) {
        case ResourceType::kString:
            for (std::size_t i = 0; i < module->stringCount; ++i)
                if (module->strings[i].id == nID) return module;
            break;
        case ResourceType::kGroupIcon:
            for (std::size_t i = 0; i < module->iconGroupCount; ++i)
                if (module->iconGroups[i]->id == nID) return module;
            break;
        case ResourceType::kDialog:
            for (std::size_t i = 0; i < module->dialogCount; ++i)
                if (module->dialogs[i]->id == nID) return module;
            break;
        case ResourceType::kVersion:
            if (module->version != nullptr) return module;
            break;
    }
    return nullptr;
}

HICON LoadIcon(HINSTANCE hInstance, UINT nID) {
    if (hInstance == nullptr) return nullptr;
    for (std::size_t i = 0; i < hInstance->iconGroupCount; ++i)
        if (hInstance->iconGroups[i]->id == nID) return hInstance->iconGroups[i];
    return nullptr;
}

const DialogTemplate* AfxFindDialogTemplate(UINT nID) {
    const HINSTANCE module = AfxFindResourceHandle(nID, ResourceType::kDialog);
    if (module == nullptr) return nullptr;
    for (std::size_t i = 0; i < module->dialogCount; ++i)
        if (module->dialogs[i]->id == nID) return module->dialogs[i];
    return nullptr;
}

int GetSystemMetrics(int nIndex) {
    switch (nIndex) {
        case SM_CXICON:
        case SM_CYICON:
            return afx::GetBackend().IconSize();
        default:
            return 0;
    }
}
