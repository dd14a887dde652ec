// The application object of wobblegen: start-up into the generator dialog.
#include "ui/generator_app.h"

#include "sys/std_streams.h"
#include "ui/generator_dialog.h"

// Commands of the application object.
const AFX_MSGMAP_ENTRY CGeneratorApp::messageEntries[] = {
    afx::OnCommand<ID_HELP, &CWinApp::OnHelp>(),
};
const AFX_MSGMAP CGeneratorApp::messageMap{&CWinApp::messageMap, messageEntries};

CGeneratorApp::CGeneratorApp() : CWinApp(nullptr) {}

BOOL CGeneratorApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    CGeneratorDialog dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();  // OK or Cancel: the dialog has done all the work
    return FALSE;
}

// The generator has already said on standard error, where it could, that the file itself is
// complete; the status tells scripts that a message was lost.
int CGeneratorApp::ExitInstance() {
    const bool output = StandardStreamIntact(StandardStream::kOutput, nullptr);
    const bool error = StandardStreamIntact(StandardStream::kError, nullptr);
    return output && error ? CWinApp::ExitInstance() : 1;
}
