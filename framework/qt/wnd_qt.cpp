// CWnd over a Qt widget: window state, control access, and the default processing.
#include "qt_internal.h"

#include "../menu.h"
#include "../modeless.h"

#include <QAbstractButton>
#include <QBitmap>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include <cstring>
#include <optional>
#include <utility>
#include <set>

namespace {

std::set<WndImpl*>& LiveWindows() {
    static std::set<WndImpl*> live;
    return live;
}

// Text of a control as the window system would give it.
QString ItemText(QWidget* item) {
    if (auto* edit = qobject_cast<QLineEdit*>(item)) return edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(item)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(item)) return label->text();
    return item ? item->windowTitle() : QString();
}

void SetItemText(QWidget* item, const QString& text) {
    // The same text again changes nothing on the screen: the control is left alone, not repainted.
    if (item && ItemText(item) == text) return;
    if (auto* edit = qobject_cast<QLineEdit*>(item)) {
        edit->setText(text);
        edit->home(false); // show the start of the text, as an edit field does after WM_SETTEXT
    } else if (auto* button = qobject_cast<QAbstractButton*>(item)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(item)) {
        label->setText(text);
    }
}

void SetButtonChecked(QAbstractButton* button, bool checked) {
    QButtonGroup* group = button->group();
    // An exclusive group refuses to uncheck its last checked button; loading "none" must work.
    bool exclusive = group && group->exclusive();
    if (exclusive && !checked) group->setExclusive(false);
    button->setChecked(checked);
    if (exclusive && !checked) group->setExclusive(true);
}

