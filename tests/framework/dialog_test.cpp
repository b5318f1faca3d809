// Dialogs from templates: geometry, font, tab order, keys, data exchange.
#include "helpers.h"
#include "test_dialog.h"

namespace {

QLineEdit* Edit(const CWnd& dlg, int id) {
    return qobject_cast<QLineEdit*>(AfxQtControl(&dlg, id));
}

// Into the active window only: keys sent while the activation is on its way can lose the selection.
void TypeInto(const CWnd& dlg, int id, const char* text) {
    EXPECT_TRUE(QTest::qWaitForWindowActive(Edit(dlg, id)->window()));
    Edit(dlg, id)->setFocus();
    Edit(dlg, id)->selectAll();
    QTest::keyClicks(Edit(dlg, id), QString::fromUtf8(text));
}

// Claims command IDCANCEL (the Stop button, Escape, the close box) for its own handler.
struct CClaimingDlg : CTestDlg {
    int stops = 0;
    const MessageMap* GetMessageMap() const override {
        static const MessageMapEntry entries[] = {CommandEntry(IDCANCEL, &CClaimingDlg::OnStop)};
        static const MessageMap map{CTestDlg::ThisMessageMap(), entries};
        return &map;
    }
    void OnStop() { ++stops; }
};

} // namespace

// Tab order through the tab stops (no radio button); 239x199 DLU at 6x13 base units, fixed (no
// WS_THICKFRAME), OK at 182,7,50,14 DLU and the number at 75,7,40,14 DLU; '&' marks an access key and
// is not shown; the icon set big and small in OnInitDialog. Then the library's own box (a real box
// over the focus window) and OK's refusal keep the dialog open; the refused field is focused and
// selected; Enter in the corrected field clicks the default button, and every field is saved.
TEST(Dialog, BuildsTheTemplateInPixelsTabsThroughTabStopsExchangesDataAndRefusesABadNumber) {
    CTestDlg dlg;
    BoxCloser boxes;
    dlg.m_nChoice = 2;
    bool visibleInInit = true;
    dlg.onInit = [&](CTestDlg& d) { visibleInInit = d.IsWindowVisible(); };
    int result = RunModal(dlg, [&](QWidget* w) {
        FocusReaches(dlg, IDOK); // the first tab stop, once the dialog is active (checked below)
        std::vector<QWidget*> focus{QApplication::focusWidget()};
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            focus.push_back(QApplication::focusWidget());
        }
        const auto controls = [&](std::vector<int> ids) {
            std::vector<QWidget*> widgets;
            for (int id : ids) widgets.push_back(AfxQtControl(&dlg, id));
            return widgets;
        };
        EXPECT_EQ(focus, controls({IDOK, IDC_NUMBER, IDC_NAME, IDC_INFO, IDCANCEL, IDOK}));
        CRect client;
        dlg.GetClientRect(client);
        QStringList labels;
        for (QLabel* l : w->findChildren<QLabel*>()) labels << l->text();
        const HICON icon = AfxGetApp()->LoadIcon(IDI_TEST);
        const auto button = [&](int id) { return qobject_cast<QPushButton*>(AfxQtControl(&dlg, id)); };
        EXPECT_EQ(
            (std::tuple{w->size(), QSize(client.Width(), client.Height()), w->maximumSize(),
                        AfxQtControl(&dlg, IDOK)->geometry(), AfxQtControl(&dlg, IDC_NUMBER)->geometry(),
                        QFontInfo(Edit(dlg, IDC_NAME)->font()).family().toStdString(),
                        w->windowTitle().toStdString(), labels.contains("Number:"),
                        w->windowIcon().availableSizes(),
                        dlg.GetIcon(TRUE) == icon && dlg.GetIcon(FALSE) == icon,
                        bool(w->windowFlags() & Qt::WindowMinMaxButtonsHint)}),
            (std::tuple{QSize(359, 323), QSize(359, 323), QSize(359, 323), QRect(273, 11, 75, 23),
                        QRect(113, 11, 60, 23), std::string("MS Sans Serif"), std::string("Framework Test"),
                        true, QList<QSize>{QSize(16, 16), QSize(32, 32)}, true, false}));
        EXPECT_EQ((std::vector<bool>{button(IDOK)->isDefault(), button(IDCANCEL)->isDefault(),
                                     Edit(dlg, IDC_NAME)->hasFrame(), Edit(dlg, IDC_NAME)->isReadOnly(),
                                     Edit(dlg, IDC_INFO)->hasFrame(), Edit(dlg, IDC_INFO)->isReadOnly(),
                                     dlg.IsDlgButtonChecked(IDC_THREE) == BST_CHECKED}),
                  (std::vector<bool>{true, false, true, false, false, true, true}))
            << "default button, frames and read-only fields, the radio of m_nChoice";
        dlg.m_nChoice = -1; // none checked
        dlg.UpdateData(FALSE);
        dlg.UpdateData(TRUE);
        EXPECT_EQ(dlg.m_nChoice, -1);
        for (QWidget* radio : controls({IDC_ONE, IDC_TWO})) // reacts on its indicator
            QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(5, radio->height() / 2));
        TypeInto(dlg, IDC_NAME, "kept");
        EXPECT_EQ(MessageBoxA(GetFocus(), "Abstract operation called.", "Library Error", MB_OK), IDOK);
        TypeInto(dlg, IDC_NUMBER, "12a");
        QTest::mouseClick(AfxQtControl(&dlg, IDOK), Qt::LeftButton);
        // The focus comes back once the box has gone and the dialog is active.
        EXPECT_EQ(std::tuple(w->isVisible(), dlg.m_nNumber, FocusReaches(dlg, IDC_NUMBER),
                             Edit(dlg, IDC_NUMBER)->selectedText().toStdString()),
                  std::tuple(true, 3, true, "12a"))
            << "a refused field leaves its member alone";
        TypeInto(dlg, IDC_NUMBER, " -5 ");
        QTest::keyClick(Edit(dlg, IDC_NUMBER), Qt::Key_Return);
    });
    // Clicking Two unchecks One (one group).
    EXPECT_EQ(
        (std::tuple{result, visibleInInit, dlg.m_nChoice, dlg.m_strName.Str(), dlg.m_nNumber, boxes.seen}),
        (std::tuple{IDOK, false, 1, std::string("kept"), -5,
                    std::vector<std::string>{"Library Error: Abstract operation called.",
                                             "test_framework: Please enter an integer."}}));
    CTestDlg ended; // ended inside OnInitDialog: never shown, no loop left waiting
    ended.onInit = [](CTestDlg& d) { d.EndDialog(42); };
    EXPECT_EQ(std::tuple(ended.DoModal(), ended.m_hWnd), std::tuple(42, nullptr));
}

