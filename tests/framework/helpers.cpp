#include "helpers.h"

constexpr int kPollMs = 10;

int RunModal(CDialog& dlg, const std::function<void(QWidget*)>& script, int limitMs) {
    QObject scope; // cancels the time limit when this call returns
    QTimer::singleShot(limitMs, &scope, [&dlg] {
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                box->done(QMessageBox::Ok);
        dlg.EndDialog(kTimedOut);
    });
    QTimer starter;
    QObject::connect(&starter, &QTimer::timeout, [&] {
        QWidget* w = AfxQtWidget(&dlg);
        if (!w || !w->isVisible() || QApplication::activeModalWidget() != w) return;
        starter.stop(); // before the script: it may run loops of its own
        script(w);
    });
    starter.start(kPollMs);
    return static_cast<int>(dlg.DoModal());
}

BoxCloser::BoxCloser(int holdMs) {
    QObject::connect(&poll, &QTimer::timeout, [this, holdMs] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        if (box != current) {
            current = box;
            since.start();
            seen.push_back((box->windowTitle() + ": " + box->text()).toStdString());
        }
        if (since.elapsed() >= holdMs) QTest::keyClick(box, Qt::Key_Return);
    });
    poll.start(kPollMs);
}

MenuChooser::MenuChooser(Qt::Key key) {
    QObject::connect(&poll, &QTimer::timeout, [this, key] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || opened) return;
        opened = true;
        for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QString("-") : a->text());
        QTest::keyClick(menu, key);
    });
    poll.start(kPollMs);
}
