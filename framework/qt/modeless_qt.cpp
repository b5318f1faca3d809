// Modeless dialogs over Qt: the deferred end and bringing a window back to the front.
#include "qt_internal.h"

#include "../modeless.h"

#include <QApplication>

namespace afx_detail {

void DestroyLater(CWnd* wnd) {
    WndImpl* impl = wnd->Impl();
    if (!impl) return;
    if (impl->widget) impl->widget->hide();
    // Delivered to the application object, not to the widget: deleting a widget inside its own
    // event handler (the key or close event that ended it) would pull it from under Qt. The widget
    // names the window: a window destroyed and built again meanwhile (at the same address) is a new
    // one and stays.
    HWND handle = impl->Handle();
    QMetaObject::invokeMethod(
        qApp,
        [handle, widget = QPointer<QWidget>(impl->widget.data())] {
            WndImpl* live = widget ? WndImpl::FromHandle(handle) : nullptr;
            if (live && live->widget == widget) live->wnd->DestroyWindow();
        },
        Qt::QueuedConnection);
}

} // namespace afx_detail

void CWnd::BringWindowToTop() {
    QWidget* w = m_pImpl ? m_pImpl->widget.data() : nullptr;
    if (!w) return;
    if (w->isMinimized())
        w->showNormal();
    else
        w->show();
    w->raise();
    w->activateWindow();
}
