// For the framework's tests: the Qt widgets behind framework windows, so that tests can drive them
// the way a user would (QTest key and mouse events) and look at their pixels.
#pragma once

#include "qt_internal.h"

/// The dialog widget of `wnd`, or null while it has no window.
inline QWidget* AfxQtWidget(const CWnd* wnd) {
    return wnd && wnd->Impl() ? wnd->Impl()->widget.data() : nullptr;
}

/// The QTimer that measures the periods of timer `id` of `wnd`, or null. Tests make periods pass
/// with it that Qt's own loops would never let pass while a tick waits.
QTimer* AfxQtTimer(const CWnd* wnd, UINT_PTR id);

/// The widget of control `id` of `wnd`, or null.
inline QWidget* AfxQtControl(const CWnd* wnd, int id) {
    return wnd && wnd->Impl() ? wnd->Impl()->Item(id) : nullptr;
}
