// Qt-side helpers of the framework tests: driving modal dialogs and boxes with time limits. It also
// brings what every such test uses: QTest, the widgets behind framework windows, GoogleTest.
#pragma once

#include <QtTest>
#include <QtWidgets>
#include <qt/qt_access.h>

#include <gtest/gtest.h>

#include <functional>

/// Result of RunModal when the time limit ended the dialog.
inline constexpr int kTimedOut = -99;

/// Runs `dlg.DoModal()`; once the dialog is shown, `script` runs on its widget (inside the modal
/// loop). After `limitMs` any open popup or box is closed and the dialog ends with kTimedOut.
int RunModal(CDialog& dlg, const std::function<void(QWidget*)>& script, int limitMs = 5000);

/// While alive, closes every message box that opens (with Return, after `holdMs`), recording it in
/// `seen`. Boxes run inside RunModal, whose time limit ends one that Return leaves open.
struct BoxCloser {
    explicit BoxCloser(int holdMs = 0);
    std::vector<std::string> seen; // "caption: text" of each box
    QTimer poll;
    QElapsedTimer since;
    QPointer<QMessageBox> current;
};

/// While alive, answers the first popup menu that opens by pressing `key` in it, after recording its
/// items in `texts` ("-" for a separator). Polls, so it also finds a menu that a key event opens
/// from inside QTest's own event processing. Menus run inside RunModal, whose time limit closes one.
struct MenuChooser {
    explicit MenuChooser(Qt::Key key);
    QStringList texts;
    bool opened = false;
    QTimer poll;
};

/// True once the focus is on control `id` of `dlg` (at most QTest's five seconds).
inline bool FocusReaches(const CWnd& dlg, int id) {
    return QTest::qWaitFor([&] { return QApplication::focusWidget() == AfxQtControl(&dlg, id); });
}
