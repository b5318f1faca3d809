// The platform-independent part of CWnd: message routing, Default, data exchange, system menu.
#include "wnd.h"

#include "ddx.h"
#include "menu.h"
#include "winapp.h"

namespace {

// The message being handled, for Default(). Saved and restored around each SendMessage, so a
// handler that opens a nested loop gets its own message back afterwards.
struct CurrentMessage {
    CWnd* wnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
thread_local CurrentMessage t_current;

} // namespace

const MessageMap* CWnd::ThisMessageMap() {
    static const MessageMap map{CCmdTarget::ThisMessageMap(), {}};
    return &map;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    CurrentMessage saved = t_current;
    t_current = {this, message, wParam, lParam};
    LRESULT result = WindowProc(message, wParam, lParam);
    t_current = saved;
    return result;
}

LRESULT CWnd::Default() {
    if (t_current.wnd != this) return 0;
    return DefWindowProc(t_current.message, t_current.wParam, t_current.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) return OnCommand(wParam, lParam) ? 0 : DefWindowProc(message, wParam, lParam);
    if (!ClaimsMessage(message)) return DefWindowProc(message, wParam, lParam);
    switch (message) {
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_SYSCOMMAND:
        OnSysCommand(static_cast<UINT>(wParam), lParam);
        return 0;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(OnQueryDragIcon());
    default:
        return DefWindowProc(message, wParam, lParam);
    }
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
    UINT id = LOWORD(wParam);
    UINT code = HIWORD(wParam);
    if (OnCmdMsg(id, code)) return TRUE;
    CWinApp* app = AfxGetApp();
    return app && app->OnCmdMsg(id, code);
}

void CWnd::OnTimer(UINT_PTR) {
    Default();
}

void CWnd::OnPaint() {
    Default();
}

void CWnd::OnSysCommand(UINT, LPARAM) {
    Default();
}

HCURSOR CWnd::OnQueryDragIcon() {
    return reinterpret_cast<HCURSOR>(Default());
}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    if (!m_hWnd) return FALSE;
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.Failed();
}

void CWnd::DoDataExchange(CDataExchange*) {}

CMenu* CWnd::GetSystemMenu(BOOL revert) {
    if (revert || !(GetStyle() & WS_SYSMENU)) {
        delete m_pSysMenu;
        m_pSysMenu = nullptr;
        return nullptr;
    }
    if (!m_pSysMenu) {
        m_pSysMenu = new CMenu;
        m_pSysMenu->AppendMenu(MF_STRING, SC_CLOSE, "&Close");
    }
    return m_pSysMenu;
}

void CWnd::Attach(WndImpl* impl) {
    m_pImpl = impl;
    m_hWnd = reinterpret_cast<HWND>(impl);
}

void CWnd::Detach() {
    m_pImpl = nullptr;
    m_hWnd = nullptr;
}

CWnd::CWnd() = default;

void CWnd::ForgetMainWindow() {
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
}

CWnd::~CWnd() {
    DestroyWindow();
    ForgetMainWindow(); // also when no window was ever built
    delete m_pSysMenu;
}
