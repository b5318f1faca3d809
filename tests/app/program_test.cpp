// The program end to end, offscreen, as an operator meets it: the start-up loop with the port
// selection dialog and the profile, polling in both modes, the About box, and the ways out.
#include "program_fixture.h"

#include "BoardLink.h"
#include "res/resource.h"

#include <QApplication>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>

#include <qt/qt_access.h>

using namespace apptest;

namespace {

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ProfilePath(true);
        g_nComPort = 0;
        g_byTiltX = g_byTiltY = 0;
        std::fill(std::begin(g_fVoltage), std::end(g_fVoltage), 0.0f);
    }
    void TearDown() override {
        DisconnectBoard();
        for (int com : {3, 4, 5, 6}) std::filesystem::remove(boardtest::LinkPath(com));
    }
};

std::string Text(CWnd& dlg, int id) {
    CString text;
    dlg.GetDlgItemText(id, text);
    return text.Str();
}

const char* const kOpenFailed = "Korvane: Could not open port.";
const char* const kNoAnswer = "Korvane: No open port.";
const char* const kPortDialog = "Port Selection Dialog";

} // namespace

// Fixed tilt frames reach the fields and the readings; each row leaves the program another way.
TEST_F(ProgramTest, FirstSuccessPollsTiltShowsTheFieldsAndEveryWayOutEndsTheProgram) {
    struct Row {
        const char* tilt;
        const char* left;
        const char* right;
        const char* way;
        int result;
    } rows[] = {
        {"128,64,3", "UP", "UP", "OK button", IDOK},
        {"128,64,0", "DOWN", "DOWN", "Enter", IDOK},
        {"128,64,2", "UP", "DOWN", "Escape", IDCANCEL},
        {"128,64,252", "DOWN", "DOWN", "close box", IDCANCEL},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.way);
        Board board(std::string("--tilt ") + row.tilt);
        CKorvaneDlg dlg;
        ProgramRun run;
        run.onMain = [&](QWidget* w) {
            ASSERT_TRUE(WaitFor(
                [&] { return Text(dlg, IDC_LEFTBUTTON) == row.left && Text(dlg, IDC_XVALUE) == "128"; }));
            EXPECT_EQ(Text(dlg, IDC_YVALUE), "64");
            EXPECT_EQ(Text(dlg, IDC_RIGHTBUTTON), row.right);
            EXPECT_EQ(g_byTiltX, 128);
            EXPECT_EQ(g_byTiltY, 64);
            std::string way = row.way;
            if (way == "OK button") Modal{w, &dlg, "", ""}.Click(IDOK);
            if (way == "Enter") QTest::keyClick(w, Qt::Key_Return);
            if (way == "Escape") QTest::keyClick(w, Qt::Key_Escape);
            if (way == "close box") w->close();
        };
        EXPECT_EQ(run.Run(dlg), row.result);
        EXPECT_TRUE(run.seen.empty()) << "no box and no port dialog on a first success";
        EXPECT_EQ(ProfileText(), "<none>") << "a first success writes nothing";
        EXPECT_EQ(g_pPort != nullptr, true) << "the connection outlives the window";
    }
}

TEST_F(ProgramTest, AFailingPortAsksForAnotherNumberWhichIsWrittenAndTried) {
    MapToNothing(3);
    Board board("--tilt 10,20,3", 4);
    CKorvaneDlg dlg;
    ProgramRun run;
    run.onModal = [&](const Modal& m) {
        if (m.title == kPortDialog) {
            EXPECT_EQ(m.Field(IDC_PORTNUMBER), "3") << "the number that failed";
            m.Type(IDC_PORTNUMBER, " 4 ");
            m.Key(Qt::Key_Return);
        } else {
            m.Key(Qt::Key_Return);
        }
    };
    run.onMain = [&](QWidget*) {
        EXPECT_TRUE(WaitFor([&] { return Text(dlg, IDC_XVALUE) == "10"; }));
        dlg.EndDialog(IDOK);
    };
    EXPECT_EQ(run.Run(dlg), IDOK);
    EXPECT_EQ(run.seen, (std::vector<std::string>{kOpenFailed, kPortDialog}));
    EXPECT_EQ(ProfileText(), "[MyKorvaneAp]\nKorvaneComPort=4\n");
}

