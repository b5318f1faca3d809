// The program's board link against the board emulator (and an in-memory line for refused speeds, a
// line that never goes quiet and a port that fails on cue): connecting, ticks, reopening.
#include "program_fixture.h"

#include "CommLink.h"
#include "fake_serial_posix.h"

using apptest::Board;
using P = BoardProtocol;

namespace {

// Every test starts and ends without connection objects.
class BoardLinkTest : public ::testing::Test {
protected:
    void TearDown() override { DisconnectBoard(); }
};

// An in-memory board: its driver refuses `refuseBaud`; it answers the probes from the `answerFrom`th
// on while `answer`, and with `flood` never stops sending once something was sent.
struct FakeBoard : win32posix::FakeSerialLine {
    int refuseBaud = 0;
    size_t answerFrom = 1;
    bool answer = true, flood = false;
    int SetSettings(const win32posix::LineSettings& wanted) override {
        return int(wanted.baud) == refuseBaud ? EINVAL : FakeSerialLine::SetSettings(wanted);
    }
    int Write(const void* bytes, size_t count, size_t* put) override {
        int status = FakeSerialLine::Write(bytes, count, put);
        if (answer && sent.back() == P::kProbe &&
            std::count(sent.begin(), sent.end(), 'P') >= long(answerFrom))
            received = "Q";
        return status;
    }
    int Read(void* buffer, size_t count, size_t* got) override {
        int status = FakeSerialLine::Read(buffer, count, got);
        if (flood && !sent.empty() && received.empty()) received.assign(64, 'x'); // more keeps coming
        return status;
    }
};

} // namespace

// The board's speed, its faults and COM16 against ConnectBoard: result, speed, objects left, bytes
// still queued, probes sent. A board that answers 100 ms late is inside the probe's wait.
TEST_F(BoardLinkTest, ConnectsAtTheBoardsSpeedOrSaysWhyNot) {
    const std::tuple<const char*, int, int, int, int, int> rows[] = {
        // board, COM, result, speed, queued (-1: any), probes (-1: any)
        {"", 3, CONNECT_OK, 38400, 0, 1}, // the drain left nothing
        {"--delay 100", 16, CONNECT_OK, 38400, 0, 1},
        {"--baud 128000", 3, CONNECT_OK, 128000, 0, 2},
        {"--silent", 3, CONNECT_NO_ANSWER, 0, 0, 2},
        // Answers at both speeds: both two-byte answers are still queued, nothing was read between.
        {"--probe-extra --baud any", 3, CONNECT_NO_ANSWER, 0, 4, 2},
        {"--baud 9600", 3, CONNECT_NO_ANSWER, 0, -1, 2},
        // Drowned in frames; still returns (a flooding board may not read the probes before the port
        // closes, so they are not counted).
        {"--flood", 3, CONNECT_NO_ANSWER, 0, -1, -1},
    };
    for (const auto& [args, com, result, baud, queued, probes] : rows) {
        SCOPED_TRACE(args);
        Board board(args, com);
        EXPECT_EQ(ConnectBoard(com), result);
        EXPECT_EQ(ConnectedBaud(), baud);
        ASSERT_TRUE(g_pPort && g_pLink && g_pPortSettings) << "all three stay after results 0, 2 and 3";
        EXPECT_EQ(queued < 0 ? -1 : g_pLink->RxCount(), queued);
        DisconnectBoard();
        const int logged = apptest::Count(board.Log(), "rx 0x50 'P'");
        EXPECT_EQ(probes < 0 ? -1 : logged, probes);
    }
    for (int noMessage : {0, 4, -1}) EXPECT_EQ(ConnectMessage(noMessage), nullptr);
}

// Three ticks 150 ms apart (the discard, then an exchange): what they store and the state after
// them, from boards that answer at once, late but inside the command's wait, after it, or with a
// wrong length. A late reply may miss its tick on a loaded machine, so a board inside the wait needs
// one valid tick of three; one outside it never gives one (its reply dropped by the next discard).
TEST_F(BoardLinkTest, TicksStoreWholeRepliesThatCameWithinTheWaitOnly) {
    const std::tuple<const char*, PollKind, std::string> rows[] = {
        {"--tilt 1,2,2", PollKind::Tilt, "1 2 UP DOWN answering"},
        {"--tilt 1,2,1 --delay 12", PollKind::Tilt, "1 2 DOWN UP answering"},
        {"--tilt 1,2,2 --delay 90", PollKind::Tilt, "77 77 no reply"},
        {"--short", PollKind::Tilt, "77 77 no reply"},
        {"--long", PollKind::Tilt, "77 77 no reply"},
        {"--volts 1,0,5,1,-5,1,1", PollKind::Voltages, "1 0 5 1 -5 1 1 answering"},
        {"--volts 1,1,1,1,5,1,1 --delay 30", PollKind::Voltages, "1 1 1 1 5 1 1 answering"},
        {"--volts 1,1,1,1,1,1,1 --delay 110", PollKind::Voltages, "9 9 9 9 9 9 9 no reply"},
        {"--short", PollKind::Voltages, "9 9 9 9 9 9 9 no reply"},
        {"--long", PollKind::Voltages, "9 9 9 9 9 9 9 no reply"},
    };
    for (const auto& [args, kind, stored] : rows) {
        SCOPED_TRACE(args);
        Board board(args);
        ASSERT_EQ(ConnectBoard(3), CONNECT_OK);
        StartPolling(3, false);
        g_byTiltX = g_byTiltY = 77;
        std::fill(std::begin(g_fVoltage), std::end(g_fVoltage), 9.0f);
        std::string buttons;
        for (int tick = 0; tick < 3; Sleep(150), ++tick) {
            const TickOutcome t = PollTick(kind, 0);
            if (t.validReply && kind == PollKind::Tilt)
                buttons = std::string(t.tilt.leftUp ? " UP" : " DOWN") + (t.tilt.rightUp ? " UP" : " DOWN");
        }
        std::string got =
            kind == PollKind::Tilt ? std::to_string(g_byTiltX) + " " + std::to_string(g_byTiltY) : "";
        for (float v : g_fVoltage)
            got += kind == PollKind::Voltages ? QString::number(v).toStdString() + " " : "";
        EXPECT_EQ(got + (kind == PollKind::Tilt ? buttons + " " : "") + BoardStateName(CurrentBoardState()),
                  stored);
    }
}

