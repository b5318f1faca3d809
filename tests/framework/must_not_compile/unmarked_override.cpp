// Must not compile: a handler that overrides without saying `override` would silently become a new
// function the day its signature drifts from the framework's.
#include <afxwin.h>

class CUnmarkedDlg : public CDialog {
public:
    CUnmarkedDlg() : CDialog(1) {}

protected:
    void OnTimer(UINT_PTR id);
};

void CUnmarkedDlg::OnTimer(UINT_PTR) {}
