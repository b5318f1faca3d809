// CDialog over the system's dialog manager: dialogs built in memory from the templates, the modal
// run of DialogBoxIndirectParam, and one dialog procedure that routes every message into the CWnd.
// What a handler leaves to the default processing (CWnd::DefWindowProc) is handed back to the
// dialog manager by returning FALSE, so the close box, Escape, Enter, Alt+Space and the system
// menu behave as the system makes them.
#include "win32_internal.h"

#include "../menu.h"
#include "../modeless.h"
#include "../winapp.h"

#include <cstdio>

namespace {

// The owner: the parent given, else (as MFC does) the main window when it is shown, so that the
// dialog stands over it.
HWND OwnerWindow(CDialog* self, CWnd* parent) {
    CWnd* main = AfxGetApp() ? AfxGetApp()->m_pMainWnd : nullptr;
    CWnd* owner = parent ? parent : (main != self ? main : nullptr);
    WndImpl* impl = owner ? owner->Impl() : nullptr;
    HWND hwnd = impl ? impl->hwnd : nullptr;
    return hwnd && (parent || IsWindowVisible(hwnd)) ? hwnd : nullptr;
}

// The controls in creation order, which is template order: the index DDX_Radio works with.
std::vector<HWND> Controls(HWND dialog) {
    std::vector<HWND> items;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) items.push_back(c);
    return items;
}

INT_PTR InitDialog(HWND hwnd, WndImpl* impl) {
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(impl));
    impl->hwnd = hwnd;
    impl->items = Controls(hwnd);
    impl->Bind();
    impl->passOn = false;
    INT_PTR focusFirst = impl->Send(WM_INITDIALOG);
    if (impl->hwnd) afx_detail::SyncSystemMenu(impl);
    return focusFirst;
}

// Hands `message` to the CWnd; FALSE tells the dialog manager to do its default processing.
INT_PTR Route(WndImpl* impl, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool saved = impl->passOn;
    impl->passOn = false;
    LRESULT result = impl->Send(message, wParam, lParam);
    const bool passOn = impl->passOn;
    impl->passOn = saved;
    if (passOn) return FALSE;
    if (message == WM_QUERYDRAGICON) return static_cast<INT_PTR>(result); // returned directly
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR Paint(WndImpl* impl, HWND hwnd) {
    PAINTSTRUCT ps;
    impl->paintDc = BeginPaint(hwnd, &ps);
    impl->Send(WM_PAINT);
    impl->paintDc = nullptr;
    EndPaint(hwnd, &ps);
    return TRUE;
}

} // namespace

namespace afx_detail {

HINSTANCE Instance() {
    return GetModuleHandleA(nullptr);
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return InitDialog(hwnd, reinterpret_cast<WndImpl*>(lParam));
    auto* impl = reinterpret_cast<WndImpl*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!impl || impl->hwnd != hwnd) return FALSE;
    switch (message) {
    case WM_NCDESTROY:
        impl->hwnd = nullptr;
        impl->items.clear();
        impl->timers.clear();
        return FALSE;
    case WM_PAINT:
        return Paint(impl, hwnd);
    case kDestroyLaterMessage:
        impl->wnd->DestroyWindow(); // posted: no handler of this window is running any more
        return TRUE;
    case WM_SIZE:
        // A resizable dialog's picture follows its size: repaint all of it, not only the new strip.
        if (GetWindowLongA(hwnd, GWL_STYLE) & WS_THICKFRAME) ::InvalidateRect(hwnd, nullptr, TRUE);
        return Route(impl, hwnd, message, wParam, lParam);
    default:
        return Route(impl, hwnd, message, wParam, lParam);
    }
}

void SyncSystemMenu(WndImpl* impl) {
    CMenu* menu = impl->wnd->GetSystemMenu(FALSE);
    if (!menu) return;
    ::GetSystemMenu(impl->hwnd, TRUE); // back to the system's own items
    HMENU system = ::GetSystemMenu(impl->hwnd, FALSE);
    const auto& items = menu->Items();
    for (size_t i = 1; i < items.size(); ++i) { // item 0 is "Close", which the system menu has
        ::AppendMenuA(system, items[i].flags, items[i].id, items[i].text);
    }
}

} // namespace afx_detail

BOOL CDialog::BuildAndInit() {
    if (!FindTemplate()) return FALSE;
    DestroyWindow();
    std::vector<DWORD> tmpl = afx_detail::BuildDialogTemplate(*m_pTemplate);
    auto* impl = new WndImpl(this);
    m_bEnded = false;
    m_nResult = -1;
    HWND hwnd = CreateDialogIndirectParamA(
        afx_detail::Instance(), reinterpret_cast<LPCDLGTEMPLATEA>(tmpl.data()), OwnerWindow(this, m_pParent),
        afx_detail::DialogProc, reinterpret_cast<LPARAM>(impl));
    if (!hwnd || Impl() != impl) {
        if (Impl() == impl) Detach();
        delete impl;
        return FALSE;
    }
    return TRUE;
}

INT_PTR CDialog::DoModal() {
    if (m_bInModal) {
        std::fprintf(stderr, "dialog %u is already running modally\n", m_nTemplateId);
        return -1;
    }
    if (!FindTemplate()) return -1;
    m_bInModal = true;
    m_bModeless = false;
    DestroyWindow();
    std::vector<DWORD> tmpl = afx_detail::BuildDialogTemplate(*m_pTemplate);
    auto* impl = new WndImpl(this);
    m_bEnded = false;
    m_nResult = -1;
    DialogBoxIndirectParamA(afx_detail::Instance(), reinterpret_cast<LPCDLGTEMPLATEA>(tmpl.data()),
                            OwnerWindow(this, m_pParent), afx_detail::DialogProc,
                            reinterpret_cast<LPARAM>(impl));
    int result = m_nResult;
    if (Impl() == impl) {
        DestroyWindow();
    } else {
        delete impl; // the window never came up
    }
    m_bInModal = false;
    return result;
}

BOOL CDialog::Create() {
    m_bModeless = true;
    if (!BuildAndInit()) return FALSE;
    afx_detail::AddModeless(this);
    afx_detail::WatchModelessKeys();
    return TRUE;
}

void CDialog::EndDialog(int result) {
    m_nResult = result;
    m_bEnded = true;
    if (Impl() && Impl()->hwnd) ::EndDialog(Impl()->hwnd, result);
    if (m_bModeless) afx_detail::DestroyLater(this);
}