TEST_F(BoardLinkTest, StrayBytesAreDroppedOneByOneBeforeTheCommand) {
    Board board("--tilt 128,64,3 --noise 4"); // a stray byte every 250 ms
    ASSERT_EQ(ConnectBoard(3), CONNECT_OK);
    EXPECT_EQ(DiscardStrayBytes(), 0) << "the drain left nothing";
    ASSERT_TRUE(QTest::qWaitFor([] { return g_pLink->RxCount() >= 2; }, 2000));
    EXPECT_EQ(g_pLink->RxCount(), 2);
    EXPECT_EQ(DiscardStrayBytes(), 2);
    EXPECT_EQ(g_pLink->RxCount(), 0);
}

// Refused speeds (a refused 128000 leaves the line at 38400, where the second probe runs), and a line
// that never goes quiet: the drain and the discard end at one queue's worth.
TEST_F(BoardLinkTest, RefusedSpeedsAndALineThatNeverGoesQuiet) {
    const std::tuple<int, size_t, bool, int, int, std::string, int> rows[] = {
        // refused speed, answered probe, flood, result, speed, sent, discarded
        {38400, 1, false, CONNECT_BAUD_FAILED, 0, "", 0},
        {128000, 2, false, CONNECT_OK, 38400, "PP", 0},
        {0, 1, true, CONNECT_OK, 38400, "P", P::kMaxDiscardBytes},
    };
    for (const auto& [refuse, answerFrom, flood, result, baud, sent, discarded] : rows) {
        FakeBoard line;
        line.refuseBaud = refuse;
        line.answerFrom = answerFrom;
        line.flood = flood;
        ASSERT_TRUE(win32posix::InstallSerialLine(9, &line));
        EXPECT_EQ(ConnectBoard(9), result) << "returns although the line never goes quiet";
        EXPECT_TRUE(g_pPort && g_pLink && g_pPortSettings);
        EXPECT_EQ(std::tuple(ConnectedBaud(), line.sent, DiscardStrayBytes()),
                  std::tuple(baud, sent, discarded));
        line.failAll = EIO; // the device goes away
        EXPECT_EQ(DiscardStrayBytes(), 0);
        DisconnectBoard();
        win32posix::InstallSerialLine(9, nullptr);
    }
    EXPECT_STREQ(ConnectMessage(CONNECT_BAUD_FAILED), "Could not set baud rate.");
}

// A port that fails is tried again a second later; once it opened without an answer, five seconds
// later; a board that answers again is read on the same tick.
TEST_F(BoardLinkTest, AFailedPortIsReopenedOnItsSchedule) {
    FakeBoard line;
    ASSERT_TRUE(win32posix::InstallSerialLine(9, &line));
    ASSERT_EQ(ConnectBoard(9), CONNECT_OK);
    StartPolling(9, true);
    line.failAll = EIO;
    std::string seen;
    for (uint32_t now : {100u, 1099u, 1100u, 6099u, 6100u, 11100u}) {
        line.answer = now == 11100;
        const TickOutcome t = PollTick(PollKind::Tilt, now);
        line.failAll = 0;
        seen += std::to_string(now) + (t.attempted ? " tried: " : ": ") + BoardStateName(t.state) +
                (t.exchanged ? " read" : "") + "\n";
    }
    EXPECT_EQ(seen, "100: device gone read\n1099: device gone\n1100 tried: no reply\n6099: no reply\n"
                    "6100 tried: no reply\n11100 tried: answering read\n");
    DisconnectBoard();
    win32posix::InstallSerialLine(9, nullptr);
}

// Twenty unplugs with the board back each time on a new pseudo-terminal under the same COM link:
// each is followed (gone, then answering) and no descriptor is left behind.
TEST_F(BoardLinkTest, TwentyUnplugsAndReturnsAreFollowedAndLeaveNoDescriptorBehind) {
    Board board("--tilt 1,2,3 --drop-after 2 --return-after 20");
    ASSERT_EQ(ConnectBoard(3), CONNECT_OK);
    StartPolling(3, true);
    auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto before = descriptors();
    int gone = 0, back = 0;
    uint32_t now = 0; // steps by the reopening period: every tick after a failure may try again
    for (int tick = 0; tick < 2000 && back < 20; ++tick) {
        const TickOutcome t = PollTick(PollKind::Tilt, now += kReopenPeriodMs);
        gone += t.changed() && t.state == BoardState::DeviceGone;
        back += t.changed() && t.before == BoardState::DeviceGone && t.state == BoardState::Answering;
        if (t.attempted && t.event == BoardEvent::ReopenFailed) Sleep(5);
    }
    EXPECT_EQ(std::tuple(gone, back, descriptors()), std::tuple(20, 20, before));
}
