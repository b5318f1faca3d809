// The system menu, message boxes (the library's MessageBoxA too), icons and resources.
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

namespace {

// Waits for the system menu popup and chooses the item with access key `key`.
QStringList ChooseFromPopup(int key) {
    QStringList texts;
    if (!WaitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }))
        return texts;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QString("-") : a->text());
    QTest::keyClick(menu, static_cast<Qt::Key>(key));
    return texts;
}

// Opens the system menu with `open` (from inside the dialog's loop) and picks `key` in it.
QStringList PickFromSystemMenu(CTestDlg& dlg, const std::function<void(QWidget*)>& open, int key,
                               int* result) {
    QStringList texts;
    QTimer picker;
    picker.setSingleShot(true);
    QObject::connect(&picker, &QTimer::timeout, [&] { texts = ChooseFromPopup(key); });
    *result = RunModal(dlg, [&](QWidget* w) {
        picker.start(0); // the popup runs its own loop; choose from there
        open(w);
    });
    return texts;
}

} // namespace

TEST(SystemMenu, AltSpaceOpensItAndAnAppendedItemArrivesAsSysCommand) {
    CTestDlg dlg;
    int result = 0;
    QStringList texts = PickFromSystemMenu(
        dlg, [](QWidget* w) { QTest::keyClick(w, Qt::Key_Space, Qt::AltModifier); }, Qt::Key_A, &result);
    EXPECT_EQ(texts, QStringList({"&Close", "-", "&About Test..."}));
    EXPECT_EQ(result, static_cast<int>(IDM_TEST_ABOUT));
    EXPECT_EQ(dlg.sysCommands, std::vector<UINT>{IDM_TEST_ABOUT});
}

TEST(SystemMenu, RightClickOnTheBackgroundOpensItAndCloseCancels) {
    CTestDlg dlg;
    int result = 0;
    PickFromSystemMenu(
        dlg, [](QWidget* w) { QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, QPoint(150, 250)); },
        Qt::Key_C, &result);
    EXPECT_EQ(result, IDCANCEL) << "Close: SC_CLOSE, then WM_CLOSE, then IDCANCEL";
    EXPECT_EQ(dlg.sysCommands, std::vector<UINT>{SC_CLOSE});
}

TEST(SystemMenu, WithoutTheStringNoItemIsAppendedAndRevertRestores) {
    CTestDlg dlg;
    RunModal(dlg, [&](QWidget*) {
        EXPECT_EQ(dlg.GetSystemMenu(FALSE)->GetMenuItemCount(), 3);
        EXPECT_EQ(dlg.GetSystemMenu(TRUE), nullptr);
        EXPECT_EQ(dlg.GetSystemMenu(FALSE)->GetMenuItemCount(), 1);
        dlg.EndDialog(IDOK);
    });
}

TEST(MessageBox, AfxMessageBoxShowsTheProgramNameAndReturnsOk) {
    BoxCloser boxes;
    EXPECT_EQ(AfxMessageBox("No open port.", MB_OK), IDOK);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "No open port.");
    EXPECT_EQ(boxes.seen[0].caption, "test_framework");
}

TEST(MessageBox, TheLibrarysMessageBoxIsARealBoxOwnedByTheFocusWindow) {
    CTestDlg dlg;
    BoxCloser boxes;
    HWND focus = nullptr;
    int answer = 0;
    RunModal(dlg, [&](QWidget*) {
        WaitFor([] { return GetFocus() != nullptr; });
        focus = GetFocus();
        answer = MessageBoxA(focus, "Abstract operation called.", "Library Error", MB_OK);
        dlg.EndDialog(IDOK);
    });
    EXPECT_NE(focus, nullptr);
    EXPECT_EQ(answer, IDOK);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, "Library Error");
}

TEST(Icon, LoadIconGivesOneHandlePerResourceAndNullWhenMissing) {
    HICON icon = AfxGetApp()->LoadIcon(IDI_TEST);
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(AfxGetApp()->LoadIcon(IDI_TEST), icon);
    EXPECT_EQ(AfxGetApp()->LoadIcon(4242), nullptr);
}

TEST(Icon, SetIconKeepsBothSizes) {
    CTestDlg dlg;
    RunModal(dlg, [&](QWidget* w) {
        EXPECT_EQ(dlg.GetIcon(TRUE), AfxGetApp()->LoadIcon(IDI_TEST));
        EXPECT_EQ(dlg.GetIcon(FALSE), AfxGetApp()->LoadIcon(IDI_TEST));
        QList<QSize> sizes = w->windowIcon().availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(32, 32)));
        EXPECT_TRUE(sizes.contains(QSize(16, 16)));
        dlg.EndDialog(IDOK);
    });
}

TEST(Resources, MissingTemplateMakesDoModalFail) {
    CDialog dlg(4711);
    EXPECT_EQ(dlg.DoModal(), -1);
}

TEST(Resources, StringsLoadAndMissingOnesAreEmpty) {
    CString s;
    EXPECT_TRUE(s.LoadString(IDS_TEST_ABOUT));
    EXPECT_EQ(s, "&About Test...");
    EXPECT_FALSE(s.LoadString(4711));
    EXPECT_TRUE(s.IsEmpty());
}

TEST(App, WinMainCallsInitInstanceOnceAndEndsWhenItReturnsFalse) {
    struct CountingApp : CWinApp {
        int inits = 0;
        BOOL InitInstance() override {
            ++inits;
            return FALSE;
        }
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
