// Message boxes, the library's MessageBoxA, and the focus window.
#include "qt_internal.h"

#include "../msgbox.h"
#include "../winapp.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <clocale>

#include <win32_posix.h>

namespace {

// Buttons of each MB_ type and the result each gives; one table for the box and its answer.
struct ButtonSet {
    UINT type;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton escape;
};
constexpr ButtonSet kButtonSets[] = {
    {MB_OK, QMessageBox::Ok, QMessageBox::Ok},
    {MB_OKCANCEL, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel},
    {MB_YESNO, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton},
};

struct Answer {
    QMessageBox::StandardButton button;
    int result;
};
constexpr Answer kAnswers[] = {{QMessageBox::Ok, IDOK},
                               {QMessageBox::Cancel, IDCANCEL},
                               {QMessageBox::Yes, IDYES},
                               {QMessageBox::No, IDNO}};

QMessageBox::Icon IconFor(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// The box belongs to the window in front (the owner given, else the modal dialog, else the main
// window) so that it stands over it; a hidden window cannot own it.
QWidget* OwnerWidget(HWND owner) {
    WndImpl* impl = WndImpl::FromHandle(owner);
    QWidget* w = impl ? impl->widget.data() : QApplication::activeModalWidget();
    if (!w && AfxGetApp() && AfxGetApp()->m_pMainWnd && AfxGetApp()->m_pMainWnd->Impl())
        w = AfxGetApp()->m_pMainWnd->Impl()->widget;
    return w && w->isVisible() ? w : nullptr;
}

int ShowBox(HWND owner, const char* text, const char* caption, UINT type) {
    const ButtonSet* set = &kButtonSets[0];
    for (const ButtonSet& s : kButtonSets) {
        if (s.type == (type & MB_TYPEMASK)) set = &s;
    }
    QMessageBox box(IconFor(type), afx_detail::ToQString(caption), afx_detail::ToQString(text), set->buttons,
                    OwnerWidget(owner));
    box.setWindowModality(Qt::ApplicationModal);
    if (set->escape != QMessageBox::NoButton) box.setEscapeButton(set->escape);
    QPointer<QWidget> before = QApplication::activeWindow();
    int chosen = box.exec();
    afx_detail::ActivateAfterModal(box.parentWidget(), before);
    for (const Answer& a : kAnswers) {
        if (a.button == chosen) return a.result;
    }
    return set->escape == QMessageBox::Cancel ? IDCANCEL : IDOK;
}

HWND FocusWindow() {
    WndImpl* impl = WndImpl::FromWidget(QApplication::focusWidget());
    if (!impl) impl = WndImpl::FromWidget(QApplication::activeWindow());
    return impl ? impl->Handle() : nullptr;
}

} // namespace

int AfxMessageBox(const char* text, UINT type, UINT) {
    const char* title = AfxFindString(AFX_IDS_APP_TITLE);
    std::string caption = title ? title : AfxGetApp() ? AfxGetApp()->m_strExeName : std::string();
    return ShowBox(nullptr, text, caption.c_str(), type);
}

namespace afx_detail {

void InitPlatform() {
    win32posix::SetMessageBoxHandler(&ShowBox);
    win32posix::SetFocusSource(&FocusWindow);
    // Dialog programs show and hide windows inside InitInstance; closing the last one must not
    // end the nested loops of the ones still to come.
    QApplication::setQuitOnLastWindowClosed(false);
    LoadDialogFaceOnce();
    // QApplication takes the whole locale from the environment (setlocale(LC_ALL, "")), and with it
    // a decimal comma for printf's "%.2f": the program's numbers are written and read with a point,
    // as on Windows, whatever the user's language.
    std::setlocale(LC_NUMERIC, "C");
}

} // namespace afx_detail
