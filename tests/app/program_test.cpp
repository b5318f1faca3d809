// The program end to end, offscreen, as an operator meets it: every message box and dialog it opens
// is handed to the test as it becomes the active modal window, and a time limit closes whatever is
// still open. Table rows drive the start-up loop with the port selection dialog and the profile:
// the fault matrix of boards that misbehave, then ports that do not open, profiles, numbers typed
// into the dialog, and every way to close the main window or to give up. Each row says what the
// operator sees (the boxes and dialogs in order, the numbers the dialog shows, the fields), that the
// window stays responsive, and what the profile holds. Then the voltage error box and the About box.
#include "program_fixture.h"

#include "BoardLink.h"
#include "KorvaneDlg.h"
#include "res/resource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>

#include <qt/qt_access.h>

using namespace apptest;

namespace {

const std::string kPortDialog = "Port Selection Dialog";
const std::map<char, std::string> kBoxes{
    {'F', "Could not open port."}, {'N', "No open port."}, {'I', "Please enter an integer."}};

/// A modal window the program opened: a message box, or one of its dialogs (then `wnd` is set).
struct Modal {
    QWidget* widget;
    CWnd* wnd;
    std::string title;
    QLineEdit* Number() const { return qobject_cast<QLineEdit*>(AfxQtControl(wnd, IDC_PORTNUMBER)); }
    /// A key press on the window's focused control.
    void Key(int qtKey) const {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target && target->window() == widget ? target : widget, static_cast<Qt::Key>(qtKey));
    }
    void Click(int id) const { QTest::mouseClick(AfxQtControl(wnd, id), Qt::LeftButton); }
};

/// One run of a main dialog. `onModal` gets each modal window other than the main one each time it
/// becomes the active one (a box over a dialog hands the dialog back when it closes); `onMain` runs
/// once when the main window is shown. Both run from a queued poll, so they may open modal loops of
/// their own. After `limitMs` every open window is closed and Run returns kTimedOut.
struct ProgramRun {
    std::function<void(const Modal&)> onModal = [](const Modal&) {};
    std::function<void(QWidget*)> onMain = [](QWidget*) {};
    std::vector<std::string> seen; ///< "title: text" of each box, "title" of each dialog, in order
    /// Longest time in ms, once the main window was shown, between two turns of the event loop (a
    /// poll tick blocks it for its waits).
    qint64 longestStallMs = 0;
    static constexpr int kTimedOut = -99; ///< what Run returns when the time limit ended it

    int Run(CKorvaneDlg& dlg, int limitMs = 8000) {
        QObject scope; // stops the poll when this call returns
        QPointer<QWidget> last;
        bool mainShown = false, timedOut = false;
        QElapsedTimer clock, sinceLastTurn;
        clock.start();
        auto turn = [&] {
            QWidget* w = QApplication::activeModalWidget();
            WndImpl* impl = w ? WndImpl::FromWidget(w) : nullptr;
            auto* box = qobject_cast<QMessageBox*>(w);
            if (mainShown) longestStallMs = std::max(longestStallMs, sinceLastTurn.restart());
            if (clock.elapsed() > limitMs) { // a box gets OK, a dialog its Terminate path
                timedOut = true;
                if (box) box->done(QMessageBox::Ok);
                if (impl) g_nComPort = kTerminateRequest;
                if (impl)
                    static_cast<CDialog*>(impl->wnd)->EndDialog(impl->wnd == &dlg ? kTimedOut : IDCANCEL);
            } else if (w && w != last && w->isVisible() && w != AfxQtWidget(&dlg)) {
                last = w;
                seen.push_back(w->windowTitle().toStdString() +
                               (box ? ": " + box->text().toStdString() : ""));
                onModal(Modal{w, impl ? impl->wnd : nullptr, w->windowTitle().toStdString()});
            } else if (w && w != last && w->isVisible() && !std::exchange(mainShown, true)) {
                last = w;
                sinceLastTurn.start();
                onMain(w); // may open modal loops of its own, in which this poll goes on
            }
        };
        auto* poll = new QTimer(&scope);
        // Queued, so that the poll keeps running inside modal loops that a handler opens.
        QObject::connect(poll, &QTimer::timeout, &scope, turn, Qt::QueuedConnection);
        poll->start(10);
        const int result = static_cast<int>(dlg.DoModal());
        return timedOut ? kTimedOut : result;
    }
};

