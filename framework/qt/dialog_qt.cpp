// CDialog over QDialog: building from the template, the modal run, and the routing of keys, the
// close box and the system menu into the dialog's messages.
#include "qt_internal.h"

#include "../menu.h"
#include "../modeless.h"
#include "../winapp.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>

#include <cstdio>

namespace {

void SendCommand(WndImpl* impl, int id) {
    impl->Send(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), 0);
}

// Alt+Space opens the window's system menu.
bool IsSystemMenuKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Space && event->modifiers() == Qt::AltModifier;
}

Qt::WindowFlags FlagsFor(DWORD style) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
    if (style & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
    if (!(style & WS_THICKFRAME)) flags |= Qt::MSWindowsFixedSizeDialogHint;
    return flags;
}

// The default push button: the focused push button, else the one marked default.
QPushButton* DefaultButton(QWidget* dialog) {
    if (auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
        focused && focused->window() == dialog)
        return focused;
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
        if (b->isDefault() && b->isEnabled() && b->isVisible()) return b;
    }
    return nullptr;
}

// Windows focuses the first visible, enabled WS_TABSTOP control when WM_INITDIALOG returns TRUE.
void FocusFirstTabStop(WndImpl* impl, const DialogTemplate& tmpl) {
    for (size_t i = 0; i < tmpl.items.size(); ++i) {
        QWidget* w = impl->items[i];
        if ((tmpl.items[i].style & WS_TABSTOP) && w->isEnabled() && !w->isHidden()) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

// The owner: the parent given, else (as MFC does) the main window when it is shown, so that the
// dialog stands centred over it.
QWidget* OwnerWidget(CDialog* self, CWnd* parent) {
    CWnd* main = AfxGetApp() ? AfxGetApp()->m_pMainWnd : nullptr;
    CWnd* owner = parent ? parent : (main != self ? main : nullptr);
    QWidget* w = owner && owner->Impl() ? owner->Impl()->widget.data() : nullptr;
    return w && (parent || w->isVisible()) ? w : nullptr;
}

} // namespace

void DialogWidget::accept() {
    SendCommand(m_impl, IDOK);
}

void DialogWidget::reject() {
    SendCommand(m_impl, IDCANCEL);
}

void DialogWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    QPainter* outer = m_impl->painter;
    m_impl->painter = &painter;
    m_impl->invalid = false;
    m_impl->pending -= event->region();
    m_impl->owed -= event->region(); // painted now with what it shows
    m_impl->Send(WM_PAINT);
    m_impl->painter = outer;
}

bool DialogWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !IsSystemMenuKey(static_cast<QKeyEvent*>(event)))
        return QDialog::eventFilter(watched, event);
    afx_detail::ShowSystemMenu(m_impl, mapToGlobal(QPoint(0, 0)));
    return true; // a dialog without a system menu drops the key as well
}

void DialogWidget::keyPressEvent(QKeyEvent* event) {
    int key = event->key();
    if (IsSystemMenuKey(event)) {
        afx_detail::ShowSystemMenu(m_impl, mapToGlobal(QPoint(0, 0)));
    } else if (key == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        SendCommand(m_impl, IDCANCEL);
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (QPushButton* button = DefaultButton(this)) {
            button->click();
        } else {
            SendCommand(m_impl, IDOK);
        }
    } else {
        QDialog::keyPressEvent(event);
    }
}

void DialogWidget::closeEvent(QCloseEvent* event) {
    // The dialog decides: the close box is the system command "Close" (WM_SYSCOMMAND SC_CLOSE).
    event->ignore();
    m_impl->Send(WM_SYSCOMMAND, SC_CLOSE, 0);
}

void DialogWidget::contextMenuEvent(QContextMenuEvent* event) {
    afx_detail::ShowSystemMenu(m_impl, event->globalPos());
}

namespace afx_detail {

void ShowSystemMenu(WndImpl* impl, const QPoint& pos) {
    CMenu* sysMenu = impl->wnd->GetSystemMenu(FALSE);
    if (!sysMenu) return;
    QMenu popup(impl->widget);
    for (const CMenu::Item& item : sysMenu->Items()) {
        if (item.flags & MF_SEPARATOR) {
            popup.addSeparator();
            continue;
        }
        QAction* action = popup.addAction(ToQString(item.text));
        action->setData(QVariant::fromValue<qulonglong>(item.id));
        action->setEnabled(!(item.flags & (MF_GRAYED | MF_DISABLED)));
    }
    QAction* chosen = popup.exec(pos);
    if (chosen) impl->Send(WM_SYSCOMMAND, static_cast<WPARAM>(chosen->data().toULongLong()), 0);
}

} // namespace afx_detail

BOOL CDialog::BuildAndInit() {
    if (!FindTemplate()) return FALSE;
    DestroyWindow();
    const DialogTemplate& t = *m_pTemplate;
    auto* impl = new WndImpl(this);
    impl->widget = new DialogWidget(impl, OwnerWidget(this, m_pParent));
    impl->widget->setWindowFlags(FlagsFor(t.style));
    impl->widget->setWindowTitle(afx_detail::ToQString(t.caption));
    QFont font = afx_detail::DialogFont(t.fontName, t.pointSize);
    impl->widget->setFont(font);
    QSize base = afx_detail::BaseUnits(font);
    QSize client = afx_detail::DluToPixels(QRect(0, 0, t.cx, t.cy), base).size();
    if (t.style & WS_THICKFRAME)
        impl->widget->resize(client);
    else
        impl->widget->setFixedSize(client);
    afx_detail::BuildControls(impl, t, base);
    Attach(impl);
    m_bEnded = false;
    m_nResult = -1;
    if (SendMessage(WM_INITDIALOG) && Impl() == impl && !m_bEnded) FocusFirstTabStop(impl, t);
    return Impl() == impl;
}

INT_PTR CDialog::DoModal() {
    if (m_bInModal) {
        std::fprintf(stderr, "dialog %u is already running modally\n", m_nTemplateId);
        return -1;
    }
    m_bInModal = true;
    m_bModeless = false;
    if (!BuildAndInit()) {
        m_bInModal = false;
        return -1;
    }
    if (!m_bEnded) {
        QPointer<QWidget> before = QApplication::activeWindow();
        Impl()->widget->setWindowModality(Qt::ApplicationModal);
        Impl()->widget->exec();
        afx_detail::ActivateAfterModal(Impl()->widget->parentWidget(), before);
    }
    int result = m_nResult;
    DestroyWindow();
    m_bInModal = false;
    return result;
}

BOOL CDialog::Create() {
    m_bModeless = true;
    if (!BuildAndInit()) return FALSE;
    afx_detail::AddModeless(this);
    if ((m_pTemplate->style & WS_VISIBLE) && !m_bEnded) Impl()->widget->show();
    return TRUE;
}

void CDialog::EndDialog(int result) {
    m_nResult = result;
    m_bEnded = true;
    if (Impl() && Impl()->widget) Impl()->widget->QDialog::done(result);
    if (m_bModeless) afx_detail::DestroyLater(this);
}