// The base's OnCancel ends the dialog without exchanging data, unless the dialog's map claims id 2.
TEST(Dialog, EscapeCloseBoxAndStopButtonSendIdTwoToOnCancelOrTheClaimingHandler) {
    enum Way { Escape, CloseBox, StopButton };
    for (Way way : {Escape, CloseBox, StopButton})
        for (bool claimed : {false, true}) {
            CClaimingDlg claiming;
            CTestDlg plain;
            CTestDlg& dlg = claimed ? claiming : plain;
            bool visible = false;
            int result = RunModal(dlg, [&](QWidget* w) {
                TypeInto(dlg, IDC_NAME, "dropped");
                if (way == Escape) QTest::keyClick(Edit(dlg, IDC_NAME), Qt::Key_Escape); // the focus is there
                if (way == CloseBox) w->close();
                if (way == StopButton) QTest::mouseClick(AfxQtControl(&dlg, IDCANCEL), Qt::LeftButton);
                visible = w->isVisible(); // the claiming handler does not end the dialog
                if (claimed) dlg.EndDialog(7);
            });
            EXPECT_EQ((std::tuple{result, visible, claiming.stops, dlg.m_strName.Str(), dlg.sysCommands}),
                      (std::tuple{claimed ? 7 : IDCANCEL, claimed, claimed ? 1 : 0, std::string("start"),
                                  way == CloseBox ? std::vector<UINT>{SC_CLOSE} : std::vector<UINT>{}}))
                << "way " << way << ", claimed " << claimed;
        }
}
