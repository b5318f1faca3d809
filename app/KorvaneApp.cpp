#include "KorvaneApp.h"

#include "KorvaneDlg.h"

CKorvaneApp theApp;

const MessageMap* CKorvaneApp::ThisMessageMap() {
    static const MessageMapEntry entries[] = {CommandEntry(ID_HELP, &CWinApp::OnHelp)};
    static const MessageMap map{CWinApp::ThisMessageMap(), entries};
    return &map;
}

BOOL CKorvaneApp::InitInstance() {
    AfxEnableControlContainer(nullptr);
    Enable3dControlsStatic();
    CKorvaneDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    return FALSE;
}
