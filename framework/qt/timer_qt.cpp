// Window timers with Windows semantics over QTimer.
//
// Windows keeps at most one WM_TIMER per timer in a queue and makes it when the queue is otherwise
// empty; Qt would queue every tick. So the QTimer only posts a delivery when none is waiting, and
// the delivery is a queued call: any event loop on the thread (a message box's, a modal dialog's)
// runs it, and a handler that opens such a loop receives the next ticks inside it, as on Windows.
#include "qt_internal.h"

#include <QCoreApplication>

class WindowTimer : public QObject {
public:
    // Parented to the application so that a timer whose deferred deletion never ran is still freed.
    WindowTimer(WndImpl* impl, UINT_PTR id) : QObject(qApp), m_impl(impl), m_id(id) {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Post(); });
    }
    void Start(UINT elapse, TIMERPROC callback) {
        m_callback = callback;
        m_timer.start(static_cast<int>(elapse ? elapse : 1)); // Windows runs a 0 ms timer as fast as it can
    }
    QTimer* Period() { return &m_timer; }
    // Stops the timer; a waiting tick is dropped. Deleted later: Kill may run inside its own tick.
    void Kill() {
        m_killed = true;
        m_timer.stop();
        deleteLater();
    }

private:
    void Post() {
        if (m_pending || m_killed) return;
        m_pending = true;
        QMetaObject::invokeMethod(
            this, [this] { Deliver(); }, Qt::QueuedConnection);
    }
    void Deliver() {
        m_pending = false; // taken off the queue: the next period may post again, even during the handler
        if (m_killed) return;
        if (m_callback) {
            m_callback(m_impl->Handle(), WM_TIMER, m_id, GetTickCount());
        } else {
            m_impl->Send(WM_TIMER, m_id, 0);
        }
    }

    WndImpl* m_impl;
    UINT_PTR m_id;
    TIMERPROC m_callback = nullptr;
    QTimer m_timer;
    bool m_pending = false;
    bool m_killed = false;
};

QTimer* AfxQtTimer(const CWnd* wnd, UINT_PTR id) {
    if (!wnd || !wnd->Impl()) return nullptr;
    auto it = wnd->Impl()->timers.find(id);
    return it == wnd->Impl()->timers.end() ? nullptr : it->second->Period();
}

void WndImpl::KillTimers() {
    for (auto& [id, timer] : timers) timer->Kill();
    timers.clear();
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC callback) {
    if (!m_pImpl) return 0;
    WindowTimer*& timer = m_pImpl->timers[id];
    if (!timer) timer = new WindowTimer(m_pImpl, id);
    timer->Start(elapse, callback);
    return id;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    if (!m_pImpl) return FALSE;
    auto it = m_pImpl->timers.find(id);
    if (it == m_pImpl->timers.end()) return FALSE;
    it->second->Kill();
    m_pImpl->timers.erase(it);
    return TRUE;
}
