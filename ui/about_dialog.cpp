// The About box: icon, version line and OK, all from dialog template IDD_ABOUT_BOX.
#include "ui/about_dialog.h"

#include "res/resource.h"

// No messages of its own.
const AFX_MSGMAP CAboutDialog::messageMap{&CDialog::messageMap};

CAboutDialog::CAboutDialog() : CDialog(IDD_ABOUT_BOX) {}

void CAboutDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
}
