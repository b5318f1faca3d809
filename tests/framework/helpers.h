// Qt-side helpers of the framework tests: driving modal dialogs and boxes with time limits.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class CDialog;

/// Result of RunModal when the time limit ended the dialog.
inline constexpr int kTimedOut = -99;

/// Runs `dlg.DoModal()`; once the dialog is shown, `script` runs on its widget (inside the modal
/// loop). After `limitMs` the dialog is ended with kTimedOut and any open box is closed.
int RunModal(CDialog& dlg, const std::function<void(QWidget*)>& script, int limitMs = 5000);

/// While alive, closes every message box that opens (with Return, after `holdMs`), recording its
/// caption and text.
class BoxCloser {
public:
    explicit BoxCloser(int holdMs = 0);
    ~BoxCloser();
    struct Seen {
        std::string caption;
        std::string text;
    };
    std::vector<Seen> seen;

private:
    struct Impl;
    Impl* m_impl;
};

/// Processes events until `done` is true or `limitMs` passes; returns `done()`.
bool WaitFor(const std::function<bool()>& done, int limitMs = 3000);

/// The window as it is on the screen now (what its last paints left there).
QImage ScreenImage(QWidget* window);

/// Sends `key` to the widget that has the focus (or `fallback` when none has).
void PressKey(QWidget* fallback, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