// The pixels of its rectangle that `item` paints itself when it paints nearly all of them (an edit
// field or a push button: all but the rounded corners of its frame), so that nothing the dialog
// paints under them shows: drawn once over black and once over white, they come out the same. Empty
// for a control that mostly lets the dialog show through (a static, a radio button): it is repainted
// with the dialog anyway, and leaving out its glyphs would only cut the dialog's repaint into pieces.
QRegion OwnPixels(QWidget* item) {
    QImage over[2] = {QImage(item->size(), QImage::Format_RGB32), QImage(item->size(), QImage::Format_RGB32)};
    over[0].fill(Qt::black);
    over[1].fill(Qt::white);
    for (QImage& image : over) item->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QImage own(item->size(), QImage::Format_RGB32);
    int shown = 0; // pixels where the dialog shows through
    for (int y = 0; y < own.height(); ++y) {
        for (int x = 0; x < own.width(); ++x) {
            const bool same = over[0].pixel(x, y) == over[1].pixel(x, y);
            own.setPixel(x, y, same ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
            shown += !same;
        }
    }
    constexpr int kMostPercent = 95;
    if (shown * 100 > (100 - kMostPercent) * own.width() * own.height()) return QRegion();
    return QRegion(QBitmap::fromImage(own));
}

// What an invalidation of `area` repaints: the area less the pixels that the controls standing on
// it paint themselves. As on Windows, a dialog's invalidation does not reach its child windows: a
// control repaints itself when its text or state changes. Where the dialog shows through a control
// (the corners of a frame, around a static's text) the dialog's new picture must show, so Qt
// touches up the control there.
QRegion RepaintRegion(WndImpl* impl, const QRegion& area) {
    QRegion region(area);
    impl->ownPixels.resize(impl->items.size());
    for (size_t i = 0; i < impl->items.size(); ++i) {
        QWidget* item = impl->items[i];
        if (!item || !item->isVisible() || !region.intersects(item->geometry())) continue;
        std::optional<QRegion>& own = impl->ownPixels[i];
        if (!own) own = OwnPixels(item);
        region -= own->translated(item->pos());
    }
    return region;
}

// Changed pixels closer than this along a row are repainted as one run: fewer rectangles to clip to.
constexpr int kJoinGap = 8;

// The runs of `width` pixels where rows `a` and `b` differ, as [left, right) pairs.
void ChangedRuns(const QRgb* a, const QRgb* b, int width, std::vector<std::pair<int, int>>* runs) {
    for (int x = 0; x < width; ++x) {
        if (a[x] == b[x]) continue;
        if (!runs->empty() && x - runs->back().second <= kJoinGap)
            runs->back().second = x + 1;
        else
            runs->emplace_back(x, x + 1);
    }
}

// Where `now` differs from `before` (the same size), in logical pixels: each row's changed runs,
// rows with the same runs joined into one band, so a line that moved comes out as a few rectangles.
QRegion ChangedPixels(const QImage& before, const QImage& now) {
    QRegion changed;
    std::vector<std::pair<int, int>> band, row;
    int bandTop = 0;
    const qreal ratio = now.devicePixelRatio();
    auto close = [&](int bottom) {
        for (auto [left, right] : band)
            changed +=
                QRectF(left / ratio, bandTop / ratio, (right - left) / ratio, (bottom - bandTop) / ratio)
                    .toAlignedRect();
    };
    const size_t rowBytes = static_cast<size_t>(now.width()) * sizeof(QRgb);
    for (int y = 0; y < now.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(now.constScanLine(y));
        row.clear();
        if (std::memcmp(a, b, rowBytes) != 0) ChangedRuns(a, b, now.width(), &row);
        if (row == band) continue;
        close(y);
        band.swap(row);
        bandTop = y;
    }
    close(now.height());
    return changed;
}

// The window's own painting (its WM_PAINT, without the controls) into `image`, over the window's
// background, at the widget's size, pixel ratio and resolution.
void RenderOwnPainting(WndImpl* impl, QImage* image) {
    QWidget* widget = impl->widget;
    const qreal ratio = widget->devicePixelRatioF();
    const QSize size = widget->size() * ratio;
    if (image->size() != size) {
        constexpr qreal kInchesPerMetre = 1 / 0.0254;
        *image = QImage(size, QImage::Format_RGB32);
        image->setDevicePixelRatio(ratio);
        image->setDotsPerMeterX(qRound(widget->logicalDpiX() * kInchesPerMetre));
        image->setDotsPerMeterY(qRound(widget->logicalDpiY() * kInchesPerMetre));
    }
    image->fill(widget->palette().color(QPalette::Window));
    QPainter painter(image);
    QPainter* outer = impl->painter;
    impl->painter = &painter;
    impl->Send(WM_PAINT);
    impl->painter = outer;
}

// Turns what was invalidated into a repaint of only the pixels that change there: the window's
// own painting is drawn off screen and compared with the last one, so a tick that invalidates
// the whole client area but paints the same picture repaints nothing (Qt would otherwise paint
// the dialog and every control standing on it again). Pixels that changed outside the invalidated
// area are owed, and repainted once an invalidation reaches them.
void RefreshInvalidated(WndImpl* impl) {
    impl->refreshQueued = false;
    if (impl->invalidated.isEmpty() || !impl->widget) return;
    QRegion changed(impl->widget->rect());
    if (impl->widget->isVisible()) {
        RenderOwnPainting(impl, &impl->nextPicture);
        if (impl->lastPicture.size() == impl->nextPicture.size())
            changed = ChangedPixels(impl->lastPicture, impl->nextPicture) + impl->owed;
        std::swap(impl->lastPicture, impl->nextPicture);
        impl->owed = changed - impl->invalidated;
    } else {
        impl->lastPicture = QImage(); // shown again, the window is painted whole
        impl->owed = QRegion();
    }
    QRegion region = RepaintRegion(impl, changed & impl->invalidated);
    impl->invalidated = QRegion();
    if (region.isEmpty()) return;
    impl->invalid = true;
    impl->pending += region;
    impl->widget->update(region);
}

} // namespace

WndImpl::WndImpl(CWnd* owner) : wnd(owner) {
    LiveWindows().insert(this);
}

WndImpl::~WndImpl() {
    LiveWindows().erase(this);
}

WndImpl* WndImpl::FromHandle(HWND hwnd) {
    auto* impl = reinterpret_cast<WndImpl*>(hwnd);
    return LiveWindows().count(impl) ? impl : nullptr;
}

