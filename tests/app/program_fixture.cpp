#include "program_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <sstream>
#include <utility>

#include <qt/qt_access.h>

namespace apptest {

namespace {

Modal Describe(QWidget* w) {
    WndImpl* impl = WndImpl::FromWidget(w);
    auto* box = qobject_cast<QMessageBox*>(w);
    return Modal{w, impl ? impl->wnd : nullptr, w->windowTitle().toStdString(),
                 box ? box->text().toStdString() : std::string()};
}

// Closes one open modal window: a box with OK, a dialog through its own Terminate/Cancel path with
// the terminate request set, so that the start-up loop ends too.
void CloseModal(QWidget* w, CDialog& main) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
        box->done(QMessageBox::Ok);
    } else if (WndImpl* impl = WndImpl::FromWidget(w); impl && impl->wnd != &main) {
        g_nComPort = kTerminateRequest;
        static_cast<CDialog*>(impl->wnd)->EndDialog(IDCANCEL);
    }
}

} // namespace

std::string Modal::Field(int id) const {
    auto* edit = qobject_cast<QLineEdit*>(AfxQtControl(wnd, id));
    return edit ? edit->text().toStdString() : "<no field>";
}

void Modal::Type(int id, const std::string& text) const {
    auto* edit = qobject_cast<QLineEdit*>(AfxQtControl(wnd, id));
    EXPECT_TRUE(QTest::qWaitForWindowActive(widget));
    edit->setFocus();
    edit->selectAll();
    if (text.empty()) QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QString::fromStdString(text));
}

void Modal::Key(int qtKey) const {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target && target->window() == widget ? target : widget, static_cast<Qt::Key>(qtKey));
}

void Modal::Click(int id) const {
    QTest::mouseClick(AfxQtControl(wnd, id), Qt::LeftButton);
}

int ProgramRun::Run(CKorvaneDlg& dlg, int limitMs) {
    QObject scope; // stops the poll when this call returns
    QPointer<QWidget> last;
    bool mainShown = false, timedOut = false;
    QElapsedTimer clock, sinceLastTurn;
    clock.start();
    auto* poll = new QTimer(&scope);
    // Queued, so that the poll keeps running inside modal loops that a handler opens.
    auto turn = [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (mainShown) longestStallMs = std::max(longestStallMs, sinceLastTurn.restart());
        if (clock.elapsed() > limitMs) {
            timedOut = true;
            if (w) CloseModal(w, dlg);
            if (w == AfxQtWidget(&dlg)) dlg.EndDialog(kTimedOut);
        } else if (w && w != last && w->isVisible()) {
            last = w;
            Modal modal = Describe(w);
            if (w != AfxQtWidget(&dlg)) {
                seen.push_back(modal.text.empty() ? modal.title : modal.title + ": " + modal.text);
                onModal(modal);
            } else if (!std::exchange(mainShown, true)) {
                sinceLastTurn.start();
                onMain(w); // may open modal loops of its own, in which this poll goes on
            }
        }
    };
    QObject::connect(poll, &QTimer::timeout, &scope, turn, Qt::QueuedConnection);
    poll->start(10);
    int result = static_cast<int>(dlg.DoModal());
    return timedOut ? kTimedOut : result;
}

std::string Text(CWnd& dlg, int id) {
    CString text;
    dlg.GetDlgItemText(id, text);
    return text.Str();
}

std::string ProfilePath(bool fresh) {
    if (fresh) std::filesystem::remove_all(AfxGetApp()->m_strProfileName);
    return AfxGetApp()->m_strProfileName;
}

std::string ProfileText() {
    std::ifstream in(ProfilePath());
    if (!in) return "<none>";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Board::Board(const std::string& args, int com)
    : BoardProcess("--com " + std::to_string(com) + " --log " + args) {
    EXPECT_TRUE(Ready());
}

std::string Board::Log() {
    std::string log;
    kill(pid, SIGTERM);
    EXPECT_EQ(End(&log), 0);
    return log;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void MapCom(int com, const std::string& target) {
    std::filesystem::create_directories(std::filesystem::path(boardtest::LinkPath(com)).parent_path());
    std::filesystem::remove(boardtest::LinkPath(com));
    std::filesystem::create_symlink(target, boardtest::LinkPath(com));
}

} // namespace apptest