// COM3 silent, then COM6 unopenable: each confirmed number is written before it is tried and kept
// when it fails; Enter at once retries the number shown (the same port opens again); Escape ends.
TEST_F(ProgramTest, ConfirmedNumbersAreWrittenBeforeTheyAreTriedAndEnterRetriesTheNumberShown) {
    Board silent("--silent");
    MapToNothing(6);
    CCountingDlg dlg;
    ProgramRun run;
    int dialogs = 0;
    std::vector<std::string> profileAtBox;
    run.onModal = [&](const Modal& m) {
        if (m.title != kPortDialog) {
            profileAtBox.push_back(ProfileText());
            m.Key(Qt::Key_Return);
            return;
        }
        const char* shown[] = {"3", "3", "6", "6"};
        EXPECT_EQ(m.Field(IDC_PORTNUMBER), shown[dialogs]) << dialogs;
        if (dialogs == 1) m.Type(IDC_PORTNUMBER, "6");
        m.Key(++dialogs == 4 ? Qt::Key_Escape : Qt::Key_Return);
    };
    bool mainShown = false;
    run.onMain = [&](QWidget*) { mainShown = true; };
    EXPECT_EQ(run.Run(dlg), IDOK) << "Terminate ends the program at the first tick";
    EXPECT_TRUE(mainShown);
    EXPECT_EQ(dlg.ticks, 1);
    EXPECT_EQ(run.seen, (std::vector<std::string>{kNoAnswer, kPortDialog, kNoAnswer, kPortDialog, kOpenFailed,
                                                  kPortDialog, kOpenFailed, kPortDialog}));
    const std::string three = "[MyKorvaneAp]\nKorvaneComPort=3\n", six = "[MyKorvaneAp]\nKorvaneComPort=6\n";
    EXPECT_EQ(profileAtBox, (std::vector<std::string>{"<none>", three, six, six}));
    EXPECT_EQ(ProfileText(), six) << "Terminate writes nothing";
    EXPECT_EQ(Count(silent.Log(), "rx 0x50 'P'"), 4) << "COM3 tried twice, two probes each";
}

// Every way to give up: the main window is shown, closes itself at the first tick, and the profile
// is untouched. Letters with Terminate are refused first, with the request already set.
TEST_F(ProgramTest, EveryWayToTerminateShowsTheWindowAndEndsAtTheFirstTick) {
    const char* ways[] = {"Terminate button", "Escape", "close box", "1000", "letters first"};
    for (const char* way : ways) {
        SCOPED_TRACE(way);
        MapToNothing(3);
        CCountingDlg dlg;
        ProgramRun run;
        run.onModal = [&](const Modal& m) {
            std::string how = way;
            if (m.title != kPortDialog) {
                m.Key(Qt::Key_Return);
            } else if (how == "Terminate button") {
                m.Click(IDCANCEL);
            } else if (how == "Escape") {
                m.Key(Qt::Key_Escape);
            } else if (how == "close box") {
                m.widget->close();
            } else if (how == "1000") {
                m.Type(IDC_PORTNUMBER, "1000");
                m.Key(Qt::Key_Return);
            } else if (m.Field(IDC_PORTNUMBER) != "abc") {
                m.Type(IDC_PORTNUMBER, "abc");
                m.Click(IDCANCEL);
            } else {
                EXPECT_EQ(g_nComPort, kTerminateRequest) << "set before the field was refused";
                m.Type(IDC_PORTNUMBER, "12");
                m.Click(IDCANCEL);
            }
        };
        bool mainShown = false;
        run.onMain = [&](QWidget*) { mainShown = true; };
        EXPECT_EQ(run.Run(dlg), IDOK);
        EXPECT_TRUE(mainShown);
        EXPECT_EQ(dlg.ticks, 1);
        EXPECT_EQ(ProfileText(), "<none>");
        std::vector<std::string> expected{kOpenFailed, kPortDialog};
        if (std::string(way) == "letters first") {
            expected.push_back("Korvane: Please enter an integer.");
            expected.push_back(kPortDialog);
        }
        EXPECT_EQ(run.seen, expected);
    }
}

