// The platform-independent part of CDialog: its message map and base handlers.
#include "dialog.h"

#include "resources.h"
#include "winapp.h"

#include <cstdio>

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_nTemplateId(templateId), m_pParent(parent), m_pTemplate(AfxFindDialogTemplate(templateId)) {}

CDialog::~CDialog() = default;

const MessageMap* CDialog::ThisMessageMap() {
    static const MessageMapEntry entries[] = {
        CommandEntry(IDOK, &CDialog::OnOK),
        CommandEntry(IDCANCEL, &CDialog::OnCancel),
    };
    static const MessageMap map{CWnd::ThisMessageMap(), entries};
    return &map;
}

DWORD CDialog::GetStyle() const {
    return m_pTemplate ? m_pTemplate->style : 0;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    return CWnd::WindowProc(message, wParam, lParam);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // A dialog's close box, Escape and "Close" all end up as the IDCANCEL command.
    if (message == WM_CLOSE) return SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return CWnd::DefWindowProc(message, wParam, lParam);
}

BOOL CDialog::FindTemplate() {
    if (!m_pTemplate) m_pTemplate = AfxFindDialogTemplate(m_nTemplateId);
    if (m_pTemplate) return TRUE;
    CWinApp* app = AfxGetApp();
    std::fprintf(stderr, "%s: dialog template %u is not registered (its resource file was not linked in)\n",
                 app ? app->m_strExeName.c_str() : "program", m_nTemplateId);
    if (app && app->m_pMainWnd == this) app->m_bMainWndFailed = TRUE;
    return FALSE;
}
