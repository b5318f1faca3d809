// Window timers: the system's own, which already keep at most one WM_TIMER waiting per timer and
// deliver it in any message loop of the thread (a message box's, a modal dialog's).
#include "win32_internal.h"

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC callback) {
    if (!m_pImpl || !m_pImpl->hwnd) return 0;
    if (!::SetTimer(m_pImpl->hwnd, id, elapse, callback)) return 0;
    m_pImpl->timers.insert(id);
    return id;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    if (!m_pImpl || !m_pImpl->hwnd || !m_pImpl->timers.erase(id)) return FALSE;
    return ::KillTimer(m_pImpl->hwnd, id); // also drops a WM_TIMER that is waiting
}
