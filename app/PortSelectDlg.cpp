#include "PortSelectDlg.h"

#include "KorvaneDlg.h"
#include "res/resource.h"

CPortSelectDlg::CPortSelectDlg(CWnd* parent) : CDialog(IDD_PORTSELECT, parent) {}

const MessageMap* CPortSelectDlg::ThisMessageMap() {
    static const MessageMapEntry entries[] = {CommandEntry(IDCANCEL, &CPortSelectDlg::OnTerminateProgram)};
    static const MessageMap map{CDialog::ThisMessageMap(), entries};
    return &map;
}

void CPortSelectDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, IDC_PORTNUMBER, m_nPort);
}

BOOL CPortSelectDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_nPort = g_nComPort;
    UpdateData(FALSE);
    UpdateWindow();
    return TRUE;
}

void CPortSelectDlg::OnOK() {
    if (!UpdateData(TRUE)) return; // the framework showed why; the dialog stays open
    g_nComPort = m_nPort;
    EndDialog(IDOK);
}

void CPortSelectDlg::OnTerminateProgram() {
    g_nComPort = kTerminateRequest;
    CDialog::OnOK();
}
