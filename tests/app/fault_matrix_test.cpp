// The fault matrix: boards that misbehave, ports that cannot be opened, damaged profiles and odd
// numbers typed into the port dialog. Each row says what the operator sees (the boxes and dialogs in
// order, the X field), that the window stays responsive while it polls, and what the profile holds.
#include "program_fixture.h"

#include "BoardLink.h"
#include "res/resource.h"

#include <QTest>

#include <fstream>
#include <sys/stat.h>

using namespace apptest;

namespace {

const std::string kOpenFailed = "Korvane: Could not open port.";
const std::string kNoAnswer = "Korvane: No open port.";
const std::string kNotAnInteger = "Korvane: Please enter an integer.";
const std::string kPortDialog = "Port Selection Dialog";
const std::string kUnchanged = "<unchanged>";

struct Row {
    std::string name;
    std::string board; ///< korvane-board arguments on COM3; "-" for no board
    std::string typed; ///< typed into the first port dialog and confirmed; "-": Escape at once
    std::vector<std::string> seen;
    std::string x; ///< the X field once polling has run `ticks` ticks ("-": never polls)
    int ticks = 3;
    std::string profile = kUnchanged; ///< the profile afterwards
    std::function<void()> setup = [] {};
};

class FaultMatrix : public ::testing::Test {
protected:
    void SetUp() override {
        ProfilePath(true);
        g_nComPort = 0;
        g_byTiltX = g_byTiltY = 0;
    }
    void TearDown() override {
        DisconnectBoard();
        std::filesystem::remove_all(ProfilePath());
        for (int com : {3, 4}) std::filesystem::remove_all(boardtest::LinkPath(com));
    }

    // One row: the program started with the row's board and profile, driven to its end.
    void RunRow(const Row& row) {
        SCOPED_TRACE(row.name);
        SetUp();
        row.setup();
        std::string profileBefore = ProfileText();
        std::unique_ptr<Board> board;
        if (row.board != "-") board = std::make_unique<Board>(row.board);
        CCountingDlg dlg;
        ProgramRun run;
        int dialogs = 0;
        run.onModal = [&](const Modal& m) {
            if (m.title != kPortDialog) return m.Key(Qt::Key_Return);
            if (dialogs++ == 0 && row.typed != "-") {
                m.Type(IDC_PORTNUMBER, row.typed.c_str());
                return m.Key(Qt::Key_Return);
            }
            if (dialogs > 1) m.Type(IDC_PORTNUMBER, "1"); // Terminate needs an integer in the field
            m.Key(Qt::Key_Escape);
        };
        run.onMain = [&](QWidget*) {
            if (row.x == "-") return; // terminated: the first tick ends the program
            EXPECT_TRUE(WaitFor([&] { return dlg.ticks >= row.ticks; }, 5000));
            CString x;
            dlg.GetDlgItemText(IDC_XVALUE, x);
            EXPECT_NE(("|" + row.x + "|").find("|" + x.Str() + "|"), std::string::npos) << x.Str();
            dlg.EndDialog(IDOK);
        };
        EXPECT_EQ(run.Run(dlg), IDOK);
        EXPECT_EQ(run.seen, row.seen);
        EXPECT_LT(run.longestStallMs, 200) << "the window kept handling events";
        EXPECT_EQ(ProfileText(), row.profile == kUnchanged ? profileBefore : row.profile);
        TearDown();
    }
};

std::vector<std::string> Failing(const std::string& box, int rounds = 1) {
    std::vector<std::string> seen;
    for (int i = 0; i < rounds; ++i) seen.insert(seen.end(), {box, kPortDialog});
    return seen;
}

void WriteProfile(const std::string& text) {
    std::ofstream(ProfilePath(), std::ios::binary) << text;
}

std::string Profile(int com) {
    return "[MyKorvaneAp]\nKorvaneComPort=" + std::to_string(com) + "\n";
}

} // namespace

TEST_F(FaultMatrix, BoardsThatMisbehave) {
    const Row rows[] = {
        {"1 silent", "--silent", "-", Failing(kNoAnswer), "-"},
        {"2 only at 128000", "--baud 128000 --tilt 11,0,3", "-", {}, "11"},
        {"3 two-byte probe answer", "--probe-extra", "-", Failing(kNoAnswer), "-"},
        {"4 noise bursts", "--noise 5 --tilt 12,0,3", "-", {}, "12", 6},
        {"5 short frames", "--short --tilt 13,0,3", "-", {}, ""},
        {"6 long frames", "--long --tilt 14,0,3", "-", {}, ""},
        // A late reply is dropped, or taken by the next tick when it lands within that tick's wait:
        // either way no wrong reading.
        {"7 replies after the wait", "--delay 45 --tilt 15,0,3", "-", {}, "|15"},
        {"8 flood", "--flood", "-", Failing(kNoAnswer), "-"},
        {"9 unplugged and back", "--tilt 16,0,3 --drop-after 3 --return-after 300", "-", {}, "16", 10},
    };
    for (const Row& row : rows) RunRow(row);
}

