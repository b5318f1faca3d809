// Dialogs from templates: geometry, font, tab order, keys, close box, data exchange.
#include "helpers.h"
#include "test_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <qt/qt_access.h>

#include <climits>
#include <gtest/gtest.h>

namespace {

QLineEdit* Edit(const CWnd& dlg, int id) {
    return qobject_cast<QLineEdit*>(AfxQtControl(&dlg, id));
}

// Types into field `id` as a user would: select all, then the keys.
void TypeInto(const CWnd& dlg, int id, const char* text) {
    QLineEdit* edit = Edit(dlg, id);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromUtf8(text));
}

} // namespace

TEST(Dialog, SizesFromDialogUnitsWithTheMappedFont) {
    CTestDlg dlg;
    QRect ok, edit;
    QString family;
    int result = RunModal(dlg, [&](QWidget* w) {
        family = QFontInfo(AfxQtControl(&dlg, IDC_NAME)->font()).family();
        ok = AfxQtControl(&dlg, IDOK)->geometry();
        edit = AfxQtControl(&dlg, IDC_NUMBER)->geometry();
        CRect client;
        dlg.GetClientRect(client);
        EXPECT_EQ(w->size(), QSize(client.Width(), client.Height()));
        dlg.EndDialog(IDOK);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(family.toStdString(), "DejaVu Sans Condensed"); // missing fonts must fail loudly
    EXPECT_EQ(ok, QRect(273, 11, 75, 23));                    // 182,7,50,14 DLU at 6x13 base units
    EXPECT_EQ(edit, QRect(113, 11, 60, 23));                  // 75,7,40,14 DLU
}

TEST(Dialog, ClientAreaIs359By323ForTheMainWindowSize) {
    CTestDlg dlg;
    QSize size;
    RunModal(dlg, [&](QWidget* w) {
        size = w->size();
        EXPECT_FALSE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
        EXPECT_EQ(w->minimumSize(), w->maximumSize()); // fixed size: no WS_THICKFRAME
        EXPECT_EQ(w->windowTitle().toStdString(), "Framework Test");
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(size, QSize(359, 323));
}

TEST(Dialog, BuildsControlsByClassAndStyle) {
    CTestDlg dlg;
    RunModal(dlg, [&](QWidget* w) {
        EXPECT_TRUE(qobject_cast<QPushButton*>(AfxQtControl(&dlg, IDOK))->isDefault());
        EXPECT_FALSE(qobject_cast<QPushButton*>(AfxQtControl(&dlg, IDC_STOP))->isDefault());
        EXPECT_TRUE(Edit(dlg, IDC_NAME)->hasFrame());
        EXPECT_FALSE(Edit(dlg, IDC_NAME)->isReadOnly());
        EXPECT_FALSE(Edit(dlg, IDC_INFO)->hasFrame());
        EXPECT_TRUE(Edit(dlg, IDC_INFO)->isReadOnly());
        QStringList labels;
        for (QLabel* l : w->findChildren<QLabel*>()) labels << l->text();
        EXPECT_TRUE(labels.contains("Number:")); // '&' marks the access key and is not shown
        dlg.EndDialog(IDOK);
    });
}

TEST(Dialog, InitDialogRunsBeforeTheWindowIsShownAndFocusesTheFirstTabStop) {
    CTestDlg dlg;
    bool visibleInInit = true;
    dlg.onInit = [&](CTestDlg& d) { visibleInInit = d.IsWindowVisible(); };
    bool okFocused = false;
    RunModal(dlg, [&](QWidget*) {
        okFocused = WaitFor([&] { return QApplication::focusWidget() == AfxQtControl(&dlg, IDOK); });
        dlg.EndDialog(IDOK);
    });
    EXPECT_FALSE(visibleInInit);
    EXPECT_TRUE(okFocused);
}

TEST(Dialog, EndDialogInsideInitDialogNeverShowsTheWindow) {
    CTestDlg dlg;
    dlg.onInit = [](CTestDlg& d) { d.EndDialog(42); };
    EXPECT_EQ(dlg.DoModal(), 42);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(Dialog, TabVisitsTabStopsInTemplateOrderSkippingTheRadioGroup) {
    CTestDlg dlg;
    std::vector<QWidget*> visited;
    std::vector<QWidget*> expected;
    RunModal(dlg, [&](QWidget* w) {
        for (int id : {IDC_NUMBER, IDC_NAME, IDC_INFO, IDC_STOP, IDOK})
            expected.push_back(AfxQtControl(&dlg, id));
        WaitFor([&] { return QApplication::focusWidget() == AfxQtControl(&dlg, IDOK); });
        for (size_t i = 0; i < expected.size(); ++i) {
            PressKey(w, Qt::Key_Tab);
            visited.push_back(QApplication::focusWidget());
        }
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(visited, expected);
}

TEST(Dialog, EnterInAFieldClicksTheDefaultButtonAndSavesTheData) {
    CTestDlg dlg;
    int result = RunModal(dlg, [&](QWidget*) {
        TypeInto(dlg, IDC_NAME, "typed");
        TypeInto(dlg, IDC_NUMBER, " 12 ");
        QTest::keyClick(Edit(dlg, IDC_NUMBER), Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.m_strName, "typed");
    EXPECT_EQ(dlg.m_nNumber, 12);
}

TEST(Dialog, EscapeAndTheCloseBoxCancelWhenIdTwoIsNotClaimed) {
    for (bool closeBox : {false, true}) {
        CTestDlg dlg;
        int result = RunModal(dlg, [&](QWidget* w) {
            TypeInto(dlg, IDC_NAME, "dropped");
            if (closeBox)
                w->close();
            else
                PressKey(w, Qt::Key_Escape);
        });
        EXPECT_EQ(result, IDCANCEL) << "close box: " << closeBox;
        EXPECT_EQ(dlg.m_strName, "start") << "OnCancel exchanges no data";
        if (closeBox) {
            EXPECT_EQ(dlg.sysCommands, std::vector<UINT>{SC_CLOSE}) << "close box is SC_CLOSE";
        }
    }
}

TEST(Dialog, EscapeTheCloseBoxAndTheButtonReachTheClaimingHandler) {
    CClaimingDlg dlg;
    int result = RunModal(dlg, [&](QWidget* w) {
        PressKey(w, Qt::Key_Escape);
        w->close();
        QTest::mouseClick(AfxQtControl(&dlg, IDC_STOP), Qt::LeftButton);
        EXPECT_TRUE(w->isVisible()) << "the claiming handler does not end the dialog";
        dlg.EndDialog(7);
    });
    EXPECT_EQ(result, 7);
    EXPECT_EQ(dlg.stops, 3);
}

TEST(Dialog, OkWithARefusedFieldKeepsTheDialogOpenAndSelectsTheField) {
    CTestDlg dlg;
    BoxCloser boxes;
    bool stillOpen = false;
    QString selected;
    bool fieldFocused = false;
    int result = RunModal(dlg, [&](QWidget* w) {
        TypeInto(dlg, IDC_NAME, "kept");
        TypeInto(dlg, IDC_NUMBER, "12a");
        QTest::mouseClick(AfxQtControl(&dlg, IDOK), Qt::LeftButton);
        stillOpen = w->isVisible();
        // The dialog becomes the active window again once the box has gone.
        fieldFocused = WaitFor([&] { return QApplication::focusWidget() == Edit(dlg, IDC_NUMBER); });
        selected = Edit(dlg, IDC_NUMBER)->selectedText();
        TypeInto(dlg, IDC_NUMBER, "-5");
        QTest::mouseClick(AfxQtControl(&dlg, IDOK), Qt::LeftButton);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(fieldFocused);
    EXPECT_EQ(selected.toStdString(), "12a");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "Please enter an integer.");
    EXPECT_EQ(boxes.seen[0].caption, AfxGetApp()->m_strExeName);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.m_nNumber, -5);
}

TEST(Dialog, RadioGroupExchangesTheIndexOfTheCheckedButton) {
    CTestDlg dlg;
    dlg.m_nChoice = 2;
    bool threeCheckedAtStart = false;
    int afterNone = 0;
    RunModal(dlg, [&](QWidget*) {
        threeCheckedAtStart = dlg.IsDlgButtonChecked(IDC_THREE) == BST_CHECKED;
        dlg.m_nChoice = -1;
        dlg.UpdateData(FALSE);
        dlg.UpdateData(TRUE);
        afterNone = dlg.m_nChoice;
        QAbstractButton* one = qobject_cast<QAbstractButton*>(AfxQtControl(&dlg, IDC_ONE));
        QTest::mouseClick(one, Qt::LeftButton, {}, QPoint(5, one->height() / 2));
        QAbstractButton* two = qobject_cast<QAbstractButton*>(AfxQtControl(&dlg, IDC_TWO));
        QTest::mouseClick(two, Qt::LeftButton, {}, QPoint(5, two->height() / 2));
        dlg.OnOK();
    });
    EXPECT_TRUE(threeCheckedAtStart);
    EXPECT_EQ(afterNone, -1);
    EXPECT_EQ(dlg.m_nChoice, 1) << "clicking Two unchecks One (one group)";
}

struct IntRow {
    const char* text;
    bool accepted;
    int value; // when accepted
};

void PrintTo(const IntRow& row, std::ostream* os) {
    *os << '"' << row.text << '"';
}

class IntExchange : public ::testing::TestWithParam<IntRow> {};

TEST_P(IntExchange, ReadsTheFieldByTheDialogRules) {
    const IntRow& row = GetParam();
    CTestDlg dlg;
    dlg.m_nNumber = 555;
    BoxCloser boxes;
    BOOL ok = FALSE;
    RunModal(dlg, [&](QWidget*) {
        dlg.SetDlgItemText(IDC_NUMBER, row.text);
        ok = dlg.UpdateData(TRUE);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(ok, row.accepted ? TRUE : FALSE);
    EXPECT_EQ(dlg.m_nNumber, row.accepted ? row.value : 555);
    EXPECT_EQ(boxes.seen.size(), row.accepted ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Rows, IntExchange,
                         ::testing::Values(IntRow{"", false, 0}, IntRow{"12a", false, 0},
                                           IntRow{"-0", false, 0}, IntRow{"+0", false, 0},
                                           IntRow{"0", true, 0}, IntRow{"  +7\t", true, 7},
                                           IntRow{"-42", true, -42}, IntRow{"2147483648", true, INT_MAX},
                                           IntRow{"-2147483649", true, INT_MIN},
                                           // 40 characters: only the first 31 (all zeros) are read
                                           IntRow{"0000000000000000000000000000000000000042", true, 0},
                                           // 40 characters: the digit after the 31st is never seen
                                           IntRow{"                                       9", false, 0}));
