// The framework over the Win32 API, under Wine on a virtual display: the test dialog built from
// its template by the system's dialog manager, data exchange over the real controls, timers, the
// refusal box and a missing template. Every modal run is ended from inside (a handler or a timer of
// the dialog), and a watchdog timer ends it with -2 after five seconds. korvane.exe's own run under
// Wine (scripts/wine-smoke.sh) shows the rest: the painting (the crosshair's pixels), OK saving the
// port dialog's field, the program's system menu item, the owned trend window taking Escape inside
// the modal main window, the Windows folder's profile read and left alone, the per-user one written.
#include "test_dialog.h"

#include <win32/win32_internal.h>

#include <gtest/gtest.h>

namespace {

constexpr UINT_PTR kWatchdog = 99;

HWND Hwnd(const CWnd& dlg) {
    return dlg.Impl() ? dlg.Impl()->hwnd : nullptr;
}

std::string TextOf(HWND hwnd) {
    char text[128] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// Runs `dlg` modally with a watchdog: a run that nothing ends returns -2 after five seconds.
INT_PTR RunGuarded(CTestDlg& dlg) {
    dlg.onInit = [init = dlg.onInit](CTestDlg& d) {
        d.SetTimer(kWatchdog, 5000);
        if (init) init(d);
    };
    dlg.onTimer = [tick = dlg.onTimer](CTestDlg& d, UINT_PTR id) {
        if (id == kWatchdog) return d.EndDialog(-2);
        if (tick) tick(d, id);
    };
    return dlg.DoModal();
}

TEST(Win32Dialog, TheTemplateBuildsTheSystemsControlsInOrderFilledFromTheMembers) {
    CTestDlg dlg;
    std::string classes, texts, staticTypes;
    bool iconShown = false;
    UINT twoChecked = BST_UNCHECKED;
    dlg.onInit = [&](CTestDlg& d) {
        HWND last = nullptr;
        for (HWND c = GetWindow(Hwnd(d), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            char name[64] = "";
            GetClassNameA(c, name, sizeof name);
            classes += std::string(name) + " ";
            if (std::string(name) == "Static")
                staticTypes += std::to_string(GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) + " ";
            if (GetWindow(c, GW_HWNDNEXT)) texts += TextOf(c) + "|";
            last = c;
        }
        iconShown = SendMessageA(last, STM_GETICON, 0, 0) != 0, twoChecked = d.IsDlgButtonChecked(IDC_TWO);
        d.EndDialog(7);
    };
    // Ended inside OnInitDialog, the members in the fields (m_nChoice 1: Two), the window gone after
    // the run. A one-line text static does not wrap (its second line would never show); the icon
    // ("#9100", the icon resource) keeps its type.
    EXPECT_EQ((std::tuple{RunGuarded(dlg), classes, texts, iconShown, staticTypes, twoChecked, dlg.m_hWnd}),
              (std::tuple{INT_PTR{7},
                          std::string("Button Edit Static Edit Edit Button Button Button Button Static "),
                          std::string("OK|3|&Number:|start||One|Two|Three|Stop|"), true,
                          std::to_string(SS_LEFTNOWORDWRAP) + " " + std::to_string(SS_ICON) + " ",
                          UINT{BST_CHECKED}, HWND{}}));
}

// The refusal box runs its own loop; the dialog's timer still ticks there and closes it.
TEST(Win32Dialog, ARefusedNumberShowsTheBoxAndKeepsTheDialog) {
    CTestDlg dlg;
    std::string boxText;
    bool focusedAfter = false;
    dlg.onInit = [&](CTestDlg& d) {
        d.SetDlgItemText(IDC_NUMBER, "12x");
        d.SetTimer(1, 50);
        d.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    dlg.onTimer = [&](CTestDlg& d, UINT_PTR) {
        HWND box = FindWindowA("#32770", AfxGetApp()->m_strExeName.c_str());
        if (box && box != Hwnd(d) && boxText.empty()) {
            boxText = TextOf(GetDlgItem(box, 0xFFFF));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        } else if (!boxText.empty()) {
            focusedAfter = GetFocus() == GetDlgItem(Hwnd(d), IDC_NUMBER);
            d.EndDialog(IDCANCEL);
        }
    };
    // The refused field has the focus, the member kept its value.
    EXPECT_EQ((std::tuple{RunGuarded(dlg), boxText, focusedAfter, dlg.m_nNumber}),
              (std::tuple{INT_PTR{IDCANCEL}, std::string("Please enter an integer."), true, 3}));
}

TEST(Win32Dialog, AMissingTemplateRefusesTheRunAndMarksTheMainWindowFailed) {
    CDialog missing(4242);
    AfxGetApp()->m_pMainWnd = &missing;
    AfxGetApp()->m_bMainWndFailed = FALSE;
    const INT_PTR modal = missing.DoModal();
    const BOOL failedByModal =
        std::exchange(AfxGetApp()->m_bMainWndFailed, FALSE); // DoModal reports it itself
    EXPECT_EQ((std::tuple{modal, failedByModal, missing.Create(), AfxGetApp()->m_bMainWndFailed}),
              (std::tuple{INT_PTR{-1}, TRUE, FALSE, TRUE}));
    AfxGetApp()->m_pMainWnd = nullptr;
    AfxGetApp()->m_bMainWndFailed = FALSE;
}

} // namespace
