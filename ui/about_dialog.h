// CAboutDialog: the About box, opened from the generator dialog's system menu.
#pragma once

#include "afx/afxwin.h"

class CAboutDialog : public CDialog {
public:
    CAboutDialog();

    static const AFX_MSGMAP messageMap;
    const AFX_MSGMAP* GetMessageMap() const override { return &messageMap; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
