// CGeneratorDialog: the program's main window, where the user sets the six test-tone
// parameters and presses OK to write the file.
#pragma once

#include "afx/afxwin.h"

class CGeneratorDialog : public CDialog {
public:
    explicit CGeneratorDialog(CWnd* pParent = nullptr);
    ~CGeneratorDialog() override;

    CString m_fileName;
    double m_modFrequency;     // Hz
    double m_level;            // peak deviation, percent of the centre frequency
    UINT m_sampleRate;         // samples per second
    double m_centerFrequency;  // Hz
    double m_duration;         // seconds
    HICON m_hIcon;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();

public:
    static const AFX_MSGMAP_ENTRY messageEntries[];
    static const AFX_MSGMAP messageMap;
    const AFX_MSGMAP* GetMessageMap() const override { return &messageMap; }

private:
    // After a successful exchange: FALSE, with the user told and the field focused, when a
    // value is one the generator cannot take.
    BOOL CheckValues();
};
