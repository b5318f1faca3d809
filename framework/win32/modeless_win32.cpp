// Modeless dialogs over Win32: their keys inside other dialogs' loops, the deferred end and
// bringing a window back to the front.
#include "win32_internal.h"

#include "../modeless.h"

namespace {

// Every message a loop takes off the queue passes here: a key for an open modeless dialog goes to
// the dialog manager of that dialog, and the loop then sees a message that does nothing.
LRESULT CALLBACK ModelessKeys(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message >= WM_KEYFIRST &&
        msg->message <= WM_KEYLAST) {
        for (CDialog* dlg : afx_detail::ModelessDialogs()) {
            HWND hwnd = dlg->Impl() ? dlg->Impl()->hwnd : nullptr;
            if (hwnd && (msg->hwnd == hwnd || IsChild(hwnd, msg->hwnd)) && IsDialogMessageA(hwnd, msg)) {
                msg->message = WM_NULL;
                break;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

namespace afx_detail {

void WatchModelessKeys() {
    static HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, ModelessKeys, nullptr, GetCurrentThreadId());
    (void)hook;
}

void DestroyLater(CWnd* wnd) {
    WndImpl* impl = wnd->Impl();
    if (!impl || !impl->hwnd) return;
    ::ShowWindow(impl->hwnd, SW_HIDE);
    ::PostMessageA(impl->hwnd, kDestroyLaterMessage, 0, 0);
}

} // namespace afx_detail

void CWnd::BringWindowToTop() {
    HWND hwnd = m_pImpl ? m_pImpl->hwnd : nullptr;
    if (!hwnd) return;
    ::ShowWindow(hwnd, ::IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(hwnd);
    ::SetActiveWindow(hwnd);
}
