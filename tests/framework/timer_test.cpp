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
    auto start = [&](QWidget*) { dlg.SetTimer(kTimerId, 100); };
    ASSERT_EQ(RunModal(dlg, start, 6000), IDOK);
    EXPECT_EQ(boxes.seen, std::vector<std::string>{"test_framework: Tick box"}) << "the program's name";
    EXPECT_TRUE(ticksInBox >= 6 && ticksInBox <= 11) << ticksInBox << " ticks in about ten periods";
    EXPECT_EQ(maxDepth, 2) << "ticks inside the box re-enter the handler once";
    EXPECT_LE(ticksAfterClose, 3) << "no burst of stored ticks after the box closes";
    int atEnd = ticks; // the dialog ended with its timer running
    QTest::qWait(250);
    EXPECT_EQ(ticks, atEnd) << "the window's timers end with it";
    EXPECT_EQ(dlg.SetTimer(kTimerId, 100), 0u) << "no window, no timer";
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
        if (ticks.size() > 1) return;
        killed = d.KillTimer(3 - id) && d.KillTimer(id);
        killedAgain = d.KillTimer(id);
    };
    RunModal(dlg, [&](QWidget*) {
        dlg.SetTimer(1, 20);
        dlg.SetTimer(2, 20);
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
    EXPECT_TRUE(killed);
    EXPECT_FALSE(killedAgain);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(std::vector<UINT_PTR>(ticks.begin() + 1, ticks.end()), std::vector<UINT_PTR>(2, kTimerId));
}

// A dialog opened over the main window is owned by it, and the main window's ticks go on meanwhile.
// The application forgets its main window when that window ends, not when the nested one does.
TEST(Timer, TicksReachTheMainDialogWhileANestedModalDialogRuns) {
    CTestDlg main, nested;
    AfxGetApp()->m_pMainWnd = &main;
    int ticks = 0;
    main.onTimer = [&](CTestDlg&, UINT_PTR) { ++ticks; };
    RunModal(main, [&](QWidget*) {
        main.SetTimer(kTimerId, 50);
        RunModal(nested, [&](QWidget* w) {
            EXPECT_EQ(w->parentWidget(), AfxQtWidget(&main)) << "owned by the main window";
            QTest::qWait(500);
            nested.EndDialog(IDOK);
        });
        EXPECT_EQ(AfxGetApp()->m_pMainWnd, &main) << "another window ended";
        main.EndDialog(IDOK);
    });
    EXPECT_EQ(AfxGetApp()->m_pMainWnd, nullptr) << "forgotten with its window";
    EXPECT_GE(ticks, 5) << "about ten periods pass while the nested dialog runs";
}
