#include "helpers.h"

#include <afxwin.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <qt/qt_access.h>

namespace {

constexpr int kPollMs = 10;

void CloseOpenBoxes() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->done(QMessageBox::Ok);
    }
}

} // namespace

int RunModal(CDialog& dlg, const std::function<void(QWidget*)>& script, int limitMs) {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&dlg] {
        CloseOpenBoxes();
        dlg.EndDialog(kTimedOut);
    });
    guard.start(limitMs);
    bool started = false;
    QTimer starter;
    starter.setInterval(kPollMs);
    QObject::connect(&starter, &QTimer::timeout, [&] {
        QWidget* w = AfxQtWidget(&dlg);
        if (started || !w || !w->isVisible() || QApplication::activeModalWidget() != w) return;
        started = true;
        starter.stop();
        if (script) script(w);
    });
    starter.start();
    return static_cast<int>(dlg.DoModal());
}

struct BoxCloser::Impl {
    QTimer poll;
    QElapsedTimer since;
    QPointer<QMessageBox> current;
};

BoxCloser::BoxCloser(int holdMs) : m_impl(new Impl) {
    m_impl->poll.setInterval(kPollMs);
    QObject::connect(&m_impl->poll, &QTimer::timeout, [this, holdMs] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        if (box != m_impl->current) {
            m_impl->current = box;
            m_impl->since.start();
            seen.push_back({box->windowTitle().toStdString(), box->text().toStdString()});
        }
        if (m_impl->since.elapsed() >= holdMs) QTest::keyClick(box, Qt::Key_Return);
    });
    m_impl->poll.start();
}

BoxCloser::~BoxCloser() {
    delete m_impl;
}

bool WaitFor(const std::function<bool()>& done, int limitMs) {
    return QTest::qWaitFor(done, limitMs);
}

QImage ScreenImage(QWidget* window) {
    QScreen* screen =
        window->windowHandle() ? window->windowHandle()->screen() : QApplication::primaryScreen();
    return screen->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

void PressKey(QWidget* fallback, int key, Qt::KeyboardModifiers modifiers) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : fallback;
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}
