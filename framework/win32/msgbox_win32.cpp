// Message boxes: the system's, captioned with the program's name and owned by its active window.
#include "win32_internal.h"

#include "../msgbox.h"
#include "../winapp.h"

#include <string>

int AfxMessageBox(const char* text, UINT type, UINT) {
    const char* title = AfxFindString(AFX_IDS_APP_TITLE);
    std::string caption = title ? title : (AfxGetApp() ? AfxGetApp()->m_strExeName : std::string());
    HWND owner = GetActiveWindow();
    if (!owner && AfxGetApp() && AfxGetApp()->m_pMainWnd && AfxGetApp()->m_pMainWnd->Impl())
        owner = AfxGetApp()->m_pMainWnd->Impl()->hwnd;
    return ::MessageBoxA(owner, text, caption.c_str(), type);
}
