// The system menu and the application's start.
#include "helpers.h"
#include "test_dialog.h"

// Alt+Space (from any control, reaching none) or a right-click on the background (focus 0) opens the
// menu; About ends the test dialog, Close is SC_CLOSE, then WM_CLOSE, then IDCANCEL.
TEST(SystemMenu, TheChosenItemArrivesAsSysCommand) {
    const std::tuple<int, Qt::Key, UINT> rows[] = {{0, Qt::Key_C, SC_CLOSE},
                                                   {IDOK, Qt::Key_A, IDM_TEST_ABOUT},
                                                   {IDC_NAME, Qt::Key_A, IDM_TEST_ABOUT},
                                                   {IDC_ONE, Qt::Key_A, IDM_TEST_ABOUT}};
    for (auto [focus, key, command] : rows) {
        CTestDlg dlg;
        MenuChooser chooser(key);
        CString name = "start";
        UINT checked = BST_UNCHECKED;
        int result = RunModal(dlg, [&, focus = focus](QWidget* w) { // Clang 14 captures no binding
            if (focus == 0)
                return QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, QPoint(150, 250));
            AfxQtControl(&dlg, focus)->setFocus();
            ASSERT_TRUE(FocusReaches(dlg, focus));
            QTest::keyClick(w->windowHandle(), Qt::Key_Space, Qt::AltModifier); // to the focused control
            dlg.GetDlgItemText(IDC_NAME, name), checked = dlg.IsDlgButtonChecked(IDC_ONE);
        });
        // No space typed into the field, the radio button not checked.
        EXPECT_EQ((std::tuple{chooser.texts, result, dlg.sysCommands, name.Str(), checked}),
                  (std::tuple{QStringList({"&Close", "-", "&About Test..."}),
                              command == SC_CLOSE ? IDCANCEL : int{IDM_TEST_ABOUT},
                              std::vector<UINT>{command}, std::string("start"), UINT{BST_UNCHECKED}}))
            << "focus on control " << focus;
    }
}

// A main window whose template is missing (its resource file was not linked in) fails the program
// visibly: one line on stderr names the template, and the exit code is 1 although ExitInstance says 0
// (otherwise the code is ExitInstance's). InitInstance runs once; its FALSE ends the program; the
// earlier application object is back after.
TEST(App, AMissingMainWindowTemplateIsNamedOnStderrAndFailsTheProgram) {
    struct DialogApp : CWinApp {
        bool missing = false;
        INT_PTR result = 0;
        int inits = 0;
        BOOL InitInstance() override {
            CDialog dlg(missing ? 4711u : UINT{IDD_TEST});
            m_pMainWnd = &dlg;
            result = RunModal(dlg, [&dlg](QWidget*) { dlg.EndDialog(IDOK); }), ++inits;
            return FALSE;
        }
        int ExitInstance() override { return missing ? 0 : 7; }
    };
    const std::string line =
        "test_framework: dialog template 4711 is not registered (its resource file was not linked in)\n";
    CWinApp* previous = AfxGetApp();
    for (bool missing : {true, false}) {
        DialogApp app;
        app.missing = missing;
        char name[] = "korvane";
        char* argv[] = {name, nullptr};
        testing::internal::CaptureStderr();
        const int code = AfxWinMain(1, argv);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ((std::tuple{code, app.inits, app.result, said.find(line) != std::string::npos}),
                  (std::tuple{missing ? 1 : 7, 1, missing ? INT_PTR{-1} : INT_PTR{IDOK}, missing}))
            << said;
    }
    ASSERT_EQ(AfxGetApp(), previous) << "the earlier application object is back";
    {
        CTestDlg gone; // a main window that dies before it ever ran: a later box reads no dead object
        AfxGetApp()->m_pMainWnd = &gone;
    }
    EXPECT_EQ(AfxGetApp()->m_pMainWnd, nullptr) << "forgotten with its object";
}