TEST_F(FaultMatrix, PortsThatDoNotOpen) {
    auto mapTo = [](const std::string& target) {
        return [target] {
            std::filesystem::create_directories(std::filesystem::path(boardtest::LinkPath(3)).parent_path());
            std::filesystem::create_symlink(target, boardtest::LinkPath(3));
        };
    };
    std::string dir = std::filesystem::path(ProfilePath()).parent_path().string();
    std::ofstream(dir + "/plain-file") << "not a device";
    std::filesystem::create_directories(dir + "/a-directory");
    const Row rows[] = {
        {"12 regular file", "-", "-", Failing(kOpenFailed), "-", 3, kUnchanged, mapTo(dir + "/plain-file")},
        {"12 directory", "-", "-", Failing(kOpenFailed), "-", 3, kUnchanged, mapTo(dir + "/a-directory")},
        {"12 dangling link", "-", "-", Failing(kOpenFailed), "-", 3, kUnchanged, mapTo(dir + "/gone")},
    };
    for (const Row& row : rows) RunRow(row);
}

TEST_F(FaultMatrix, APortWithoutPermission) {
    if (geteuid() == 0) GTEST_SKIP() << "root opens every device: run the suite as a user for this row";
    Board board("");
    ASSERT_EQ(chmod(board.path.c_str(), 0), 0);
    RunRow({"11 no permission", "-", "-", Failing(kOpenFailed), "-"});
}

// The number the profile gives is the one the port dialog shows after it failed (no board anywhere).
TEST_F(FaultMatrix, DamagedProfilesFallBackToComThree) {
    auto with = [](const std::string& text) { return [text] { WriteProfile(text); }; };
    std::string big(10 << 20, 'x');
    big += "\n[MyKorvaneAp]\nKorvaneComPort=9\n";
    struct ProfileRow {
        std::string name;
        std::function<void()> setup;
        std::string shown;
    } rows[] = {
        {"missing", [] {}, "3"},
        {"empty", with(""), "3"},
        {"garbage", with("%%%%\n=\n[[[\n"), "3"},
        {"binary", with(std::string("\0\x01\xff[MyKorvaneAp]\0KorvaneComPort=5", 33)), "3"},
        {"10 MB", with(big), "9"},
        {"CRLF", with("[MyKorvaneAp]\r\nKorvaneComPort=7\r\n"), "7"},
        {"negative", with("[MyKorvaneAp]\nKorvaneComPort=-5\n"), "-5"},
        {"too large", with("[MyKorvaneAp]\nKorvaneComPort=99999999999\n"), "3"},
        {"hex", with("[MyKorvaneAp]\nKorvaneComPort=0x10\n"), "3"},
        {"section in other case", with("[mykorvaneap]\nkorvanecomport=6\n"), "6"},
        {"a directory", [] { std::filesystem::create_directories(ProfilePath()); }, "3"},
    };
    for (const ProfileRow& p : rows) {
        SCOPED_TRACE(p.name);
        SetUp();
        p.setup();
        std::string before = ProfileText();
        CKorvaneDlg dlg;
        ProgramRun run;
        std::string shown;
        run.onModal = [&](const Modal& m) {
            if (m.title != kPortDialog) return m.Key(Qt::Key_Return);
            shown = m.Field(IDC_PORTNUMBER);
            m.Key(Qt::Key_Escape);
        };
        EXPECT_EQ(run.Run(dlg), IDOK);
        EXPECT_EQ(shown, p.shown);
        EXPECT_EQ(ProfileText(), before) << "Terminate leaves the profile as it was";
        TearDown();
    }
}

// Numbers typed into the port dialog (no board): what is tried next and what the profile keeps.
TEST_F(FaultMatrix, OddNumbersTypedIntoThePortDialog) {
    std::vector<std::string> refusedThenEnd = {kOpenFailed, kPortDialog, kNotAnInteger, kPortDialog};
    std::vector<std::string> triedAndFailed = Failing(kOpenFailed, 2);
    const Row rows[] = {
        {"0", "-", "0", triedAndFailed, "-", 3, Profile(0)},
        {"-1", "-", "-1", triedAndFailed, "-", 3, Profile(-1)},
        {"17", "-", "17", triedAndFailed, "-", 3, Profile(17)},
        {"1000", "-", "1000", Failing(kOpenFailed), "-", 3, "<none>"},
        {"2147483647", "-", "2147483647", triedAndFailed, "-", 3, Profile(2147483647)},
        {"  +7 ", "-", "  +7 ", triedAndFailed, "-", 3, Profile(7)},
        {"empty", "-", "", refusedThenEnd, "-", 3, "<none>"},
        {"abc", "-", "abc", refusedThenEnd, "-", 3, "<none>"},
    };
    for (const Row& row : rows) RunRow(row);
}