/// The main dialog, counting its ticks.
class CCountingDlg : public CKorvaneDlg {
public:
    int ticks = 0;

protected:
    void OnTimer(UINT_PTR id) override {
        ++ticks;
        CKorvaneDlg::OnTimer(id);
    }
};

std::string Text(CWnd& dlg, int id) {
    CString text;
    dlg.GetDlgItemText(id, text);
    return text.Str();
}

std::string ProfilePath() {
    return AfxGetApp()->m_strProfileName;
}

/// The profile's content; "<none>" when there is no file.
std::string ProfileText() {
    std::ifstream in(ProfilePath());
    if (!in) return "<none>";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Row;
void RunRow(const Row& row, bool responsive);

class ProgramTest : public ::testing::Test {
public:
    void Run(const Row& row, bool responsive) {
        SetUp();
        RunRow(row, responsive);
        TearDown();
    }

protected:
    void SetUp() override {
        std::filesystem::remove_all(ProfilePath());
        g_nComPort = 0;
        g_byTiltX = g_byTiltY = 0;
        std::fill(std::begin(g_fVoltage), std::end(g_fVoltage), 0.0f);
    }
    void TearDown() override {
        DisconnectBoard();
        std::filesystem::remove_all(ProfilePath());
        for (int com : {3, 4, 6}) std::filesystem::remove_all(boardtest::LinkPath(com));
    }
};

struct Row {
    const char* name;
    const char* board; ///< korvane-board arguments (on COM3 unless they say --com); "": none
    /// The answers to the port dialogs in turn, split by ',': a number typed and Enter, "Enter" alone,
    /// "Esc", "Close" (the close box), "Terminate" (the button), or a number typed and "!" for
    /// Terminate. Once they run out: 1 typed and Terminate.
    const char* answers;
    const char* seen;  ///< a letter per box, each followed by the port dialog: F open failed, N no
                       ///< answer, I not an integer
    const char* shown; ///< the number each port dialog showed, split by ','
    /// The fields "X Y left right" once polling ran `ticks` ticks (alternatives split by '|'); "":
    /// the first tick ends the program.
    const char* fields = "";
    std::string profile = ""; ///< the profile afterwards; "": as before
    std::function<void()> setup = [] {};
    int ticks = 3;
    /// How the main window is closed: "OK", "Enter", "Escape", "Close", or "DVM" after the switch.
    std::string close = "EndDialog";
};

std::vector<std::string> Split(const std::string& text, char at) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, at);) parts.push_back(part);
    return parts;
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
    if (answer != "Enter" && answer != "Terminate") { // typed as a user does: select all, then keys
        EXPECT_TRUE(QTest::qWaitForWindowActive(m.widget));
        m.Number()->setFocus();
        m.Number()->selectAll();
        QTest::keyClick(m.Number(), Qt::Key_Backspace);
        QTest::keyClicks(m.Number(), QString::fromStdString(answer.substr(0, answer.size() - terminate)));
    }
    if (terminate || answer == "Terminate") return m.Click(IDCANCEL);
    m.Key(Qt::Key_Return);
}

