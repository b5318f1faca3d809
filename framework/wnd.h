// CWnd: a window of the framework. Messages reach it through SendMessage/PostMessage and the
// platform (paint, timer, keys, close box); WindowProc hands each message to the virtual handler
// when the class's message map claims it, and to DefWindowProc (the default processing) otherwise.
// A handler may call Default() to give the message it is handling the default processing as well.
#pragma once

#include "cmdtarget.h"
#include "cstring.h"
#include "windefs.h"

class CDataExchange;
class CMenu;
struct WndImpl; // the platform window behind a CWnd (defined by the backend)

class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    /// Handle of the platform window; null while there is none.
    HWND m_hWnd = nullptr;
    /// m_hWnd.
    HWND GetSafeHwnd() const { return m_hWnd; }
    /// The framework window with handle `hwnd`, or null when it is none of ours.
    static CWnd* FromHandle(HWND hwnd);

    const MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const MessageMap* ThisMessageMap();

    // Messages
    /// Handles `message` now (WindowProc) and returns its result.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    /// Queues `message` for the message loop; FALSE when there is no window.
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    /// Gives the message being handled its default processing; returns that result.
    LRESULT Default();

    // Dialog data exchange
    /// TRUE: controls to members (with validation); FALSE: members to controls. FALSE when a field
    /// was refused (its message was shown and it has the focus) or there is no window.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Timers
    /// Starts (or restarts) timer `id`: WM_TIMER (or `callback`) about every `elapse` ms, delivered
    /// by any message loop on the thread, never more than one waiting. Returns `id`, 0 when no window.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC callback = nullptr);
    /// Stops timer `id` and drops a tick that is waiting; FALSE when there is no such timer.
    BOOL KillTimer(UINT_PTR id);

    // Painting and state
    /// Marks `rect` (null: the whole client area) for repainting; the background is always erased.
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    /// Paints now when part of the window is marked for repainting.
    void UpdateWindow();
    /// The client area, (0, 0) at its top-left corner; empty when there is no window.
    void GetClientRect(LPRECT rect) const;
    /// TRUE when the window is minimised.
    BOOL IsIconic() const;
    /// TRUE when the window is shown.
    BOOL IsWindowVisible() const;
    /// SW_SHOW, SW_HIDE, SW_MINIMIZE/SW_SHOWMINIMIZED or SW_RESTORE/SW_SHOWNORMAL; TRUE when it was visible.
    BOOL ShowWindow(int command);
    /// Sets the big (32x32, ICON_BIG) or small (16x16) window icon; returns the previous one.
    HICON SetIcon(HICON icon, BOOL bigIcon);
    /// The big or small window icon, or null.
    HICON GetIcon(BOOL bigIcon) const;
    /// The system menu ("Close" and what the program appended), null when the window has none.
    /// `revert` TRUE restores the original menu and returns null. Alt+Space and a right-click on the
    /// window's background (Qt) or its title bar (Windows, where it is the system's own menu and
    /// shows what was appended by the end of OnInitDialog) open it; a choice arrives as
    /// WM_SYSCOMMAND with the item's id.
    CMenu* GetSystemMenu(BOOL revert);
    /// Shows the window (restored when minimised), raises it above the program's other windows and
    /// activates it: how an open modeless window is brought back.
    void BringWindowToTop();
    /// Sets the caption.
    void SetWindowText(const char* text);
    /// The caption.
    void GetWindowText(CString& text) const;

    // Controls (by id; the first control with the id)
    /// Sets a control's text.
    void SetDlgItemText(int id, const char* text);
    /// Copies a control's text; returns its length (0 when there is no such control).
    int GetDlgItemText(int id, CString& text) const;
    /// BST_CHECKED or BST_UNCHECKED.
    UINT IsDlgButtonChecked(int id) const;
    /// Checks (BST_CHECKED) or unchecks a button.
    void CheckDlgButton(int id, UINT check);
    /// Destroys the platform window (timers included); TRUE when there was one. When this window
    /// is the application's main window, m_pMainWnd is cleared (so is it when the object dies).
    BOOL DestroyWindow();

    /// Window style bits (WS_*); a dialog's come from its template.
    virtual DWORD GetStyle() const { return 0; }

    /// Exchanges the members with the controls (each class lists its DDX_ calls); base: nothing.
    virtual void DoDataExchange(CDataExchange* dx);

    /// The platform window (backend use only).
    WndImpl* Impl() const { return m_pImpl; }

protected:
    /// Routes one message: map-claimed messages to their handler, the rest to DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    /// The default processing: SC_CLOSE closes, WM_ICONERASEBKGND fills the background, the rest nothing.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    /// WM_COMMAND: the map chain's command entry, then the application's; FALSE when none.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

    // Handlers of claimed messages; the base versions give the message its default processing.
    virtual void OnTimer(UINT_PTR id);
    virtual void OnPaint();
    virtual void OnSysCommand(UINT id, LPARAM lParam);
    virtual HCURSOR OnQueryDragIcon();

    /// Attaches a platform window (backend use).
    void Attach(WndImpl* impl);
    /// Forgets the platform window without destroying it (backend use).
    void Detach();
    /// Clears the application's m_pMainWnd when it is this window.
    void ForgetMainWindow();

private:
    friend struct WndImpl;
    WndImpl* m_pImpl = nullptr;
    CMenu* m_pSysMenu = nullptr;
};