// Ticks whose reply is not a whole frame show nothing made up: the fields keep what they held.
TEST_F(ProgramTest, TiltTicksWithoutAWholeFrameKeepTheLastReading) {
    Board board("--short --tilt 0,0,0");
    g_byTiltX = g_byTiltY = 99;
    CCountingDlg dlg;
    ProgramRun run;
    run.onMain = [&](QWidget*) {
        ASSERT_TRUE(WaitFor([&] { return dlg.ticks >= 3; }));
        EXPECT_EQ(Text(dlg, IDC_XVALUE), "");
        EXPECT_EQ(Text(dlg, IDC_YVALUE), "");
        EXPECT_EQ(Text(dlg, IDC_LEFTBUTTON), "UP");
        EXPECT_EQ(Text(dlg, IDC_RIGHTBUTTON), "UP");
        EXPECT_EQ(g_byTiltX + g_byTiltY, 198);
        dlg.EndDialog(IDOK);
    };
    EXPECT_EQ(run.Run(dlg), IDOK);
    EXPECT_TRUE(run.seen.empty()) << "no message for a short tilt reply";
}

// DVM: the voltages arrive within two ticks of the switch; TILT fields keep their last values.
TEST_F(ProgramTest, SwitchingToDvmPollsVoltagesFromTheNextTickOrTheOneAfter) {
    Board board("--tilt 200,100,3 --volts 5,0,1,2.5,-5,4,3");
    CCountingDlg dlg;
    ProgramRun run;
    run.onMain = [&](QWidget*) {
        ASSERT_TRUE(WaitFor([&] { return Text(dlg, IDC_XVALUE) == "200"; }));
        QWidget* dvm = AfxQtControl(&dlg, IDC_DVM);
        QTest::mouseClick(dvm, Qt::LeftButton, {}, QPoint(5, dvm->height() / 2));
        int switchedAt = dlg.ticks;
        ASSERT_TRUE(WaitFor([&] { return g_fVoltage[0] == 5.0f; }));
        EXPECT_LE(dlg.ticks, switchedAt + 2);
        EXPECT_EQ(std::vector<float>(std::begin(g_fVoltage), std::end(g_fVoltage)),
                  (std::vector<float>{5, 0, 1, static_cast<float>(128 / 51.0), -5,
                                      static_cast<float>(204 / 51.0), static_cast<float>(153 / 51.0)}));
        EXPECT_EQ(Text(dlg, IDC_XVALUE), "200");
        EXPECT_EQ(dlg.m_nMode, 1);
        dlg.EndDialog(IDOK);
    };
    EXPECT_EQ(run.Run(dlg), IDOK);
}

// A short voltage reply: one box at a time, no poll while it is open, the voltages unchanged; the
// next tick after it closes polls again.
TEST_F(ProgramTest, AWrongVoltageReplyShowsOneBoxAndPollingWaitsForIt) {
    Board board("--short");
    std::fill(std::begin(g_fVoltage), std::end(g_fVoltage), 9.0f);
    CCountingDlg dlg;
    ProgramRun run;
    int boxes = 0, ticksAtFirst = 0;
    run.onMain = [&](QWidget*) {
        dlg.CheckDlgButton(IDC_TILT, BST_UNCHECKED);
        dlg.CheckDlgButton(IDC_DVM, BST_CHECKED);
    };
    run.onModal = [&](const Modal& m) {
        auto* box = qobject_cast<QMessageBox*>(m.widget);
        ASSERT_NE(box, nullptr);
        if (++boxes == 1) {
            ticksAtFirst = dlg.ticks;
            QTimer::singleShot(600, box, [box] { box->done(QMessageBox::Ok); });
        } else {
            EXPECT_GE(dlg.ticks, ticksAtFirst + 4) << "ticks went on behind the box";
            g_nComPort = kTerminateRequest; // the next tick ends the program
            box->done(QMessageBox::Ok);
        }
    };
    EXPECT_EQ(run.Run(dlg), IDOK);
    EXPECT_EQ(run.seen, (std::vector<std::string>(2, "Korvane: Error reading voltages.")));
    EXPECT_EQ(std::vector<float>(std::begin(g_fVoltage), std::end(g_fVoltage)), std::vector<float>(7, 9.0f));
    EXPECT_EQ(Count(board.Log(), "rx 0x73 's'"), 2) << "one poll per box: none while a box was open";
}

