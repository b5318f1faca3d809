// Dialogs from templates: geometry, font, tab order, keys, close box, data exchange.
#include "helpers.h"
#include "test_dialog.h"

#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const auto Edit = [](const CWnd& dlg, int id) { return qobject_cast<QLineEdit*>(AfxQtControl(&dlg, id)); };

// Into the active window only: keys sent while the activation is on its way can lose the selection.
void TypeInto(const CWnd& dlg, int id, const char* text) {
    QLineEdit* edit = Edit(dlg, id);
    EXPECT_TRUE(QTest::qWaitForWindowActive(edit->window()));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromUtf8(text));
}

bool FocusReaches(const CWnd& dlg, int id) {
    return QTest::qWaitFor([&] { return QApplication::focusWidget() == AfxQtControl(&dlg, id); });
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

// Then the library's own box (a real box over the focus window) and OK's refusal keep the dialog
// open; the refused field is focused and selected; Enter in the corrected field clicks the default
// button, and every field is saved.
TEST(Dialog, BuildsTheTemplateInPixelsTabsThroughTabStopsExchangesDataAndRefusesABadNumber) {
    CTestDlg dlg;
    BoxCloser boxes;
    dlg.m_nChoice = 2;
    bool visibleInInit = true;
    dlg.onInit = [&](CTestDlg& d) { visibleInInit = d.IsWindowVisible(); };
    int result = RunModal(dlg, [&](QWidget* w) {
        EXPECT_TRUE(FocusReaches(dlg, IDOK)) << "the first tab stop";
        for (int id : {int{IDC_NUMBER}, int{IDC_NAME}, int{IDC_INFO}, IDCANCEL, IDOK}) { // no radio button
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), AfxQtControl(&dlg, id)) << "control " << id;
        }
        EXPECT_EQ(QFontInfo(Edit(dlg, IDC_NAME)->font()).family().toStdString(), "MS Sans Serif");
        EXPECT_EQ(w->size(), QSize(359, 323)); // 239x199 DLU at 6x13 base units
        EXPECT_EQ(AfxQtControl(&dlg, IDOK)->geometry(), QRect(273, 11, 75, 23));       // 182,7,50,14 DLU
        EXPECT_EQ(AfxQtControl(&dlg, IDC_NUMBER)->geometry(), QRect(113, 11, 60, 23)); // 75,7,40,14 DLU
        CRect client;
        dlg.GetClientRect(client);
        EXPECT_EQ(QSize(client.Width(), client.Height()), w->size());
        EXPECT_FALSE(w->windowFlags() & Qt::WindowMinMaxButtonsHint);
        EXPECT_EQ(w->minimumSize(), w->maximumSize()); // fixed size: no WS_THICKFRAME
        EXPECT_EQ(w->windowTitle().toStdString(), "Framework Test");
        EXPECT_TRUE(qobject_cast<QPushButton*>(AfxQtControl(&dlg, IDOK))->isDefault());
        EXPECT_FALSE(qobject_cast<QPushButton*>(AfxQtControl(&dlg, IDCANCEL))->isDefault());
        EXPECT_TRUE(Edit(dlg, IDC_NAME)->hasFrame() && !Edit(dlg, IDC_NAME)->isReadOnly());
        EXPECT_TRUE(!Edit(dlg, IDC_INFO)->hasFrame() && Edit(dlg, IDC_INFO)->isReadOnly());
        QStringList labels;
        for (QLabel* l : w->findChildren<QLabel*>()) labels << l->text();
        EXPECT_TRUE(labels.contains("Number:"));      // '&' marks the access key and is not shown
        HICON icon = AfxGetApp()->LoadIcon(IDI_TEST); // set as big and small icon in OnInitDialog
        EXPECT_TRUE(dlg.GetIcon(TRUE) == icon && dlg.GetIcon(FALSE) == icon);
        QList<QSize> sizes = w->windowIcon().availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(16, 16)));
        EXPECT_TRUE(dlg.IsDlgButtonChecked(IDC_THREE) == BST_CHECKED);
        dlg.m_nChoice = -1; // none checked
        dlg.UpdateData(FALSE);
        dlg.UpdateData(TRUE);
        EXPECT_EQ(dlg.m_nChoice, -1);
        for (int id : {IDC_ONE, IDC_TWO}) {
            QWidget* radio = AfxQtControl(&dlg, id); // reacts on its indicator
            QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(5, radio->height() / 2));
        }
        TypeInto(dlg, IDC_NAME, "kept");
        EXPECT_EQ(MessageBoxA(GetFocus(), "Abstract operation called.", "Library Error", MB_OK), IDOK);
        TypeInto(dlg, IDC_NUMBER, "12a");
        QTest::mouseClick(AfxQtControl(&dlg, IDOK), Qt::LeftButton);
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(dlg.m_nNumber, 3) << "a refused field leaves its member alone";
        EXPECT_TRUE(FocusReaches(dlg, IDC_NUMBER)); // once the box has gone and the dialog is active
        EXPECT_EQ(Edit(dlg, IDC_NUMBER)->selectedText().toStdString(), "12a");
        TypeInto(dlg, IDC_NUMBER, " -5 ");
        QTest::keyClick(Edit(dlg, IDC_NUMBER), Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(visibleInInit);
    EXPECT_EQ(boxes.seen, (std::vector<std::string>{"Library Error: Abstract operation called.",
                                                    "test_framework: Please enter an integer."}));
    EXPECT_EQ(dlg.m_nChoice, 1) << "clicking Two unchecks One (one group)";
    EXPECT_EQ(dlg.m_strName, "kept");
    EXPECT_EQ(dlg.m_nNumber, -5);
    CTestDlg ended; // ended inside OnInitDialog: never shown, no loop left waiting
    ended.onInit = [](CTestDlg& d) { d.EndDialog(42); };
    EXPECT_EQ(ended.DoModal(), 42);
    EXPECT_EQ(ended.m_hWnd, nullptr);
}

// The base's OnCancel ends the dialog without exchanging data, unless the dialog's map claims id 2.
TEST(Dialog, EscapeCloseBoxAndStopButtonSendIdTwoToOnCancelOrTheClaimingHandler) {
    enum Way { Escape, CloseBox, StopButton };
    for (Way way : {Escape, CloseBox, StopButton}) {
        for (bool claimed : {false, true}) {
            SCOPED_TRACE(testing::Message() << "way " << way << ", claimed " << claimed);
            CClaimingDlg claiming;
            CTestDlg plain;
            CTestDlg& dlg = claimed ? claiming : plain;
            int result = RunModal(dlg, [&](QWidget* w) {
                TypeInto(dlg, IDC_NAME, "dropped");
                if (way == Escape) QTest::keyClick(Edit(dlg, IDC_NAME), Qt::Key_Escape); // the focus is there
                if (way == CloseBox) w->close();
                if (way == StopButton) QTest::mouseClick(AfxQtControl(&dlg, IDCANCEL), Qt::LeftButton);
                EXPECT_TRUE(!claimed || w->isVisible()) << "the claiming handler does not end the dialog";
                if (claimed) dlg.EndDialog(7);
            });
            EXPECT_EQ(result, claimed ? 7 : IDCANCEL);
            EXPECT_EQ(claiming.stops, claimed ? 1 : 0);
            EXPECT_EQ(dlg.m_strName, "start");
            EXPECT_EQ(dlg.sysCommands, way == CloseBox ? std::vector<UINT>{SC_CLOSE} : std::vector<UINT>{});
        }
    }
}
