// The system menu, resources and the application's start.
#include "helpers.h"
#include "test_dialog.h"

#include <QWindow>

#include <tuple>

// Alt+Space (from any control, reaching none) or a right-click on the background opens the menu;
// About ends the test dialog, Close is SC_CLOSE, then WM_CLOSE, then IDCANCEL.
TEST(SystemMenu, TheChosenItemArrivesAsSysCommand) {
    const std::tuple<int, Qt::Key, int, UINT> rows[] = {
        // focus, key in the menu, result, command
        {0, Qt::Key_C, IDCANCEL, SC_CLOSE}, // focus 0: a right-click instead of Alt+Space
        {IDOK, Qt::Key_A, IDM_TEST_ABOUT, IDM_TEST_ABOUT},
        {IDC_NAME, Qt::Key_A, IDM_TEST_ABOUT, IDM_TEST_ABOUT},
        {IDC_ONE, Qt::Key_A, IDM_TEST_ABOUT, IDM_TEST_ABOUT}};
    for (auto [focus, key, expected, command] : rows) {
        SCOPED_TRACE(testing::Message() << "focus on control " << focus);
        CTestDlg dlg;
        MenuChooser chooser(key);
        CString name;
        UINT checked = BST_CHECKED;
        int result = RunModal(dlg, [&, focus = focus](QWidget* w) { // Clang 14 captures no binding
            if (focus == 0)
                return QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, QPoint(150, 250));
            AfxQtControl(&dlg, focus)->setFocus();
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return QApplication::focusWidget() == AfxQtControl(&dlg, focus); }));
            QTest::keyClick(w->windowHandle(), Qt::Key_Space, Qt::AltModifier); // to the focused control
            dlg.GetDlgItemText(IDC_NAME, name);
            checked = dlg.IsDlgButtonChecked(IDC_ONE);
        });
        EXPECT_EQ(chooser.texts, QStringList({"&Close", "-", "&About Test..."}));
        EXPECT_EQ(result, expected);
        EXPECT_EQ(dlg.sysCommands, std::vector<UINT>{command});
        if (focus == 0) continue;
        EXPECT_EQ(name, "start") << "no space typed into the field";
        EXPECT_EQ(checked, UINT{BST_UNCHECKED}) << "the radio button was not checked";
    }
}

TEST(Resources, IconsLoadOnceAndMissingResourcesFailPlainly) {
    EXPECT_NE(AfxGetApp()->LoadIcon(IDI_TEST), nullptr);
    EXPECT_EQ(AfxGetApp()->LoadIcon(IDI_TEST), AfxGetApp()->LoadIcon(IDI_TEST)) << "one handle per resource";
    EXPECT_EQ(AfxGetApp()->LoadIcon(4242), nullptr);
    CString s;
    EXPECT_TRUE(s.LoadString(IDS_TEST_ABOUT));
    EXPECT_FALSE(s.LoadString(4711));
    EXPECT_TRUE(s.IsEmpty());
}

// A main window whose template is missing (its resource file was not linked in) fails the program
// visibly: one line on stderr names the template, and the exit code is 1 although ExitInstance says 0
// (otherwise the code is ExitInstance's).
// InitInstance runs once; its FALSE ends the program; the earlier application object is back after.
TEST(App, AMissingMainWindowTemplateIsNamedOnStderrAndFailsTheProgram) {
    struct DialogApp : CWinApp {
        bool missing = false;
        INT_PTR result = 0;
        int inits = 0;
        BOOL InitInstance() override {
            ++inits;
            CDialog dlg(missing ? 4711u : UINT{IDD_TEST});
            m_pMainWnd = &dlg;
            result = RunModal(dlg, [&dlg](QWidget*) { dlg.EndDialog(IDOK); });
            return FALSE;
        }
        int ExitInstance() override { return missing ? 0 : 7; }
    };
    const char* line =
        "test_framework: dialog template 4711 is not registered (its resource file was not linked in)\n";
    CWinApp* previous = AfxGetApp();
    for (bool missing : {true, false}) {
        SCOPED_TRACE(missing ? "missing" : "registered");
        DialogApp app;
        app.missing = missing;
        char name[] = "korvane";
        char* argv[] = {name, nullptr};
        testing::internal::CaptureStderr();
        int code = AfxWinMain(1, argv);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, missing ? 1 : 7) << "ExitInstance's code, 1 for a failed main window";
        EXPECT_EQ(app.inits, 1);
        EXPECT_EQ(app.result, missing ? -1 : IDOK);
        EXPECT_EQ(said.find(line) != std::string::npos, missing) << said;
    }
    EXPECT_EQ(AfxGetApp(), previous) << "the earlier application object is back";
}

// The main window is also forgotten when its object dies (here one that never had a window), so a
// box shown afterwards, owned by no window, reads no dead object.
TEST(App, TheMainWindowIsForgottenWithItsObject) {
    {
        CTestDlg main;
        AfxGetApp()->m_pMainWnd = &main;
    }
    EXPECT_EQ(AfxGetApp()->m_pMainWnd, nullptr);
    BoxCloser boxes;
    QObject scope; // time limit: a box that Return leaves open is closed
    QTimer::singleShot(3000, &scope, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->done(QMessageBox::Ok);
    });
    EXPECT_EQ(AfxMessageBox("After the main window", MB_OK), IDOK);
    EXPECT_EQ(boxes.seen, std::vector<std::string>{"test_framework: After the main window"});
}
