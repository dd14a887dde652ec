// The generator dialog: defaults, exchange with the six fields, and the hand-over of the
// values to the test-tone generator; also its system menu, icons and minimised painting.
#include "ui/generator_dialog.h"

#include <cstdio>

#include "res/resource.h"
#include "synth/test_tone.h"
#include "ui/about_dialog.h"

namespace {

// The largest sample rate the WAV header's signed 32-bit field holds.
constexpr UINT kMaxSampleRate = 2147483647u;

}  // namespace

// Window messages of the generator dialog and their handlers.
const AFX_MSGMAP_ENTRY CGeneratorDialog::messageEntries[] = {
    afx::OnMessage<WM_SYSCOMMAND, &CGeneratorDialog::OnSysCommand>(),
    afx::OnMessage<WM_PAINT, &CGeneratorDialog::OnPaint>(),
    afx::OnMessage<WM_QUERYDRAGICON, &CGeneratorDialog::OnQueryDragIcon>(),
};
const AFX_MSGMAP CGeneratorDialog::messageMap{&CDialog::messageMap, messageEntries};

CGeneratorDialog::CGeneratorDialog(CWnd* pParent)
    : CDialog(IDD_GENERATOR, pParent),
      m_modFrequency(4.0),
      m_level(1.0),
      m_sampleRate(44100),
      m_centerFrequency(3150.0),
      m_duration(30.0) {
    m_fileName = "test.wav";
    m_hIcon = LoadIcon(AfxFindResourceHandle(IDI_APP_ICON, ResourceType::kGroupIcon), IDI_APP_ICON);
}

CGeneratorDialog::~CGeneratorDialog() = default;

void CGeneratorDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_FILE_NAME, m_fileName);
    DDX_Text(pDX, IDC_MOD_FREQUENCY, m_modFrequency);
    DDX_Text(pDX, IDC_LEVEL, m_level);
    DDX_Text(pDX, IDC_SAMPLE_RATE, m_sampleRate);
    DDX_Text(pDX, IDC_CENTER_FREQUENCY, m_centerFrequency);
    DDX_Text(pDX, IDC_DURATION, m_duration);
}

BOOL CGeneratorDialog::OnInitDialog() {
    CDialog::OnInitDialog();

    CMenu* pSysMenu = GetSystemMenu(FALSE);
    if (pSysMenu != nullptr) {
        CString strAboutMenu;
        strAboutMenu.LoadString(IDS_ABOUT_MENU);
        if (!strAboutMenu.IsEmpty()) {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, ID_SYS_ABOUT, strAboutMenu);
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    return TRUE;  // the focus goes to the first tab stop, the OK button
}

// Writes the file only from a complete set of values the generator accepts: a failed
// exchange leaves new values in the earlier members and old ones in the rest, and writing
// that mixture could overwrite a good file. On any failure the dialog stays open.
void CGeneratorDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    if (!CheckValues()) return;
    EndDialog(IDOK);
    // A file that cannot be opened ends the process with status 1 inside the generator.
    GenerateTestTone(static_cast<int>(m_sampleRate), m_fileName.GetBuffer(1024), m_centerFrequency,
                     m_level, m_modFrequency, m_duration);
}

BOOL CGeneratorDialog::CheckValues() {
    char message[256];
    int field = 0;
    if (m_sampleRate > kMaxSampleRate) {
        std::snprintf(message, sizeof message,
                      "Sample rate %u Hz is not allowed: it must be 0 to %u Hz", m_sampleRate,
                      kMaxSampleRate);
        field = IDC_SAMPLE_RATE;
    } else {
        switch (CheckTestToneArguments(static_cast<int>(m_sampleRate), m_centerFrequency, m_level,
                                       m_modFrequency, m_duration, message, sizeof message)) {
            case ToneArgument::kNone:
                return TRUE;
            case ToneArgument::kSampleRate:
                field = IDC_SAMPLE_RATE;
                break;
            case ToneArgument::kCenterFrequency:
                field = IDC_CENTER_FREQUENCY;
                break;
            case ToneArgument::kLevel:
                field = IDC_LEVEL;
                break;
            case ToneArgument::kModFrequency:
                field = IDC_MOD_FREQUENCY;
                break;
            case ToneArgument::kDuration:
                field = IDC_DURATION;
                break;
        }
    }
    AfxMessageBox(message, MB_ICONEXCLAMATION);
    GotoDlgCtrl(field);
    return FALSE;
}

void CGeneratorDialog::OnSysCommand(UINT nID, LPARAM /*lParam*/) {
    if ((nID & 0xFFF0) == ID_SYS_ABOUT) {
        CAboutDialog dlgAbout;
        dlgAbout.DoModal();
    } else {
        Default();
    }
}

// Minimised, the dialog shows its icon centred in the client area; otherwise the controls.
void CGeneratorDialog::OnPaint() {
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

        const int cxIcon = GetSystemMetrics(SM_CXICON);
        const int cyIcon = GetSystemMetrics(SM_CYICON);
        CRect rect;
        GetClientRect(&rect);
        const int x = (rect.Width() - cxIcon + 1) / 2;
        const int y = (rect.Height() - cyIcon + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
    } else {
        Default();
    }
}

// The icon shown while the minimised window is dragged.
HCURSOR CGeneratorDialog::OnQueryDragIcon() {
    return m_hIcon;
}