void CloseMain(CCountingDlg& dlg, QWidget* w, const std::string& way) {
    if (way == "DVM") { // the voltages arrive within two ticks of the switch; the fields stay
        QWidget* dvm = AfxQtControl(&dlg, IDC_DVM);
        QTest::mouseClick(dvm, Qt::LeftButton, {}, QPoint(5, dvm->height() / 2));
        const int switchedAt = dlg.ticks;
        EXPECT_TRUE(QTest::qWaitFor([&] { return g_fVoltage[0] == 5.0f; }));
        EXPECT_LE(dlg.ticks, switchedAt + 2);
        EXPECT_EQ(std::vector<float>(std::begin(g_fVoltage), std::end(g_fVoltage)),
                  (std::vector<float>{5, 0, 1, static_cast<float>(128 / 51.0), -5,
                                      static_cast<float>(204 / 51.0), static_cast<float>(153 / 51.0)}));
        EXPECT_EQ(Text(dlg, IDC_XVALUE) + " " + std::to_string(dlg.m_nMode), "200 1");
    }
    if (way == "EndDialog" || way == "DVM") dlg.EndDialog(IDOK);
    if (way == "OK") Modal{w, &dlg, ""}.Click(IDOK);
    if (way == "Enter") QTest::keyClick(w, Qt::Key_Return);
    if (way == "Escape") QTest::keyClick(w, Qt::Key_Escape);
    if (way == "Close") w->close();
}

// One row, from a fresh start. `responsive`: the window must handle events within 200 ms while it
// polls (no program does under memcheck, so `make valgrind` leaves the board rows out).
void RunRow(const Row& row, bool responsive) {
    SCOPED_TRACE(row.name);
    row.setup();
    const std::string profileBefore = ProfileText();
    std::unique_ptr<Board> board(*row.board ? new Board(row.board) : nullptr);
    CCountingDlg dlg;
    ProgramRun run;
    std::vector<std::string> answers = Split(row.answers, ','), shown, seen;
    std::string last;
    bool mainShown = false;
    run.onModal = [&](const Modal& m) {
        if (m.title != kPortDialog) return m.Key(Qt::Key_Return);
        // A Terminate whose field was refused has set the request already.
        EXPECT_EQ(g_nComPort == kTerminateRequest, last.ends_with('!')) << last;
        shown.push_back(m.Number()->text().toStdString());
        last = shown.size() <= answers.size() ? answers[shown.size() - 1] : "1!";
        Answer(m, last);
    };
    run.onMain = [&](QWidget* w) {
        mainShown = true;
        if (!*row.fields) return;
        EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.ticks >= row.ticks; }));
        std::string fields = Text(dlg, IDC_XVALUE) + " " + Text(dlg, IDC_YVALUE) + " " +
                             Text(dlg, IDC_LEFTBUTTON) + " " + Text(dlg, IDC_RIGHTBUTTON);
        EXPECT_NE(("|" + std::string(row.fields) + "|").find("|" + fields + "|"), std::string::npos)
            << fields;
        CloseMain(dlg, w, row.close);
    };
    EXPECT_EQ(run.Run(dlg), row.close == "Escape" || row.close == "Close" ? IDCANCEL : IDOK);
    EXPECT_TRUE(mainShown);
    EXPECT_EQ(*row.fields ? 1 : dlg.ticks, 1);
    EXPECT_EQ(!*row.fields || g_pPort || AwaitingReopen(), true) << "the connection outlives the window";
    for (const char* at = row.seen; *at; ++at)
        seen.insert(seen.end(), {"Korvane: " + kBoxes.at(*at), kPortDialog});
    EXPECT_EQ(run.seen, seen);
    EXPECT_EQ(shown, Split(row.shown, ','));
    EXPECT_LT(responsive ? run.longestStallMs : 0, 200) << "the window kept handling events";
    EXPECT_EQ(ProfileText(), row.profile.empty() ? profileBefore : row.profile);
}

} // namespace

using FaultMatrix = ProgramTest;

