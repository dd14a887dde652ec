// CGeneratorApp: the application object, which runs the generator dialog and ends with it.
#pragma once

#include "afx/afxwin.h"

class CGeneratorApp : public CWinApp {
public:
    CGeneratorApp();

    // Runs the generator dialog modally; returns FALSE so that the program ends with it.
    BOOL InitInstance() override;
    // The process's exit status: 1 when something meant for standard output or standard error
    // was lost (closed at start, full, a pipe without reader), 0 otherwise.
    int ExitInstance() override;

    static const AFX_MSGMAP_ENTRY messageEntries[];
    static const AFX_MSGMAP messageMap;
    const AFX_MSGMAP* GetMessageMap() const override { return &messageMap; }
};
