// The framework over the Win32 API, under Wine on a virtual display: the test dialog built from
// its template by the system's dialog manager, data exchange over the real controls, timers, the
// refusal box, the system menu and the profile. Every modal run is ended from inside (a handler or
// a timer of the dialog), and a watchdog timer ends it with -2 after five seconds. korvane.exe's own
// run under Wine (scripts/wine-smoke.sh) shows the painting (the crosshair's pixels), the Windows
// folder's profile read and left alone, and the per-user profile written.
#include "test_dialog.h"

#include <profile.h>
#include <win32/win32_internal.h>

#include <gtest/gtest.h>

#include <fstream>

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

// Once the dialog is up (a timer's first tick, after which the killed timer ticks no more), a
// posted command ends the run: OK saves the real controls; the item the program appended to the
// real system menu and the system's "Close" arrive as WM_SYSCOMMAND, and Close ends in IDCANCEL.
TEST(Win32Dialog, PostedCommandsReachTheDialog) {
    const std::tuple<UINT, UINT, INT_PTR> rows[] = {{WM_COMMAND, IDOK, IDOK},
                                                    {WM_SYSCOMMAND, IDM_TEST_ABOUT, IDM_TEST_ABOUT},
                                                    {WM_SYSCOMMAND, SC_CLOSE, IDCANCEL}};
    for (auto [message, id, result] : rows) {
        SCOPED_TRACE(testing::Message() << "command " << id);
        CTestDlg dlg;
        char item[64] = "";
        int ticks = 0;
        dlg.onInit = [](CTestDlg& d) {
            d.SetDlgItemText(IDC_NUMBER, " -42 ");
            d.SetDlgItemText(IDC_NAME, "Windows");
            d.CheckDlgButton(IDC_TWO, BST_UNCHECKED);
            d.CheckDlgButton(IDC_THREE, BST_CHECKED);
            d.SetTimer(1, 10);
        };
        dlg.onTimer = [&, message = message, command = id](CTestDlg& d, UINT_PTR timer) {
            if (timer == 2) return void(d.PostMessage(message, command, 0)); // the run ends before another
            ticks += d.KillTimer(1) && !d.KillTimer(1); // no such timer any more after the first
            GetMenuStringA(GetSystemMenu(Hwnd(d), FALSE), IDM_TEST_ABOUT, item, sizeof item, MF_BYCOMMAND);
            d.SetTimer(2, 200);
        };
        const INT_PTR got = RunGuarded(dlg);
        std::vector<UINT> commands;
        for (UINT c : dlg.sysCommands) commands.push_back(c & 0xFFF0);
        const bool saved = id == IDOK;
        EXPECT_EQ((std::tuple{got, ticks, std::string(item), commands, dlg.m_nNumber, dlg.m_strName.Str(),
                              dlg.m_nChoice}),
                  (std::tuple{result, 1, std::string("&About Test..."),
                              message == WM_SYSCOMMAND ? std::vector<UINT>{id} : std::vector<UINT>{},
                              saved ? -42 : 3, std::string(saved ? "Windows" : "start"), saved ? 2 : 1}));
    }
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

// An existing per-user file wins over the Windows folder's file of earlier installations, even
// holding 0, and a key it lacks gives the default (korvane.exe's run under Wine shows the Windows
// folder's file read when there is no per-user one, and left alone).
TEST(Win32Profile, AnExistingPerUserFileWinsOverTheWindowsFolder) {
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string legacy = std::string(windows) + "\\korvane-test.INI",
                      user = profile::PathFor("korvane-test");
    ASSERT_FALSE(user.empty()) << "no %APPDATA%";
    if (!(std::ofstream(legacy) << "[S]\r\nK=17\r\nL=1\r\n"))
        GTEST_SKIP() << "the Windows folder is not writable here";
    ASSERT_TRUE(profile::WriteInt(user, "S", "K", 0));
    const std::tuple<int, int> read{profile::ReadInt(user, "S", "K", 3), profile::ReadInt(user, "S", "L", 3)};
    std::remove(user.c_str());
    EXPECT_EQ(std::tuple(read, profile::ReadInt(user, "S", "K", 3)), std::tuple(std::tuple(0, 3), 17))
        << "without it, the Windows folder's file";
    std::remove(legacy.c_str());
}

} // namespace
