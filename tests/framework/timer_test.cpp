// Window timers: delivery through nested loops, no pile-up, KillTimer.
#include "helpers.h"
#include "test_dialog.h"

#include <QElapsedTimer>
#include <QWidget>

#include <qt/qt_access.h>

#include <gtest/gtest.h>

namespace {

constexpr UINT_PTR kTimerId = 100;
constexpr UINT kPeriodMs = 100;

} // namespace

TEST(Timer, TicksKeepArrivingWhileAMessageBoxIsOpenAndDoNotPileUpAfterwards) {
    CTestDlg dlg;
    BoxCloser boxes(1000); // the box stays open for a second
    int ticks = 0, ticksInBox = 0, depth = 0, maxDepth = 0;
    QElapsedTimer sinceClose;
    int ticksAfterClose = 0;
    dlg.onTimer = [&](CTestDlg& d, UINT_PTR id) {
        EXPECT_EQ(id, kTimerId);
        ++ticks;
        if (depth > 0) ++ticksInBox;
        if (sinceClose.isValid() && sinceClose.elapsed() <= 250) ++ticksAfterClose;
        if (ticks == 1) {
            maxDepth = std::max(maxDepth, ++depth);
            AfxMessageBox("Tick box", MB_OK);
            --depth;
            sinceClose.start();
        } else if (depth > 0) {
            maxDepth = std::max(maxDepth, depth + 1);
        }
        if (sinceClose.isValid() && sinceClose.elapsed() > 600) d.EndDialog(IDOK);
    };
    int result = RunModal(
        dlg, [&](QWidget*) { dlg.SetTimer(kTimerId, kPeriodMs); }, 6000);
    ASSERT_EQ(result, IDOK);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_GE(ticksInBox, 6) << "about ten periods pass while the box is open";
    EXPECT_LE(ticksInBox, 11);
    EXPECT_EQ(maxDepth, 2) << "ticks inside the box re-enter the handler once";
    EXPECT_LE(ticksAfterClose, 3) << "no burst of stored ticks after the box closes";
}

TEST(Timer, ABlockedLoopGetsOneTickNotOnePerPeriod) {
    CTestDlg dlg;
    int ticks = 0;
    QElapsedTimer sinceBlock;
    int ticksRightAfterBlock = 0;
    dlg.onTimer = [&](CTestDlg& d, UINT_PTR) {
        ++ticks;
        if (sinceBlock.isValid() && sinceBlock.elapsed() < 60) ++ticksRightAfterBlock;
        if (ticks == 2) {
            Sleep(650); // six periods without a message loop
            sinceBlock.start();
        }
        if (ticks == 5) d.EndDialog(IDOK);
    };
    RunModal(dlg, [&](QWidget*) { dlg.SetTimer(kTimerId, kPeriodMs); });
    EXPECT_EQ(ticks, 5);
    EXPECT_LE(ticksRightAfterBlock, 1);
}

TEST(Timer, KillTimerStopsTicksAndDropsOneWaiting) {
    CTestDlg dlg;
    int ticks = 0;
    BOOL killed = FALSE, killedAgain = TRUE;
    dlg.onTimer = [&](CTestDlg& d, UINT_PTR id) {
        ++ticks;
        if (ticks == 3) {
            Sleep(250); // a period passes: its tick would be waiting
            killed = d.KillTimer(id);
            killedAgain = d.KillTimer(id);
        }
    };
    int ticksWhenKilled = 0;
    RunModal(dlg, [&](QWidget*) {
        dlg.SetTimer(kTimerId, 50);
        WaitFor([&] { return killed == TRUE; });
        ticksWhenKilled = ticks;
        WaitFor([] { return false; }, 400);
        dlg.EndDialog(IDOK);
    });
    EXPECT_TRUE(killed);
    EXPECT_FALSE(killedAgain);
    EXPECT_EQ(ticksWhenKilled, 3);
    EXPECT_EQ(ticks, 3);
}

TEST(Timer, DestroyingTheWindowStopsItsTimers) {
    CTestDlg dlg;
    int ticks = 0;
    dlg.onTimer = [&](CTestDlg&, UINT_PTR) { ++ticks; };
    RunModal(dlg, [&](QWidget*) {
        dlg.SetTimer(1, 20);
        WaitFor([&] { return ticks > 0; });
        dlg.EndDialog(IDOK);
    });
    int atEnd = ticks;
    WaitFor([] { return false; }, 150);
    EXPECT_EQ(ticks, atEnd);
    EXPECT_EQ(dlg.SetTimer(1, 20), 0u) << "no window, no timer";
}

TEST(Timer, TicksReachTheMainDialogWhileANestedModalDialogRuns) {
    CTestDlg main;
    AfxGetApp()->m_pMainWnd = &main;
    int ticks = 0, ticksDuringNested = 0;
    bool nestedOwnedByMain = false;
    bool inNested = false;
    main.onTimer = [&](CTestDlg& d, UINT_PTR) {
        ++ticks;
        if (inNested) ++ticksDuringNested;
        if (ticks != 1) return;
        CTestDlg nested;
        inNested = true;
        RunModal(nested, [&](QWidget* w) {
            nestedOwnedByMain = w->parentWidget() == AfxQtWidget(&main);
            WaitFor([] { return false; }, 500);
            nested.EndDialog(IDOK);
        });
        inNested = false;
        d.EndDialog(IDOK);
    };
    int result = RunModal(main, [&](QWidget*) { main.SetTimer(kTimerId, 50); });
    AfxGetApp()->m_pMainWnd = nullptr;
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(nestedOwnedByMain) << "a dialog without a parent belongs to the shown main window";
    EXPECT_GE(ticksDuringNested, 5) << "about ten periods pass while the nested dialog runs";
}
