// Win32 side of the framework: the real window behind a CWnd and the helpers the backend files
// share. Only framework/win32/*.cpp include it.
#pragma once

#include "../dialog.h"
#include "../gdi.h"
#include "../resources.h"

#include <set>
#include <vector>

struct WndImpl {
    CWnd* wnd;
    HWND hwnd = nullptr;       ///< the dialog window; null before WM_INITDIALOG and after it is gone
    std::vector<HWND> items;   ///< controls by template index (creation order)
    std::set<UINT_PTR> timers; ///< ids of the running timers
    HDC paintDc = nullptr;     ///< set while WM_PAINT is being handled
    bool passOn = false;       ///< the message being handled asked for the system's default processing
    HICON icons[2] = {nullptr, nullptr}; ///< ICON_SMALL, ICON_BIG

    explicit WndImpl(CWnd* owner);
    ~WndImpl();
    /// The framework's handle of this window (what CWnd::m_hWnd holds).
    HWND Handle() { return reinterpret_cast<HWND>(this); }
    /// The live window with framework handle or real window `hwnd`, or null.
    static WndImpl* FromHandle(HWND hwnd);
    /// Sends `message` to the CWnd (the way every system message enters the framework).
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return wnd->SendMessage(message, wParam, lParam);
    }
    /// Binds the CWnd to this window (CWnd::Attach).
    void Bind() { wnd->Attach(this); }
};

namespace afx_detail {
/// The dialog template as the DLGTEMPLATEEX the system builds dialogs from: the same rows, so the
/// templates have one source. The buffer is DWORD-aligned, as the system wants it.
std::vector<DWORD> BuildDialogTemplate(const DialogTemplate& tmpl);
/// The procedure of every framework dialog: routes the system's messages into the CWnd.
INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
/// The module the resources (icons) come from.
HINSTANCE Instance();
/// Makes the real system menu match the framework's: the system's items, then what the program
/// appended after "Close". Runs once the dialog has initialised (programs append in OnInitDialog).
void SyncSystemMenu(WndImpl* impl);
/// Posted to a modeless dialog to destroy its window (afx_detail::DestroyLater).
inline constexpr UINT kDestroyLaterMessage = WM_APP + 0x3F00;
/// Lets the open modeless dialogs have their keys (Tab, Enter, Escape) whichever loop runs: the
/// modal loop of the main window only gives its own dialog's keys to the dialog manager.
void WatchModelessKeys();
} // namespace afx_detail
