// The framework over the Win32 API, under Wine on a virtual display: the test dialog built from
// its template by the system's dialog manager, data exchange over the real controls, timers, the
// refusal box, the system menu, GDI painting and the profile. Every modal run is ended from inside
// (a handler or a timer of the dialog), and a watchdog timer ends it with -2 after five seconds.
#include "test_dialog.h"

#include <profile.h>
#include <win32/win32_internal.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr UINT_PTR kWatchdog = 99;

HWND Hwnd(const CWnd& dlg) {
    return dlg.Impl() ? dlg.Impl()->hwnd : nullptr;
}

std::string ClassOf(HWND hwnd) {
    char name[64] = "";
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

std::string TextOf(HWND hwnd) {
    char text[128] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// Runs `dlg` modally with a watchdog: a run that nothing ends returns -2 after five seconds.
INT_PTR RunGuarded(CTestDlg& dlg) {
    auto init = dlg.onInit;
    auto tick = dlg.onTimer;
    dlg.onInit = [init](CTestDlg& d) {
        d.SetTimer(kWatchdog, 5000);
        if (init) init(d);
    };
    dlg.onTimer = [tick](CTestDlg& d, UINT_PTR id) {
        if (id == kWatchdog)
            d.EndDialog(-2);
        else if (tick)
            tick(d, id);
    };
    return dlg.DoModal();
}

TEST(Win32Dialog, TheTemplateBuildsTheSystemsControlsInOrder) {
    CTestDlg dlg;
    std::string classes, texts;
    bool iconShown = false;
    dlg.onInit = [&](CTestDlg& d) {
        HWND last = nullptr;
        for (HWND c = GetWindow(Hwnd(d), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            classes += ClassOf(c) + " ";
            if (GetWindow(c, GW_HWNDNEXT)) texts += TextOf(c) + "|";
            last = c;
        }
        iconShown = SendMessageA(last, STM_GETICON, 0, 0) != 0; // "#9100": the icon resource
        d.EndDialog(7);
    };
    EXPECT_EQ(RunGuarded(dlg), 7) << "ended inside OnInitDialog";
    EXPECT_EQ(classes, "Button Edit Static Edit Edit Button Button Button Button Static ");
    EXPECT_EQ(texts, "OK|3|&Number:|start||One|Two|Three|Stop|") << "members went into the fields";
    EXPECT_TRUE(iconShown);
    EXPECT_EQ(dlg.m_hWnd, nullptr) << "the window is gone after the run";
}

TEST(Win32Dialog, DataExchangeSavesTheRealControlsOnOk) {
    CTestDlg dlg;
    UINT twoCheckedAtStart = BST_UNCHECKED;
    dlg.onInit = [&](CTestDlg& d) {
        twoCheckedAtStart = d.IsDlgButtonChecked(IDC_TWO);
        d.SetDlgItemText(IDC_NUMBER, " -42 ");
        d.SetDlgItemText(IDC_NAME, "Windows");
        d.CheckDlgButton(IDC_TWO, BST_UNCHECKED);
        d.CheckDlgButton(IDC_THREE, BST_CHECKED);
        d.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    EXPECT_EQ(RunGuarded(dlg), IDOK);
    EXPECT_EQ(twoCheckedAtStart, UINT{BST_CHECKED});
    EXPECT_EQ(dlg.m_nNumber, -42);
    EXPECT_EQ(dlg.m_strName.Str(), "Windows");
    EXPECT_EQ(dlg.m_nChoice, 2);
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

TEST(Win32Dialog, AKilledTimerDeliversNoMoreTicks) {
    CTestDlg dlg;
    int ticks = 0;
    dlg.onInit = [](CTestDlg& d) { d.SetTimer(1, 10); };
    dlg.onTimer = [&](CTestDlg& d, UINT_PTR id) {
        if (id == 1 && ++ticks == 5) {
            EXPECT_TRUE(d.KillTimer(1));
            EXPECT_FALSE(d.KillTimer(1)) << "no such timer any more";
            d.SetTimer(2, 200);
        } else if (id == 2) {
            d.EndDialog(IDOK);
        }
    };
    EXPECT_EQ(RunGuarded(dlg), IDOK);
    EXPECT_EQ(ticks, 5);
}

// The item the program appended is in the real system menu once the dialog is up; choosing it
// reaches the handler (the test dialog ends with its id).
TEST(Win32Dialog, TheSystemMenuCarriesTheAppendedItemAndItsCommandArrives) {
    CTestDlg dlg;
    char item[64] = "";
    dlg.onInit = [](CTestDlg& d) { d.SetTimer(1, 10); };
    dlg.onTimer = [&](CTestDlg& d, UINT_PTR) {
        d.KillTimer(1);
        GetMenuStringA(GetSystemMenu(Hwnd(d), FALSE), IDM_TEST_ABOUT, item, sizeof item, MF_BYCOMMAND);
        d.PostMessage(WM_SYSCOMMAND, IDM_TEST_ABOUT, 0);
    };
    EXPECT_EQ(RunGuarded(dlg), static_cast<INT_PTR>(IDM_TEST_ABOUT));
    EXPECT_STREQ(item, "&About Test...");
    EXPECT_EQ(dlg.sysCommands, std::vector<UINT>{IDM_TEST_ABOUT});
}

// "Close" is the system's: the handler passes it on, and the default processing ends in IDCANCEL.
TEST(Win32Dialog, CloseFromTheSystemMenuEndsWithCancel) {
    CTestDlg dlg;
    dlg.onInit = [](CTestDlg& d) { d.PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0); };
    EXPECT_EQ(RunGuarded(dlg), IDCANCEL);
    ASSERT_EQ(dlg.sysCommands.size(), 1u);
    EXPECT_EQ(dlg.sysCommands[0] & 0xFFF0, UINT{SC_CLOSE});
}

TEST(Win32Dialog, AMissingTemplateRefusesTheRunAndMarksTheMainWindowFailed) {
    CDialog missing(4242);
    AfxGetApp()->m_pMainWnd = &missing;
    AfxGetApp()->m_bMainWndFailed = FALSE;
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_FALSE(missing.Create());
    EXPECT_TRUE(AfxGetApp()->m_bMainWndFailed);
    AfxGetApp()->m_pMainWnd = nullptr;
    AfxGetApp()->m_bMainWndFailed = FALSE;
}

// GDI rules: the line leaves out its end point; opaque text fills its band.
TEST(Win32Dialog, PaintingDrawsWithTheRealGdi) {
    CTestDlg dlg;
    COLORREF start = 0, last = 0, end = 0;
    dlg.onPaint = [](CDC& dc) {
        CPen red(PS_SOLID, 1, RGB(255, 0, 0));
        CPen* old = dc.SelectObject(&red);
        dc.MoveTo(100, 150);
        dc.LineTo(140, 150);
        dc.SelectObject(old);
    };
    dlg.onInit = [](CTestDlg& d) { d.SetTimer(1, 100); };
    dlg.onTimer = [&](CTestDlg& d, UINT_PTR) {
        if (d.paints == 0) return;
        HDC dc = GetDC(Hwnd(d));
        start = GetPixel(dc, 100, 150);
        last = GetPixel(dc, 139, 150);
        end = GetPixel(dc, 140, 150);
        ReleaseDC(Hwnd(d), dc);
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(RunGuarded(dlg), IDOK);
    EXPECT_EQ(start, RGB(255, 0, 0));
    EXPECT_EQ(last, RGB(255, 0, 0));
    EXPECT_NE(end, RGB(255, 0, 0)) << "the end point is left out";
}

// The per-user file wins; without it the Windows folder's file of earlier installations is read,
// and a write goes to the per-user file only.
TEST(Win32Profile, ThePerUserFileWinsAndTheWindowsFolderIsOnlyRead) {
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string legacy = std::string(windows) + "\\korvane-test.INI";
    const std::string user = profile::PathFor("korvane-test");
    ASSERT_FALSE(user.empty()) << "no %APPDATA%";
    std::remove(user.c_str());
    if (!(std::ofstream(legacy) << "[S]\r\nK=17\r\n"))
        GTEST_SKIP() << "the Windows folder is not writable here";
    EXPECT_EQ(profile::ReadInt(user, "S", "K", 3), 17);
    EXPECT_EQ(profile::ReadInt(user, "S", "other", 3), 3);
    ASSERT_TRUE(profile::WriteInt(user, "S", "K", 5));
    EXPECT_EQ(profile::ReadInt(user, "S", "K", 3), 5);
    EXPECT_EQ(profile::ReadInt(legacy, "S", "K", 3), 17) << "the old file is unchanged";
    ASSERT_TRUE(profile::WriteInt(user, "S", "K", 0));
    EXPECT_EQ(profile::ReadInt(user, "S", "K", 3), 0) << "an existing per-user file wins even with 0";
    std::remove(user.c_str());
    std::remove(legacy.c_str());
}

} // namespace
