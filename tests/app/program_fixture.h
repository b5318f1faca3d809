// Running the program's main dialog offscreen as an operator meets it: every message box and dialog
// it opens is handed to the test as it becomes the active modal window, and a time limit closes
// whatever is still open. The board emulator is started with the helpers of board_fixture.h.
#pragma once

#include "KorvaneDlg.h"
#include "board_fixture.h"
#include "helpers.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace apptest {

/// A modal window the program opened: a message box, or one of its dialogs.
struct Modal {
    QWidget* widget;
    CWnd* wnd;         ///< the framework window of a dialog; null for a message box
    std::string title; ///< caption
    std::string text;  ///< a box's text; empty for a dialog
    /// Text of edit control `id`.
    std::string Field(int id) const;
    /// Replaces the text of edit control `id` by typing, as a user does (select all, then keys).
    void Type(int id, const std::string& text) const;
    /// A key press on the window's focused control.
    void Key(int qtKey) const;
    /// A mouse click on control `id`.
    void Click(int id) const;
};

/// One run of a main dialog. `onModal` gets each modal window other than the main one each time it
/// becomes the active one (a box over a dialog hands the dialog back when it closes); `onMain` runs
/// once when the main window is shown. Both run from a queued poll, so they may open modal loops of
/// their own. After `limitMs` every open window is closed and Run returns kTimedOut.
struct ProgramRun {
    std::function<void(const Modal&)> onModal = [](const Modal&) {};
    std::function<void(QWidget*)> onMain = [](QWidget*) {};
    std::vector<std::string> seen; ///< "title: text" of each box, "title" of each dialog, in order
    /// Longest time in ms, once the main window was shown, between two turns of the event loop (the
    /// window's responsiveness: a poll tick blocks it for its waits).
    qint64 longestStallMs = 0;
    int Run(CKorvaneDlg& dlg, int limitMs = 8000);
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

/// Text of control `id` of `dlg`.
std::string Text(CWnd& dlg, int id);
/// Path of the program's profile; removes it (a fresh start) when `fresh`.
std::string ProfilePath(bool fresh = false);
/// The profile's content; "<none>" when there is no file.
std::string ProfileText();

/// A board on COM`com` with `args`, printing its log (read back with Log()).
struct Board : boardtest::BoardProcess {
    explicit Board(const std::string& args, int com = 3);
    /// Ends the board; returns its log.
    std::string Log();
};

/// Number of times `what` occurs in `text`.
int Count(const std::string& text, const std::string& what);

/// Makes COM`com` a link to `target` (by default nothing, so that opening it fails).
void MapCom(int com, const std::string& target = "/nonexistent/tty");

} // namespace apptest
