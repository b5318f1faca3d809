// Must not compile: OnTimer takes a UINT_PTR, so this OnTimer(UINT) is a new function that hides the
// handler instead of overriding it, and the timer's ticks would never reach it.
#include <afxwin.h>

class CWrongHandlerDlg : public CDialog {
public:
    CWrongHandlerDlg() : CDialog(1) {}

protected:
    void OnTimer(UINT id);
};

void CWrongHandlerDlg::OnTimer(UINT) {}
