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

// A dialog opened over the main window is owned by it, and the main window's ticks go on meanwhile.
// The application forgets its main window when that window ends, not when the nested one does, and
// also when its object dies (one that never had a window), so that a later box reads no dead object.
TEST(Timer, TicksReachTheMainDialogWhileANestedModalDialogRuns) {
    CTestDlg main, nested;
    AfxGetApp()->m_pMainWnd = &main;
    int ticks = 0;
    bool owned = false;
    CWnd* mainAfterNested = nullptr;
    main.onTimer = [&](CTestDlg&, UINT_PTR) { ++ticks; };
    RunModal(main, [&](QWidget*) {
        main.SetTimer(kTimerId, 50);
        RunModal(nested, [&](QWidget* w) {
            owned = w->parentWidget() == AfxQtWidget(&main), QTest::qWait(500), nested.EndDialog(IDOK);
        });
        mainAfterNested = AfxGetApp()->m_pMainWnd, main.EndDialog(IDOK);
    });
    EXPECT_EQ((std::tuple{owned, mainAfterNested, AfxGetApp()->m_pMainWnd, ticks >= 5}),
              (std::tuple{true, static_cast<CWnd*>(&main), static_cast<CWnd*>(nullptr), true}))
        << ticks << " ticks in about ten periods";
    {
        CTestDlg gone;
        AfxGetApp()->m_pMainWnd = &gone;
    }
    EXPECT_EQ(AfxGetApp()->m_pMainWnd, nullptr) << "forgotten with its object";
}
