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

#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

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
        iconShown = SendMessageA(last, STM_GETICON, 0, 0) != 0; // "#9100": the icon resource
        twoChecked = d.IsDlgButtonChecked(IDC_TWO);
        d.EndDialog(7);
    };
    EXPECT_EQ(RunGuarded(dlg), 7) << "ended inside OnInitDialog";
    EXPECT_EQ(classes, "Button Edit Static Edit Edit Button Button Button Button Static ");
    EXPECT_EQ(texts, "OK|3|&Number:|start||One|Two|Three|Stop|") << "members went into the fields";
    EXPECT_TRUE(iconShown);
    // A one-line text static does not wrap (its second line would never show); the icon keeps its type.
    EXPECT_EQ(staticTypes, std::to_string(SS_LEFTNOWORDWRAP) + " " + std::to_string(SS_ICON) + " ");
    EXPECT_EQ(twoChecked, UINT{BST_CHECKED}) << "m_nChoice 1";
    EXPECT_EQ(dlg.m_hWnd, nullptr) << "the window is gone after the run";
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
            ++ticks;
            EXPECT_TRUE(d.KillTimer(1));
            EXPECT_FALSE(d.KillTimer(1)) << "no such timer any more";
            GetMenuStringA(GetSystemMenu(Hwnd(d), FALSE), IDM_TEST_ABOUT, item, sizeof item, MF_BYCOMMAND);
            d.SetTimer(2, 200);
        };
        EXPECT_EQ(RunGuarded(dlg), result);
        EXPECT_EQ(ticks, 1);
        EXPECT_STREQ(item, "&About Test...");
        std::vector<UINT> commands;
        for (UINT c : dlg.sysCommands) commands.push_back(c & 0xFFF0);
        EXPECT_EQ(commands, message == WM_SYSCOMMAND ? std::vector<UINT>{id} : std::vector<UINT>{});
        bool saved = id == IDOK;
        EXPECT_EQ(dlg.m_nNumber, saved ? -42 : 3);
        EXPECT_EQ(dlg.m_strName.Str(), saved ? "Windows" : "start");
        EXPECT_EQ(dlg.m_nChoice, saved ? 2 : 1);
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
    EXPECT_EQ(RunGuarded(dlg), IDCANCEL);
    EXPECT_EQ(boxText, "Please enter an integer.");
    EXPECT_TRUE(focusedAfter) << "the refused field has the focus";
    EXPECT_EQ(dlg.m_nNumber, 3) << "the member kept its value";
}

TEST(Win32Dialog, AMissingTemplateRefusesTheRunAndMarksTheMainWindowFailed) {
    CDialog missing(4242);
    AfxGetApp()->m_pMainWnd = &missing;
    AfxGetApp()->m_bMainWndFailed = FALSE;
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_TRUE(AfxGetApp()->m_bMainWndFailed) << "DoModal reports it itself";
    AfxGetApp()->m_bMainWndFailed = FALSE;
    EXPECT_FALSE(missing.Create());
    EXPECT_TRUE(AfxGetApp()->m_bMainWndFailed);
    AfxGetApp()->m_pMainWnd = nullptr;
    AfxGetApp()->m_bMainWndFailed = FALSE;
}

// An existing per-user file wins over the Windows folder's file of earlier installations, even
// holding 0, and a key it lacks gives the default.
TEST(Win32Profile, AnExistingPerUserFileWinsOverTheWindowsFolder) {
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string legacy = std::string(windows) + "\\korvane-test.INI";
    const std::string user = profile::PathFor("korvane-test");
    ASSERT_FALSE(user.empty()) << "no %APPDATA%";
    if (!(std::ofstream(legacy) << "[S]\r\nK=17\r\nL=1\r\n"))
        GTEST_SKIP() << "the Windows folder is not writable here";
    ASSERT_TRUE(profile::WriteInt(user, "S", "K", 0));
    EXPECT_EQ(profile::ReadInt(user, "S", "K", 3), 0);
    EXPECT_EQ(profile::ReadInt(user, "S", "L", 3), 3);
    std::remove(user.c_str());
    EXPECT_EQ(profile::ReadInt(user, "S", "K", 3), 17) << "without it, the Windows folder's file";
    std::remove(legacy.c_str());
}

} // namespace