WndImpl* WndImpl::FromWidget(QWidget* widget) {
    QWidget* window = widget ? widget->window() : nullptr;
    for (WndImpl* impl : LiveWindows()) {
        if (impl->widget && impl->widget == window) return impl;
    }
    return nullptr;
}

QWidget* WndImpl::Item(int id) const {
    const auto* dlg = dynamic_cast<const CDialog*>(wnd);
    const DialogTemplate* t = dlg ? dlg->GetTemplate() : nullptr;
    if (!t) return nullptr;
    for (size_t i = 0; i < t->items.size() && i < items.size(); ++i) {
        if (t->items[i].id == id) return items[i];
    }
    return nullptr;
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    WndImpl* impl = WndImpl::FromHandle(hwnd);
    return impl ? impl->wnd : nullptr;
}

BOOL CWnd::DestroyWindow() {
    afx_detail::DestroyOwnedModeless(this);
    if (!m_pImpl) return FALSE;
    WndImpl* impl = m_pImpl;
    Detach();
    ForgetMainWindow();
    impl->KillTimers();
    delete impl->widget.data();
    delete impl;
    return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) SendMessage(WM_CLOSE);
        if ((wParam & 0xFFF0) == SC_MINIMIZE) ShowWindow(SW_MINIMIZE);
        if ((wParam & 0xFFF0) == SC_RESTORE) ShowWindow(SW_RESTORE);
        return 0;
    case WM_CLOSE:
        DestroyWindow();
        return 0;
    case WM_ICONERASEBKGND:
        if (CDC* dc = CDC::FromHandle(reinterpret_cast<HDC>(wParam)); dc && m_pImpl && m_pImpl->widget) {
            CRect rc;
            GetClientRect(rc);
            QColor bg = m_pImpl->widget->palette().color(QPalette::Window);
            dc->FillSolidRect(rc, RGB(bg.red(), bg.green(), bg.blue()));
            return 1;
        }
        return 0;
    default:
        return 0; // WM_PAINT: the background is already erased; timers and the rest need nothing
    }
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!m_pImpl || !m_pImpl->widget) return FALSE;
    QMetaObject::invokeMethod(
        m_pImpl->widget.data(), [this, message, wParam, lParam] { SendMessage(message, wParam, lParam); },
        Qt::QueuedConnection);
    return TRUE;
}

void CWnd::InvalidateRect(LPCRECT rect, BOOL) {
    if (!m_pImpl || !m_pImpl->widget) return;
    QRect area = rect ? QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top)
                      : m_pImpl->widget->rect();
    m_pImpl->invalidated += area;
    if (m_pImpl->refreshQueued) return;
    // The comparison waits for the event loop, as WM_PAINT does on Windows: invalidations in a row
    // are compared once, with the state they all lead to.
    m_pImpl->refreshQueued = true;
    WndImpl* impl = m_pImpl;
    QMetaObject::invokeMethod(
        m_pImpl->widget.data(), [impl] { RefreshInvalidated(impl); }, Qt::QueuedConnection);
}

void CWnd::UpdateWindow() {
    if (!m_pImpl || !m_pImpl->widget) return;
    RefreshInvalidated(m_pImpl);
    if (m_pImpl->invalid && m_pImpl->widget->isVisible()) m_pImpl->widget->repaint(m_pImpl->pending);
}

void CWnd::GetClientRect(LPRECT rect) const {
    QSize size = m_pImpl && m_pImpl->widget ? m_pImpl->widget->size() : QSize(0, 0);
    *rect = RECT{0, 0, size.width(), size.height()};
}

BOOL CWnd::IsIconic() const {
    return m_pImpl && m_pImpl->widget && m_pImpl->widget->isMinimized();
}

BOOL CWnd::IsWindowVisible() const {
    return m_pImpl && m_pImpl->widget && m_pImpl->widget->isVisible();
}

