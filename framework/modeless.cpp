// Modeless dialogs: the list of open ones and their end with their owner.
#include "modeless.h"

#include "dialog.h"
#include "winapp.h"

#include <algorithm>

namespace {

std::vector<CDialog*>& Open() {
    static std::vector<CDialog*> open;
    return open;
}

// The window that owns `dlg`: the parent given, else the main window (as the backends place it).
bool IsOwnedBy(const CDialog* dlg, const CWnd* owner) {
    const CWnd* parent = dlg->GetParent();
    if (!parent && AfxGetApp()) parent = AfxGetApp()->m_pMainWnd;
    return parent == owner && dlg != owner;
}

} // namespace

namespace afx_detail {

void AddModeless(CDialog* dlg) {
    if (std::find(Open().begin(), Open().end(), dlg) == Open().end()) Open().push_back(dlg);
}

const std::vector<CDialog*>& ModelessDialogs() {
    return Open();
}

void DestroyOwnedModeless(CWnd* wnd) {
    std::erase(Open(), wnd);
    std::vector<CDialog*> owned;
    std::copy_if(Open().begin(), Open().end(), std::back_inserter(owned),
                 [wnd](const CDialog* d) { return IsOwnedBy(d, wnd); });
    for (CDialog* dlg : owned) dlg->DestroyWindow();
}

} // namespace afx_detail
