// The program end to end, offscreen, as an operator meets it. One table drives the start-up loop with
// the port selection dialog and the profile: boards that misbehave, ports that do not open, damaged
// profiles, odd numbers typed into the dialog, and every way to close the main window or to give up.
// Each row says what the operator sees (the boxes and dialogs in order, the numbers the dialog
// shows, the fields), that the window stays responsive while it polls, and what the profile holds.
// Then polling in DVM mode, the voltage error box, and the About box.
#include "program_fixture.h"

#include "BoardLink.h"
#include "res/resource.h"

#include <QMessageBox>
#include <QTest>

#include <fstream>

#include <qt/qt_access.h>

using namespace apptest;

namespace {

const std::string kOpenFailed = "Korvane: Could not open port.";
const std::string kNoAnswer = "Korvane: No open port.";
const std::string kNotAnInteger = "Korvane: Please enter an integer.";
const std::string kPortDialog = "Port Selection Dialog";
const std::string kUnchanged = "<unchanged>";
const std::string kTerminated = "<terminated>";

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
        ProfilePath(true);
        for (int com : {3, 4, 6}) std::filesystem::remove_all(boardtest::LinkPath(com));
    }
};

struct Row {
    std::string name;
    std::string board = ""; ///< korvane-board arguments (on COM3 unless they say --com); empty: none
    /// The answer to each port dialog in turn: a number typed and Enter, "Enter" alone, "Esc",
    /// "Close" (the close box), "Terminate" (the button), or a number typed and "!" for Terminate.
    /// Once they run out: 1 typed and Terminate.
    std::vector<std::string> answers = {};
    std::vector<std::string> seen = {};
    std::vector<std::string> shown = {}; ///< the number each port dialog showed
    /// The fields "X Y left right" once polling ran `ticks` ticks (alternatives split by '|'), or
    /// kTerminated: the first tick ends the program.
    std::string fields = kTerminated;
    std::string profile = kUnchanged;
    std::function<void()> setup = [] {};
    int ticks = 3;
    std::string close = "EndDialog"; ///< how the main window is closed: "OK", "Enter", "Escape", "Close"
    int result = IDOK;
};

std::vector<std::string> Failing(const std::string& box, int rounds = 1) {
    std::vector<std::string> seen;
    for (int i = 0; i < rounds; ++i) seen.insert(seen.end(), {box, kPortDialog});
    return seen;
}

std::string Profile(int com) {
    return "[MyKorvaneAp]\nKorvaneComPort=" + std::to_string(com) + "\n";
}

std::function<void()> WithProfile(const std::string& text) {
    return [text] { std::ofstream(ProfilePath(), std::ios::binary) << text; };
}

void Answer(const Modal& m, const std::string& answer) {
    const bool terminate = answer.ends_with('!');
    if (answer == "Esc") return m.Key(Qt::Key_Escape);
    if (answer == "Close") return (void)m.widget->close();
    if (answer != "Enter" && answer != "Terminate")
        m.Type(IDC_PORTNUMBER, answer.substr(0, answer.size() - terminate));
    if (terminate || answer == "Terminate") return m.Click(IDCANCEL);
    m.Key(Qt::Key_Return);
}

void CloseMain(CKorvaneDlg& dlg, QWidget* w, const std::string& way) {
    if (way == "EndDialog") dlg.EndDialog(IDOK);
    if (way == "OK") Modal{w, &dlg, "", ""}.Click(IDOK);
    if (way == "Enter") QTest::keyClick(w, Qt::Key_Return);
    if (way == "Escape") QTest::keyClick(w, Qt::Key_Escape);
    if (way == "Close") w->close();
}

void RunRow(const Row& row) {
    SCOPED_TRACE(row.name);
    row.setup();
    const std::string profileBefore = ProfileText();
    std::unique_ptr<Board> board(row.board.empty() ? nullptr : new Board(row.board));
    CCountingDlg dlg;
    ProgramRun run;
    std::vector<std::string> shown;
    std::string last;
    bool mainShown = false;
    run.onModal = [&](const Modal& m) {
        if (m.title != kPortDialog) return m.Key(Qt::Key_Return);
        // A Terminate whose field was refused has set the request already.
        EXPECT_EQ(g_nComPort == kTerminateRequest, last.ends_with('!')) << last;
        shown.push_back(m.Field(IDC_PORTNUMBER));
        last = shown.size() <= row.answers.size() ? row.answers[shown.size() - 1] : "1!";
        Answer(m, last);
    };
    run.onMain = [&](QWidget* w) {
        mainShown = true;
        if (row.fields == kTerminated) return;
        EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.ticks >= row.ticks; }));
        std::string fields = Text(dlg, IDC_XVALUE) + " " + Text(dlg, IDC_YVALUE) + " " +
                             Text(dlg, IDC_LEFTBUTTON) + " " + Text(dlg, IDC_RIGHTBUTTON);
        EXPECT_NE(("|" + row.fields + "|").find("|" + fields + "|"), std::string::npos) << fields;
        CloseMain(dlg, w, row.close);
    };
    EXPECT_EQ(run.Run(dlg), row.result);
    EXPECT_TRUE(mainShown);
    EXPECT_EQ(row.fields == kTerminated ? dlg.ticks : 1, 1);
    EXPECT_EQ(row.fields == kTerminated || g_pPort, true) << "the connection outlives the window";
    EXPECT_EQ(run.seen, row.seen);
    EXPECT_EQ(shown, row.shown);
    EXPECT_LT(run.longestStallMs, 200) << "the window kept handling events";
    EXPECT_EQ(ProfileText(), row.profile == kUnchanged ? profileBefore : row.profile);
}

} // namespace