BOOL CWnd::ShowWindow(int command) {
    if (!m_pImpl || !m_pImpl->widget) return FALSE;
    QWidget* w = m_pImpl->widget;
    BOOL wasVisible = w->isVisible();
    switch (command) {
    case SW_HIDE:
        w->hide();
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        w->showMinimized();
        break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
        w->showNormal();
        break;
    default:
        w->show();
        break;
    }
    return wasVisible;
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
    if (!m_pImpl || !m_pImpl->widget) return nullptr;
    HICON& slot = m_pImpl->icons[bigIcon ? ICON_BIG : ICON_SMALL];
    HICON previous = slot;
    slot = icon;
    QIcon windowIcon;
    if (HICON small = m_pImpl->icons[ICON_SMALL]) windowIcon.addPixmap(afx_detail::IconPixmap(small, false));
    if (HICON big = m_pImpl->icons[ICON_BIG]) windowIcon.addPixmap(afx_detail::IconPixmap(big, true));
    m_pImpl->widget->setWindowIcon(windowIcon);
    return previous;
}

HICON CWnd::GetIcon(BOOL bigIcon) const {
    return m_pImpl ? m_pImpl->icons[bigIcon ? ICON_BIG : ICON_SMALL] : nullptr;
}

void CWnd::SetWindowText(const char* text) {
    if (m_pImpl && m_pImpl->widget) m_pImpl->widget->setWindowTitle(afx_detail::ToQString(text));
}

void CWnd::GetWindowText(CString& text) const {
    text = m_pImpl && m_pImpl->widget ? m_pImpl->widget->windowTitle().toUtf8().constData() : "";
}

void CWnd::SetDlgItemText(int id, const char* text) {
    if (m_pImpl) SetItemText(m_pImpl->Item(id), afx_detail::ToQString(text));
}

int CWnd::GetDlgItemText(int id, CString& text) const {
    text = m_pImpl ? ItemText(m_pImpl->Item(id)).toUtf8().constData() : "";
    return text.GetLength();
}

UINT CWnd::IsDlgButtonChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(m_pImpl ? m_pImpl->Item(id) : nullptr);
    return button && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CWnd::CheckDlgButton(int id, UINT check) {
    auto* button = qobject_cast<QAbstractButton*>(m_pImpl ? m_pImpl->Item(id) : nullptr);
    if (button) SetButtonChecked(button, check == BST_CHECKED);
}

namespace afx_detail {

BOOL IsItemChecked(const CWnd* wnd, int index) {
    WndImpl* impl = wnd->Impl();
    if (!impl || index < 0 || static_cast<size_t>(index) >= impl->items.size()) return FALSE;
    auto* button = qobject_cast<QAbstractButton*>(impl->items[static_cast<size_t>(index)]);
    return button && button->isChecked();
}

void SetItemChecked(CWnd* wnd, int index, BOOL checked) {
    WndImpl* impl = wnd->Impl();
    if (!impl || index < 0 || static_cast<size_t>(index) >= impl->items.size()) return;
    auto* button = qobject_cast<QAbstractButton*>(impl->items[static_cast<size_t>(index)]);
    if (button) SetButtonChecked(button, checked);
}

void ActivateAfterModal(QWidget* owner, QWidget* before) {
    // Windows gives the activation back to the owner of a modal window that ends; without a window
    // manager (offscreen, bare X) nobody else would, and the keyboard would go nowhere. The owner
    // comes first because QApplication::activeWindow() lags behind the platform: a dialog shown a
    // moment ago may still have its activation queued when a box opens over it, and then `before`
    // is null although the box stands over that very dialog.
    QWidget* back = owner && owner->isVisible() ? owner : before;
    if (back && back->isVisible()) back->activateWindow();
}

void FocusItem(CWnd* wnd, int id, BOOL selectAll) {
    QWidget* item = wnd->Impl() ? wnd->Impl()->Item(id) : nullptr;
    if (!item) return;
    item->setFocus(Qt::OtherFocusReason);
    auto* edit = qobject_cast<QLineEdit*>(item);
    if (edit && selectAll) edit->selectAll();
}

} // namespace afx_detail
