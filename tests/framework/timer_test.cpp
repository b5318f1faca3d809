// Window timers: delivery through nested loops, no pile-up, KillTimer, an end with the window.
#include "helpers.h"
#include "test_dialog.h"

constexpr UINT_PTR kTimerId = 100;

TEST(Timer, TicksKeepArrivingWhileAMessageBoxIsOpenDoNotPileUpAndEndWithTheWindow) {
    CTestDlg dlg;
    BoxCloser boxes(1000); // the box stays open for a second
    int ticks = 0, ticksInBox = 0, depth = 0, maxDepth = 0, ticksAfterClose = 0;
    QElapsedTimer sinceClose;
    dlg.onTimer = [&](CTestDlg& d, UINT_PTR id) {
        EXPECT_EQ(id, kTimerId);
        maxDepth = std::max(maxDepth, ++depth);
        ticksInBox += depth > 1;
        if (sinceClose.isValid() && sinceClose.elapsed() <= 250) ++ticksAfterClose;
        if (++ticks == 1) {
            EXPECT_EQ(AfxMessageBox("Tick box", MB_OK), IDOK);
            sinceClose.start();
        }
        if (sinceClose.isValid() && sinceClose.elapsed() > 600) d.EndDialog(IDOK);
        --depth;
    };
    ASSERT_EQ(RunModal(
                  dlg, [&](QWidget*) { dlg.SetTimer(kTimerId, 100); }, 6000),
              IDOK);
    const int atEnd = ticks; // the dialog ended with its timer running
    QTest::qWait(250);
    // About ten periods in the box, which re-enter the handler once; no burst of stored ticks after
    // it closes; the window's timers end with it, and without a window there is no timer.
    EXPECT_EQ(
        (std::tuple{boxes.seen, ticksInBox >= 6 && ticksInBox <= 11, maxDepth, ticksAfterClose <= 3, ticks,
                    dlg.SetTimer(kTimerId, 100)}),
        (std::tuple{std::vector<std::string>{"test_framework: Tick box"}, true, 2, true, atEnd, UINT_PTR{0}}))
        << ticksInBox << " ticks in the box, " << ticksAfterClose << " after it";
}

// Timers 1 and 2 fall due while the loop is blocked, so a tick of each waits; the first one handled
// kills both, and the other's waiting tick must not arrive. Then, as on Windows, at most one tick of
// a timer waits: Qt's loops never let a second period end before a waiting tick is handled, so the
// test ends three periods itself; they make one tick, and the next period after it another.
TEST(Timer, KillTimerDropsAWaitingTickAndPeriodsEndingWhileOneWaitsAddNone) {
    CTestDlg dlg;
    std::vector<UINT_PTR> ticks;
    BOOL killed = FALSE, killedAgain = TRUE;
    dlg.onTimer = [&](CTestDlg& d, UINT_PTR id) {
        ticks.push_back(id);
        if (ticks.size() == 1) killed = d.KillTimer(3 - id) && d.KillTimer(id), killedAgain = d.KillTimer(id);
    };
    RunModal(dlg, [&](QWidget*) {
        dlg.SetTimer(1, 20), dlg.SetTimer(2, 20);
        Sleep(100);
        QTest::qWait(300);
        EXPECT_EQ(ticks.size(), 1u);
        dlg.SetTimer(kTimerId, 60000);
        QTimer* period = AfxQtTimer(&dlg, kTimerId);
        for (int ends : {3, 1}) {
            for (int i = 0; i < ends; ++i) {
                QTimerEvent end(period->timerId());
                QCoreApplication::sendEvent(period, &end);
            }
            QTest::qWait(50);
        }
        dlg.EndDialog(IDOK);
    });
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(std::tuple(killed, killedAgain, ticks[1], ticks[2]),
              std::tuple(TRUE, FALSE, kTimerId, kTimerId));
}
