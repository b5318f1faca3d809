// The framework's bookkeeping of modeless dialogs (CDialog::Create), shared by both backends: which
// are open, and their end with their owner. Not for applications.
#pragma once

#include <vector>

class CDialog;
class CWnd;

namespace afx_detail {
/// Notes `dlg` as an open modeless dialog.
void AddModeless(CDialog* dlg);
/// The open modeless dialogs.
const std::vector<CDialog*>& ModelessDialogs();
/// Runs first in every CWnd::DestroyWindow: destroys the modeless dialogs that `wnd` owns (its own
/// windows go with the owner's, as on Windows) and forgets `wnd` when it is one itself.
void DestroyOwnedModeless(CWnd* wnd);
/// Hides `wnd` now and destroys its window once the message being handled is done: a modeless
/// dialog ends itself from its own handlers, which must not lose their window under them. Backend.
void DestroyLater(CWnd* wnd);
} // namespace afx_detail
