// Qt side of the framework: the platform window behind a CWnd and the helpers the backend files
// share. Only framework/qt/*.cpp (and the framework's tests, through qt_access.h) include it.
#pragma once

#include "../dialog.h"
#include "../gdi.h"
#include "../resources.h"

#include <QButtonGroup>
#include <QDialog>
#include <QImage>
#include <QFont>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <map>
#include <optional>
#include <vector>

class WindowTimer;

/// The Qt dialog behind a CDialog: routes keys, the close box, the system menu and painting into
/// the window's messages. It watches the keys of its controls too (see eventFilter).
class DialogWidget : public QDialog {
public:
    DialogWidget(WndImpl* impl, QWidget* parent) : QDialog(parent), m_impl(impl) {}
    void accept() override;
    void reject() override;
    /// Alt+Space is the window's key, not the focused control's: it opens the system menu from
    /// whichever control has the focus (a button would take it for a click, an edit field would
    /// swallow it). Installed on every control of the dialog.
    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    WndImpl* m_impl;
};

struct WndImpl {
    CWnd* wnd = nullptr;
    QPointer<DialogWidget> widget;
    std::vector<QWidget*> items;                   ///< per template index; null for controls not built
    std::vector<std::optional<QRegion>> ownPixels; ///< per item: the pixels it paints itself, once known
    std::vector<QButtonGroup*> groups;
    std::map<UINT_PTR, WindowTimer*> timers;
    QPainter* painter = nullptr;         ///< set while WM_PAINT is being handled
    bool invalid = false;                ///< part of the window awaits repainting
    QRegion pending;                     ///< what awaits repainting, when `invalid`
    QRegion invalidated;                 ///< invalidated, not yet compared with the last picture
    bool refreshQueued = false;          ///< a RefreshInvalidated is posted
    QImage lastPicture;                  ///< the window's own painting (WM_PAINT) as last compared
    QImage nextPicture;                  ///< its buffer for the next comparison
    QRegion owed;                        ///< changed pixels outside every invalidation so far
    HICON icons[2] = {nullptr, nullptr}; ///< ICON_SMALL, ICON_BIG

    explicit WndImpl(CWnd* owner);
    ~WndImpl();
    HWND Handle() { return reinterpret_cast<HWND>(this); }
    /// The live window with handle `hwnd`, or null.
    static WndImpl* FromHandle(HWND hwnd);
    /// The live window whose widget is `widget` (or contains it), or null.
    static WndImpl* FromWidget(QWidget* widget);
    /// Sends `message` to the CWnd (the way every platform event enters the framework).
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return wnd->SendMessage(message, wParam, lParam);
    }
    /// The widget of the first control with `id`, or null.
    QWidget* Item(int id) const;
    /// Kills every timer.
    void KillTimers();
};

namespace afx_detail {
/// The file of the template face "MS Sans Serif" (Debian package fonts-wine).
inline constexpr const char* kDialogFaceFile = "/usr/share/wine/fonts/ms_sans_serif.ttf";
/// Adds the "MS Sans Serif" face in `path` to the application's fonts and makes it the face of
/// the templates' dialog fonts; TRUE when it did. Otherwise the dialogs use DejaVu Sans Condensed
/// (same base units, wider glyphs) and one line on stderr says so.
bool LoadDialogFace(const char* path);
/// LoadDialogFace(kDialogFaceFile) the first time it is called; nothing after that.
void LoadDialogFaceOnce();
/// The font a template names at 96 dpi: the dialog face for "MS Sans Serif" and its kin (loaded
/// on first use), DejaVu Sans for "System", else the family named.
QFont DialogFont(const char* name, int pointSize);
/// Dialog base units (average character width, height) of `font`.
QSize BaseUnits(const QFont& font);
/// A dialog-unit rectangle in pixels for `base` units.
QRect DluToPixels(const QRect& dlu, QSize base);
/// The context's default font: the system font, not the dialog's (16 px high, no antialiasing).
QFont SystemFont();
/// A COLORREF as a QColor.
QColor ToQColor(COLORREF color);
/// Text of a UTF-8 C string.
QString ToQString(const char* text);
/// Pixmap of an icon's big (32x32) or small (16x16) picture; null pixmap for a null icon.
QPixmap IconPixmap(HICON icon, bool big);
/// Opens the system menu of `impl` at global position `pos` and sends the choice as WM_SYSCOMMAND.
void ShowSystemMenu(WndImpl* impl, const QPoint& pos);
/// Builds the controls of `tmpl` on the dialog widget of `impl`.
void BuildControls(WndImpl* impl, const DialogTemplate& tmpl, QSize base);
/// After a modal box or dialog has closed, activates its `owner` when that is visible, else `before`
/// (the window active when it opened) when that is visible.
void ActivateAfterModal(QWidget* owner, QWidget* before);
/// Installs the message-box handler, the focus source and the application settings.
void InitPlatform();
} // namespace afx_detail
