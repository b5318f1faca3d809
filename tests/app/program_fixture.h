// The one way the program's tests run it: the board emulator (the shared board session) on a COM
// link, and a main dialog run offscreen, with every modal window it opens handed to the test as it
// becomes the active one and a time limit that closes whatever is still open.
#pragma once

#include "board_session.h"

#include "BoardLink.h"
#include "KorvaneDlg.h"
#include "res/resource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <qt/qt_access.h>

#include <functional>
#include <string>
#include <vector>

namespace apptest {

/// A board on COM`com` with `args`, printing its log (read back with Log()).
struct Board : boardtest::BoardProcess {
    explicit Board(const std::string& args, int com = 3)
        : BoardProcess("--com " + std::to_string(com) + " --log " + args) {
        EXPECT_TRUE(Ready());
    }
    /// Ends the board; returns its log.
    std::string Log() {
        std::string log;
        kill(pid, SIGTERM);
        EXPECT_EQ(End(&log), 0);
        return log;
    }
};

/// Number of times `what` occurs in `text`.
inline int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

/// Makes COM`com` a link to `target` (by default nothing, so that opening it fails).
inline void MapCom(int com, const std::string& target = "/nonexistent/tty") {
    std::filesystem::create_directories(std::filesystem::path(boardtest::LinkPath(com)).parent_path());
    std::filesystem::remove(boardtest::LinkPath(com));
    std::filesystem::create_symlink(target, boardtest::LinkPath(com));
}

/// The text of control `id` of `dlg`.
inline std::string Text(CWnd& dlg, int id) {
    CString text;
    dlg.GetDlgItemText(id, text);
    return text.Str();
}

/// A modal window the program opened: a message box, or one of its dialogs (then `wnd` is set).
struct Modal {
    QWidget* widget;
    CWnd* wnd;
    std::string title;
    QLineEdit* Number() const { return qobject_cast<QLineEdit*>(AfxQtControl(wnd, IDC_PORTNUMBER)); }
    /// A key press on the window's focused control.
    void Key(int qtKey) const {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target && target->window() == widget ? target : widget, static_cast<Qt::Key>(qtKey));
    }
    void Click(int id) const { QTest::mouseClick(AfxQtControl(wnd, id), Qt::LeftButton); }
};

/// One run of a main dialog. `onModal` gets each modal window other than the main one each time it
/// becomes the active one (a box over a dialog hands the dialog back when it closes); `onMain` runs
/// once when the main window is shown. Both run from a queued poll, so they may open modal loops of
/// their own. After `limitMs` every open window is closed and Run returns kTimedOut.
struct ProgramRun {
    std::function<void(const Modal&)> onModal = [](const Modal&) {};
    std::function<void(QWidget*)> onMain = [](QWidget*) {};
    std::vector<std::string> seen; ///< "title: text" of each box, "title" of each dialog, in order
    /// Longest time in ms, once the main window was shown, between two turns of the event loop (a
    /// poll tick blocks it for its waits).
    qint64 longestStallMs = 0;
    static constexpr int kTimedOut = -99; ///< what Run returns when the time limit ended it

    int Run(CDialog& dlg, int limitMs = 8000) {
        QObject scope; // stops the poll when this call returns
        QPointer<QWidget> last;
        bool mainShown = false, timedOut = false;
        QElapsedTimer clock, sinceLastTurn;
        clock.start();
        auto turn = [&] {
            QWidget* w = QApplication::activeModalWidget();
            WndImpl* impl = w ? WndImpl::FromWidget(w) : nullptr;
            auto* box = qobject_cast<QMessageBox*>(w);
            if (mainShown) longestStallMs = std::max(longestStallMs, sinceLastTurn.restart());
            if (clock.elapsed() > limitMs) { // a box gets OK, a dialog its Terminate path
                timedOut = true;
                if (box) box->done(QMessageBox::Ok);
                if (impl) g_nComPort = kTerminateRequest;
                if (impl)
                    static_cast<CDialog*>(impl->wnd)->EndDialog(impl->wnd == &dlg ? kTimedOut : IDCANCEL);
            } else if (w && w != last && w->isVisible() && w != AfxQtWidget(&dlg)) {
                last = w;
                seen.push_back(w->windowTitle().toStdString() +
                               (box ? ": " + box->text().toStdString() : ""));
                onModal(Modal{w, impl ? impl->wnd : nullptr, w->windowTitle().toStdString()});
            } else if (w && w != last && w->isVisible() && !std::exchange(mainShown, true)) {
                last = w;
                sinceLastTurn.start();
                onMain(w); // may open modal loops of its own, in which this poll goes on
            }
        };
        auto* poll = new QTimer(&scope);
        // Queued, so that the poll keeps running inside modal loops that a handler opens.
        QObject::connect(poll, &QTimer::timeout, &scope, turn, Qt::QueuedConnection);
        poll->start(10);
        const int result = static_cast<int>(dlg.DoModal());
        return timedOut ? kTimedOut : result;
    }
};

/// The main dialog, counting its ticks.
class CCountingDlg : public CKorvaneDlg {
public:
    int ticks = 0;

protected:
    void OnTimer(UINT_PTR id) override {
        ++ticks;
        CKorvaneDlg::OnTimer(id);
    }
};

} // namespace apptest