// The About item (any low bits) opens the About box while polling goes on behind it; every way out
// of it returns to the main window; another system command keeps its standard effect.
TEST_F(ProgramTest, TheAboutBoxOpensFromTheSystemMenuWhilePollingGoesOn) {
    Board board("--tilt 1,2,3");
    CCountingDlg dlg;
    ProgramRun run;
    const char* ways[] = {"OK", "Enter", "Escape", "close box"};
    int abouts = 0, ticksAtOpen = 0;
    run.onMain = [&](QWidget*) {
        const auto& items = dlg.GetSystemMenu(FALSE)->Items();
        ASSERT_GE(items.size(), 2u);
        EXPECT_EQ(items[items.size() - 2].flags & MF_SEPARATOR, UINT(MF_SEPARATOR));
        EXPECT_EQ(items.back().id, UINT_PTR(IDM_ABOUTBOX));
        EXPECT_EQ(items.back().text, "&About Korvane...");
        for (UINT id : {0x10u, 0x13u, 0x1Fu, 0x10u}) {
            ticksAtOpen = dlg.ticks;
            dlg.SendMessage(WM_SYSCOMMAND, id, 0);
        }
        EXPECT_EQ(abouts, 4);
        dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    };
    run.onModal = [&](const Modal& m) {
        EXPECT_EQ(m.title, "About Korvane");
        ASSERT_LT(abouts, 4) << "one About box per command";
        ASSERT_TRUE(WaitFor([&] { return dlg.ticks >= ticksAtOpen + 2; })) << "ticks arrive behind the box";
        std::string way = ways[abouts++];
        if (way == "OK") m.Click(IDOK);
        if (way == "Enter") m.Key(Qt::Key_Return);
        if (way == "Escape") m.Key(Qt::Key_Escape);
        if (way == "close box") m.widget->close();
    };
    EXPECT_EQ(run.Run(dlg), IDCANCEL) << "SC_CLOSE closes the main window";
    EXPECT_EQ(run.seen, std::vector<std::string>(4, "About Korvane"));
    EXPECT_GE(Count(board.Log(), "rx 0x7A 'z'"), 8);
}

// Without the item's text (string 101 empty) the system menu gets neither separator nor item.
TEST_F(ProgramTest, AnEmptyAboutStringAddsNothingToTheSystemMenu) {
    static const StringResource kEmpty[] = {{IDS_ABOUTBOX, ""}};
    static const StringResource kBack[] = {{IDS_ABOUTBOX, "&About Korvane..."}};
    static const ResourceTable kEmptyTable{{}, {}, kEmpty}, kBackTable{{}, {}, kBack}; // kept by the registry
    AfxRegisterResources(kEmptyTable);
    Board board("");
    CKorvaneDlg dlg;
    ProgramRun run;
    run.onMain = [&](QWidget*) {
        for (const CMenu::Item& item : dlg.GetSystemMenu(FALSE)->Items()) {
            EXPECT_EQ(item.flags & MF_SEPARATOR, 0u);
            EXPECT_NE(item.id, UINT_PTR(IDM_ABOUTBOX));
        }
        dlg.EndDialog(IDOK);
    };
    EXPECT_EQ(run.Run(dlg), IDOK);
    AfxRegisterResources(kBackTable);
}
