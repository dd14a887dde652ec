// CGeneratorApp: the application object, which runs the generator dialog and ends with it.
#pragma once

#include "afx/afxwin.h"

class CGeneratorApp : public CWinApp {
public:
    CGeneratorApp();

    // Runs the generator dialog modally; returns FALSE so that the program ends with it.
    BOOL InitInstance() override;

    static const AFX_MSGMAP_ENTRY messageEntries[];
    static const AFX_MSGMAP messageMap;
    const AFX_MSGMAP* GetMessageMap() const override { return &messageMap; }
};
