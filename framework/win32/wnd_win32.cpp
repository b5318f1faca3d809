// CWnd over a real window: lifetime, the default processing, painting requests, state, icons,
// captions and controls.
#include "win32_internal.h"

#include "../modeless.h"

#include <string>

namespace {

std::set<WndImpl*>& LiveWindows() {
    static std::set<WndImpl*> live;
    return live;
}

std::string WindowText(HWND hwnd) {
    if (!hwnd) return std::string();
    std::string text(static_cast<size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The control at template index `index`, or null.
HWND ItemAt(const CWnd* wnd, int index) {
    WndImpl* impl = wnd->Impl();
    if (!impl || index < 0 || static_cast<size_t>(index) >= impl->items.size()) return nullptr;
    return impl->items[static_cast<size_t>(index)];
}

} // namespace

WndImpl::WndImpl(CWnd* owner) : wnd(owner) {
    LiveWindows().insert(this);
}

WndImpl::~WndImpl() {
    LiveWindows().erase(this);
}

WndImpl* WndImpl::FromHandle(HWND hwnd) {
    auto* impl = reinterpret_cast<WndImpl*>(hwnd);
    if (LiveWindows().count(impl)) return impl;
    for (WndImpl* live : LiveWindows()) {
        if (live->hwnd && live->hwnd == hwnd) return live;
    }
    return nullptr;
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    WndImpl* impl = WndImpl::FromHandle(hwnd);
    return impl ? impl->wnd : nullptr;
}

BOOL CWnd::DestroyWindow() {
    afx_detail::DestroyOwnedModeless(this);
    if (!m_pImpl) return FALSE;
    WndImpl* impl = m_pImpl;
    Detach();
    ForgetMainWindow();
    if (impl->hwnd) ::DestroyWindow(impl->hwnd); // its timers go with it
    delete impl;
    return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_ICONERASEBKGND) {
        CDC* dc = CDC::FromHandle(reinterpret_cast<HDC>(wParam));
        if (!dc) return 0;
        CRect rc;
        GetClientRect(rc);
        dc->FillSolidRect(rc, GetSysColor(COLOR_3DFACE));
        return 1;
    }
    // Everything else is the dialog manager's: the dialog procedure returns FALSE for it.
    if (m_pImpl) m_pImpl->passOn = true;
    return 0;
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_pImpl && m_pImpl->hwnd && ::PostMessageA(m_pImpl->hwnd, message, wParam, lParam);
}

void CWnd::InvalidateRect(LPCRECT rect, BOOL) {
    if (m_pImpl && m_pImpl->hwnd) ::InvalidateRect(m_pImpl->hwnd, rect, TRUE);
}

void CWnd::UpdateWindow() {
    if (m_pImpl && m_pImpl->hwnd) ::UpdateWindow(m_pImpl->hwnd);
}

void CWnd::GetClientRect(LPRECT rect) const {
    *rect = RECT{0, 0, 0, 0};
    if (m_pImpl && m_pImpl->hwnd) ::GetClientRect(m_pImpl->hwnd, rect);
}

BOOL CWnd::IsIconic() const {
    return m_pImpl && m_pImpl->hwnd && ::IsIconic(m_pImpl->hwnd);
}

BOOL CWnd::IsWindowVisible() const {
    return m_pImpl && m_pImpl->hwnd && ::IsWindowVisible(m_pImpl->hwnd);
}

BOOL CWnd::ShowWindow(int command) {
    return m_pImpl && m_pImpl->hwnd && ::ShowWindow(m_pImpl->hwnd, command);
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
    if (!m_pImpl || !m_pImpl->hwnd) return nullptr;
    const int which = bigIcon ? ICON_BIG : ICON_SMALL;
    HICON previous = m_pImpl->icons[which];
    m_pImpl->icons[which] = icon;
    ::SendMessageA(m_pImpl->hwnd, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
    return previous;
}

HICON CWnd::GetIcon(BOOL bigIcon) const {
    return m_pImpl ? m_pImpl->icons[bigIcon ? ICON_BIG : ICON_SMALL] : nullptr;
}

void CWnd::SetWindowText(const char* text) {
    if (m_pImpl && m_pImpl->hwnd) ::SetWindowTextA(m_pImpl->hwnd, text);
}

void CWnd::GetWindowText(CString& text) const {
    text = WindowText(m_pImpl ? m_pImpl->hwnd : nullptr);
}

void CWnd::SetDlgItemText(int id, const char* text) {
    if (m_pImpl && m_pImpl->hwnd) ::SetDlgItemTextA(m_pImpl->hwnd, id, text);
}

int CWnd::GetDlgItemText(int id, CString& text) const {
    text = WindowText(m_pImpl && m_pImpl->hwnd ? ::GetDlgItem(m_pImpl->hwnd, id) : nullptr);
    return text.GetLength();
}

UINT CWnd::IsDlgButtonChecked(int id) const {
    bool checked = m_pImpl && m_pImpl->hwnd && ::IsDlgButtonChecked(m_pImpl->hwnd, id) == BST_CHECKED;
    return checked ? BST_CHECKED : BST_UNCHECKED;
}

void CWnd::CheckDlgButton(int id, UINT check) {
    if (m_pImpl && m_pImpl->hwnd) ::CheckDlgButton(m_pImpl->hwnd, id, check);
}

namespace afx_detail {

BOOL IsItemChecked(const CWnd* wnd, int index) {
    HWND item = ItemAt(wnd, index);
    return item && ::SendMessageA(item, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetItemChecked(CWnd* wnd, int index, BOOL checked) {
    if (HWND item = ItemAt(wnd, index))
        ::SendMessageA(item, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void FocusItem(CWnd* wnd, int id, BOOL selectAll) {
    WndImpl* impl = wnd->Impl();
    HWND item = impl && impl->hwnd ? ::GetDlgItem(impl->hwnd, id) : nullptr;
    if (!item) return;
    // The dialog manager's own way to move the focus; it selects an edit field's text as well.
    ::SendMessageA(impl->hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    if (selectAll) ::SendMessageA(item, EM_SETSEL, 0, -1);
}

} // namespace afx_detail
