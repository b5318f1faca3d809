#include "AboutDlg.h"

#include "res/resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

const MessageMap* CAboutDlg::ThisMessageMap() {
    static const MessageMap map{CDialog::ThisMessageMap(), {}};
    return &map;
}

void CAboutDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
}
