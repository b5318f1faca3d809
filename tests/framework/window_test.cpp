// The system menu, the library's message box, resources and the application's start.
#include "helpers.h"
#include "test_dialog.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QWindow>

#include <win32_posix.h>

#include <qt/qt_access.h>

#include <gtest/gtest.h>

// Alt+Space and a right-click on the background open the system menu; the chosen item arrives as
// WM_SYSCOMMAND (About ends the test dialog; Close is SC_CLOSE, then WM_CLOSE, then IDCANCEL).
TEST(SystemMenu, TheChosenItemArrivesAsSysCommand) {
    for (bool rightClick : {false, true}) {
        SCOPED_TRACE(rightClick ? "right-click, Close" : "Alt+Space, About");
        CTestDlg dlg;
        QStringList texts;
        int result = RunModal(dlg, [&](QWidget* w) {
            QTimer::singleShot(0, [&] { // the popup runs its own loop: choose from there
                if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; })) return;
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QString("-") : a->text());
                QTest::keyClick(menu, rightClick ? Qt::Key_C : Qt::Key_A);
            });
            if (rightClick) QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, QPoint(150, 250));
            if (!rightClick) QTest::keyClick(w, Qt::Key_Space, Qt::AltModifier);
        });
        EXPECT_EQ(texts, QStringList({"&Close", "-", "&About Test..."}));
        EXPECT_EQ(result, rightClick ? IDCANCEL : static_cast<int>(IDM_TEST_ABOUT));
        EXPECT_EQ(dlg.sysCommands, std::vector<UINT>{rightClick ? UINT{SC_CLOSE} : UINT{IDM_TEST_ABOUT}});
    }
}

TEST(MessageBox, TheLibrarysMessageBoxIsARealBoxOwnedByTheFocusWindow) {
    CTestDlg dlg;
    BoxCloser boxes;
    int result = RunModal(dlg, [&](QWidget*) {
        EXPECT_TRUE(QTest::qWaitFor([] { return GetFocus() != nullptr; }));
        EXPECT_EQ(MessageBoxA(GetFocus(), "Abstract operation called.", "Library Error", MB_OK), IDOK);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(boxes.seen, std::vector<std::string>{"Library Error: Abstract operation called."});
}

TEST(Resources, IconsLoadOnceAndMissingResourcesFailPlainly) {
    EXPECT_NE(AfxGetApp()->LoadIcon(IDI_TEST), nullptr);
    EXPECT_EQ(AfxGetApp()->LoadIcon(IDI_TEST), AfxGetApp()->LoadIcon(IDI_TEST)) << "one handle per resource";
    EXPECT_EQ(AfxGetApp()->LoadIcon(4242), nullptr);
    EXPECT_EQ(CDialog(4711).DoModal(), -1);
    CString s;
    EXPECT_TRUE(s.LoadString(IDS_TEST_ABOUT));
    EXPECT_FALSE(s.LoadString(4711));
    EXPECT_TRUE(s.IsEmpty());
}

TEST(App, WinMainCallsInitInstanceOnceAndEndsWhenItReturnsFalse) {
    struct CountingApp : CWinApp {
        int inits = 0;
        BOOL InitInstance() override { return ++inits, FALSE; }
        int ExitInstance() override { return 7; }
    };
    CWinApp* previous = AfxGetApp();
    {
        CountingApp app;
        char name[] = "korvane";
        char* argv[] = {name, nullptr};
        EXPECT_EQ(AfxWinMain(1, argv), 7);
        EXPECT_EQ(app.inits, 1);
    }
    EXPECT_EQ(AfxGetApp(), previous) << "the earlier application object is back";
}