TEST_F(ProgramTest, StartUpPollingAndTheWaysOut) {
    const std::string dir = std::filesystem::path(ProfilePath()).parent_path().string();
    std::ofstream(dir + "/plain-file") << "not a device";
    std::filesystem::create_directories(dir + "/a-directory");
    auto mapTo = [](const std::string& target) { return [target] { MapCom(3, target); }; };
    const std::string big = std::string(10 << 20, 'x') + "\n[MyKorvaneAp]\nKorvaneComPort=9\n";
    const std::vector<std::string> refused = {kOpenFailed, kPortDialog, kNotAnInteger, kPortDialog};
    const std::vector<std::string> fails = Failing(kOpenFailed), failsTwice = Failing(kOpenFailed, 2);
    const Row rows[] = {
        {.name = "OK button", .board = "--tilt 128,64,3", .fields = "128 64 UP UP", .close = "OK"},
        {.name = "Enter", .board = "--tilt 128,64,0", .fields = "128 64 DOWN DOWN", .close = "Enter"},
        {.name = "main: Escape",
         .board = "--tilt 128,64,2",
         .fields = "128 64 UP DOWN",
         .close = "Escape",
         .result = IDCANCEL},
        {.name = "main: close box",
         .board = "--tilt 1,2,252",
         .fields = "1 2 DOWN DOWN",
         .close = "Close",
         .result = IDCANCEL},
        {.name = "board only at 128000", .board = "--baud 128000 --tilt 11,0,3", .fields = "11 0 UP UP"},
        {.name = "noise bursts", .board = "--noise 5 --tilt 12,0,3", .fields = "12 0 UP UP", .ticks = 6},
        {.name = "short frames", .board = "--short --tilt 13,0,3", .fields = "  UP UP"},
        {.name = "long frames", .board = "--long --tilt 14,0,3", .fields = "  UP UP"},
        // A late reply is dropped, or taken by the next tick when it lands within that tick's wait:
        // either way no wrong reading.
        {.name = "replies after the wait",
         .board = "--delay 45 --tilt 15,0,3",
         .fields = "  UP UP|15 0 UP UP"},
        {.name = "unplugged and back",
         .board = "--tilt 16,0,3 --drop-after 3 --return-after 300",
         .fields = "16 0 UP UP",
         .ticks = 10},
        {.name = "regular file", .seen = fails, .shown = {"3"}, .setup = mapTo(dir + "/plain-file")},
        {.name = "directory", .seen = fails, .shown = {"3"}, .setup = mapTo(dir + "/a-directory")},
        {.name = "dangling link", .seen = fails, .shown = {"3"}, .setup = mapTo(dir + "/gone")},
        {.name = "Terminate", .answers = {"Terminate"}, .seen = fails, .shown = {"3"}},
        {.name = "Escape", .answers = {"Esc"}, .seen = fails, .shown = {"3"}},
        {.name = "close box", .answers = {"Close"}, .seen = fails, .shown = {"3"}},
        {.name = "1000 ends", .answers = {"1000"}, .seen = fails, .shown = {"3"}},
        {.name = "letters, Terminate", .answers = {"abc!", "12!"}, .seen = refused, .shown = {"3", "abc"}},
        {.name = "empty", .answers = {""}, .seen = refused, .shown = {"3", ""}},
        {.name = "letters", .answers = {"abc"}, .seen = refused, .shown = {"3", "abc"}},
        {.name = "0", .answers = {"0"}, .seen = failsTwice, .shown = {"3", "0"}, .profile = Profile(0)},
        {.name = "-1", .answers = {"-1"}, .seen = failsTwice, .shown = {"3", "-1"}, .profile = Profile(-1)},
        {.name = "17", .answers = {"17"}, .seen = failsTwice, .shown = {"3", "17"}, .profile = Profile(17)},
        {.name = "INT_MAX",
         .answers = {"2147483647"},
         .seen = failsTwice,
         .shown = {"3", "2147483647"},
         .profile = Profile(2147483647)},
        {.name = "  +7 ",
         .answers = {"  +7 "},
         .seen = failsTwice,
         .shown = {"3", "7"},
         .profile = Profile(7)},
        {.name = "typed number reaches the board",
         .board = "--com 4 --tilt 10,20,3",
         .answers = {" 4 "},
         .seen = fails,
         .shown = {"3"},
         .fields = "10 20 UP UP",
         .profile = Profile(4)},
        // COM3 silent, then COM6 unopenable: Enter retries the number shown; each confirmed number is
        // written and kept when it fails.
        {.name = "retries",
         .board = "--silent",
         .answers = {"Enter", "6", "Enter", "Esc"},
         .seen = {kNoAnswer, kPortDialog, kNoAnswer, kPortDialog, kOpenFailed, kPortDialog, kOpenFailed,
                  kPortDialog},
         .shown = {"3", "3", "6", "6"},
         .profile = Profile(6),
         .setup = [] { MapCom(6); }},
        // Damaged profiles fall back to COM3.
        {.name = "empty profile", .seen = fails, .shown = {"3"}, .setup = WithProfile("")},
        {.name = "garbage", .seen = fails, .shown = {"3"}, .setup = WithProfile("%%%%\n=\n[[[\n")},
        {.name = "binary",
         .seen = fails,
         .shown = {"3"},
         .setup = WithProfile(std::string("\0\x01\xff[MyKorvaneAp]\0KorvaneComPort=5", 33))},
        {.name = "10 MB", .seen = fails, .shown = {"9"}, .setup = WithProfile(big)},
        {.name = "CRLF",
         .seen = fails,
         .shown = {"7"},
         .setup = WithProfile("[MyKorvaneAp]\r\nKorvaneComPort=7\r\n")},
        {.name = "negative", .seen = fails, .shown = {"-5"}, .setup = WithProfile(Profile(-5))},
        {.name = "too large",
         .seen = fails,
         .shown = {"3"},
         .setup = WithProfile("[MyKorvaneAp]\nKorvaneComPort=99999999999\n")},
        {.name = "hex",
         .seen = fails,
         .shown = {"3"},
         .setup = WithProfile("[MyKorvaneAp]\nKorvaneComPort=0x10\n")},
        {.name = "other case",
         .seen = fails,
         .shown = {"6"},
         .setup = WithProfile("[mykorvaneap]\nkorvanecomport=6\n")},
        {.name = "profile is a directory",
         .seen = fails,
         .shown = {"3"},
         .setup = [] { std::filesystem::create_directories(ProfilePath()); }},
    };
    for (const Row& row : rows) {
        SetUp();
        RunRow(row);
        TearDown();
    }
}