// Boards that misbehave while the program polls them.
TEST_F(FaultMatrix, BoardsThatMisbehave) {
    const Row rows[] = {
        {"board only at 128000", "--baud 128000 --tilt 11,0,3", "", "", "", "11 0 UP UP"},
        {"noise bursts", "--noise 5 --tilt 12,0,3", "", "", "", "12 0 UP UP", "", [] {}, 6},
        // Three ticks without a valid reply: the board gives no reply, the fields are blank.
        {"short frames", "--short --tilt 13,0,3", "", "", "", "   "},
        {"long frames", "--long --tilt 14,0,3", "", "", "", "   "},
        // A late reply is dropped, or taken by the next tick when it lands within that tick's wait:
        // either way no wrong reading.
        {"replies after the wait", "--delay 45 --tilt 15,0,3", "", "", "", "  UP UP|   |15 0 UP UP"},
        // Once it is gone, the last reading no longer passes for a live one.
        {"unplugged", "--tilt 16,0,3 --drop-after 3 --return-after 3000", "", "", "", "   ", "", [] {}, 10},
    };
    for (const Row& row : rows) Run(row, true);
}

TEST_F(FaultMatrix, APortWithoutPermission) {
    if (geteuid() == 0) GTEST_SKIP() << "root opens every device: run the suite as a user for this row";
    Board board("");
    ASSERT_EQ(chmod(board.path.c_str(), 0), 0);
    Run({"no permission", "", "", "F", "3"}, true);
}

TEST_F(ProgramTest, StartUpAndTheWaysOut) {
    const std::string plain = std::filesystem::path(ProfilePath()).parent_path().string() + "/plain-file";
    std::ofstream(plain) << "not a device";
    const Row rows[] = {
        {"OK button", "--tilt 128,64,3", "", "", "", "128 64 UP UP", "", [] {}, 3, "OK"},
        {"Enter", "--tilt 128,64,0", "", "", "", "128 64 DOWN DOWN", "", [] {}, 3, "Enter"},
        {"main: Escape", "--tilt 128,64,2", "", "", "", "128 64 UP DOWN", "", [] {}, 3, "Escape"},
        {"main: close box", "--tilt 1,2,252", "", "", "", "1 2 DOWN DOWN", "", [] {}, 3, "Close"},
        {"DVM", "--tilt 200,100,3 --volts 5,0,1,2.5,-5,4,3", "", "", "", "200 100 UP UP", "", [] {}, 3,
         "DVM"},
        {"regular file", "", "", "F", "3", "", "", [plain] { MapCom(3, plain); }},
        {"Terminate", "", "Terminate", "F", "3"},
        {"Escape", "", "Esc", "F", "3"},
        {"close box", "", "Close", "F", "3"},
        {"1000 ends", "", "1000", "F", "3"},
        {"letters, Terminate", "", "abc!,12!", "FI", "3,abc"},
        {"letters", "", "abc", "FI", "3,abc"},
        {"0", "", "0", "FF", "3,0", "", Profile(0)},
        {"  +7 ", "", "  +7 ", "FF", "3,7", "", Profile(7)},
        {"typed number reaches the board", "--com 4 --tilt 10,20,3", " 4 ", "F", "3", "10 20 UP UP",
         Profile(4)},
        // COM3 silent, then COM6 unopenable: Enter retries the number shown; each confirmed number is
        // written and kept when it fails.
        {"retries", "--silent", "Enter,6,Enter,Esc", "NNFF", "3,3,6,6", "", Profile(6), [] { MapCom(6); }},
        // The number the profile gives is the one tried and shown; damaged ones give COM3.
        {"10 MB profile", "", "", "F", "9", "", "",
         WithProfile(std::string(10 << 20, 'x') + "\n" + Profile(9))},
        {"binary profile", "", "", "F", "3", "", "",
         WithProfile(std::string("\0\x01\xff[MyKorvaneAp]\0KorvaneComPort=5", 33))},
        {"negative", "", "", "F", "-5", "", "", WithProfile(Profile(-5))},
    };
    for (const Row& row : rows) Run(row, !*row.fields); // the terminated ones do not poll
}