// DVM: the voltages arrive within two ticks of the switch; TILT fields keep their last values.
TEST_F(ProgramTest, SwitchingToDvmPollsVoltagesFromTheNextTickOrTheOneAfter) {
    Board board("--tilt 200,100,3 --volts 5,0,1,2.5,-5,4,3");
    CCountingDlg dlg;
    ProgramRun run;
    run.onMain = [&](QWidget*) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return Text(dlg, IDC_XVALUE) == "200"; }));
        QWidget* dvm = AfxQtControl(&dlg, IDC_DVM);
        QTest::mouseClick(dvm, Qt::LeftButton, {}, QPoint(5, dvm->height() / 2));
        int switchedAt = dlg.ticks;
        ASSERT_TRUE(QTest::qWaitFor([&] { return g_fVoltage[0] == 5.0f; }));
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
// of it returns to the main window; another system command keeps its standard effect. Without the
// item's text (string 101 empty) the system menu gets neither separator nor item.
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
        ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.ticks >= ticksAtOpen + 2; })) << "ticks behind the box";
        std::string way = ways[abouts++];
        if (way == "OK") m.Click(IDOK);
        if (way == "Enter") m.Key(Qt::Key_Return);
        if (way == "Escape") m.Key(Qt::Key_Escape);
        if (way == "close box") m.widget->close();
    };
    EXPECT_EQ(run.Run(dlg), IDCANCEL) << "SC_CLOSE closes the main window";
    EXPECT_EQ(run.seen, std::vector<std::string>(4, "About Korvane"));
    EXPECT_GE(Count(board.Log(), "rx 0x7A 'z'"), 8);

    static const StringResource kEmpty[] = {{IDS_ABOUTBOX, ""}},
                                kBack[] = {{IDS_ABOUTBOX, "&About Korvane..."}};
    static const ResourceTable kEmptyTable{{}, {}, kEmpty}, kBackTable{{}, {}, kBack}; // kept by the registry
    AfxRegisterResources(kEmptyTable);
    Board plain("");
    CKorvaneDlg bare;
    run.onMain = [&](QWidget*) {
        for (const CMenu::Item& item : bare.GetSystemMenu(FALSE)->Items()) {
            EXPECT_EQ(item.flags & MF_SEPARATOR, 0u);
            EXPECT_NE(item.id, UINT_PTR(IDM_ABOUTBOX));
        }
        bare.EndDialog(IDOK);
    };
    EXPECT_EQ(run.Run(bare), IDOK);
    AfxRegisterResources(kBackTable);
}