// A board that falls silent (TILT, and DVM with its one box for the run), one unplugged and back on a
// new pseudo-terminal under the same COM link, and a COM link removed and re-made: the titles in
// order, blank fields and nothing red drawn while lost, the returned board's reading, and the window
// handling events within 200 ms except for the one reconnect probe (450 ms at most).
TEST_F(ProgramTest, ABoardThatIsLostIsShownAsSuchAndFollowedWhenItComesBack) {
    const std::string gone = "Korvane - COM3: device gone, reconnecting", silent = "Korvane - COM3: no reply";
    const struct {
        const char* board;
        bool dvm;
        std::string lost;
        bool removeLink = false;
    } rows[] = {{"--tilt 16,40,3 --silent-after 8 --answer-after 700", false, silent},
                {"--volts 1,1,1,1,1,1,1 --silent-after 8 --answer-after 700", true, silent},
                {"--tilt 16,40,3 --drop-after 8 --return-after 600", false, gone},
                {"--tilt 16,40,3", false, gone, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.board);
        Board board(row.board);
        CCountingDlg dlg;
        ProgramRun run;
        std::vector<std::string> titles{"Korvane"};
        std::string lostView = "-";
        qint64 slowTurns = 0, slowest = 0;
        run.onModal = [](const Modal& m) { m.Key(Qt::Key_Return); };
        run.onMain = [&](QWidget* w) {
            dlg.CheckDlgButton(row.dvm ? IDC_DVM : IDC_TILT, BST_CHECKED);
            dlg.CheckDlgButton(row.dvm ? IDC_TILT : IDC_DVM, BST_UNCHECKED);
            if (row.removeLink) std::filesystem::remove(boardtest::LinkPath(3));
            QElapsedTimer turn;
            turn.start();
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    slowest = std::max(slowest, turn.elapsed());
                    slowTurns += turn.restart() > 200;
                    if (w->windowTitle().toStdString() != titles.back())
                        titles.push_back(w->windowTitle().toStdString());
                    if (titles.back() != "Korvane" && lostView == "-") { // red pixels and the fields
                        const QImage img = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
                        lostView = std::to_string(std::count(reinterpret_cast<const QRgb*>(img.constBits()),
                                                             reinterpret_cast<const QRgb*>(img.constBits()) +
                                                                 img.width() * img.height(),
                                                             qRgb(255, 0, 0))) +
                                   (row.dvm ? ""
                                            : Text(dlg, IDC_XVALUE) + Text(dlg, IDC_YVALUE) +
                                                  Text(dlg, IDC_LEFTBUTTON));
                    }
                    if (titles.back() == gone && row.removeLink && boardtest::LinkTarget(3).empty())
                        MapCom(3, board.path);
                    return titles.size() == 3 && titles.back() == "Korvane" &&
                           (row.dvm || Text(dlg, IDC_XVALUE) == "16");
                },
                7000));
            dlg.EndDialog(IDOK);
        };
        EXPECT_EQ(run.Run(dlg), IDOK);
        EXPECT_EQ(titles, (std::vector<std::string>{"Korvane", row.lost, "Korvane"}));
        EXPECT_EQ(lostView, "0") << "nothing red drawn, the TILT fields blank";
        EXPECT_EQ(run.seen, std::vector<std::string>(row.dvm, "Korvane: Error reading voltages."));
        EXPECT_LE(slowTurns, row.lost == gone) << "only the reconnect probe holds the window";
        EXPECT_LE(slowest, 450);
    }
}

// The About item (any low bits) opens the About box while polling goes on behind it; OK returns to
// the main window; another system command keeps its standard effect. Without the
// item's text (string 101 empty) the system menu gets neither separator nor item.
TEST_F(ProgramTest, TheAboutBoxOpensFromTheSystemMenuWhilePollingGoesOn) {
    Board board("--tilt 1,2,3");
    CCountingDlg dlg;
    ProgramRun run;
    int abouts = 0, ticksAtOpen = 0;
    run.onMain = [&](QWidget*) {
        const auto& items = dlg.GetSystemMenu(FALSE)->Items();
        ASSERT_GE(items.size(), 3u);
        EXPECT_EQ(items[items.size() - 3].flags & MF_SEPARATOR, UINT(MF_SEPARATOR)); // then Trend...
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
        ++abouts;
        m.Click(IDOK); // the other ways out of a dialog are the framework's own
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
