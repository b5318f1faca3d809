// The program's board link: decoding as table rows, then connection and exchanges against the board
// emulator (and an in-memory line for a refused speed and a line that never goes quiet).
#include "BoardLink.h"

#include "CommLink.h"
#include "program_fixture.h"
#include "fake_serial_posix.h"

#include <QTest>

#include <climits>

using apptest::Board;
using apptest::Count;
using P = BoardProtocol;

namespace {

// Every test starts and ends without connection objects.
class BoardLinkTest : public ::testing::Test {
protected:
    void TearDown() override { DisconnectBoard(); }
};

// The seven voltages stored.
std::vector<float> Volts() {
    return std::vector<float>(std::begin(g_fVoltage), std::end(g_fVoltage));
}

} // namespace

// The board's speed and faults against ConnectBoard: result, speed, objects left,
// bytes still queued, probes sent.
TEST_F(BoardLinkTest, ConnectsAtTheBoardsSpeedOrSaysWhyNot) {
    const struct {
        const char* args;
        int result;
        int baud;
        int queued;
        int probes;
    } rows[] = {
        {"", CONNECT_OK, 38400, 0, 1}, // the drain left nothing
        {"--baud 128000", CONNECT_OK, 128000, 0, 2},
        {"--silent", CONNECT_NO_ANSWER, 0, 0, 2},
        // Answers at both speeds: both two-byte answers are still queued, nothing was read between.
        {"--probe-extra --baud any", CONNECT_NO_ANSWER, 0, 4, 2},
        {"--baud 9600", CONNECT_NO_ANSWER, 0, -1, 2},
        {"--flood", CONNECT_NO_ANSWER, 0, -1, 2}, // drowned in frames; still returns
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Board board(row.args);
        EXPECT_EQ(ConnectBoard(3), row.result);
        EXPECT_EQ(ConnectedBaud(), row.baud);
        ASSERT_TRUE(g_pPort && g_pLink && g_pPortSettings) << "all three stay after results 0, 2 and 3";
        EXPECT_EQ(row.queued < 0 ? -1 : g_pLink->RxCount(), row.queued);
        DisconnectBoard();
        EXPECT_EQ(Count(board.Log(), "rx 0x50 'P'"), row.probes);
    }
    // The texts of results 1 and 3 are read back where the program shows them.
    for (int noMessage : {0, 4, -1}) EXPECT_EQ(ConnectMessage(noMessage), nullptr);
}

// COM numbers outside 1..16 get no port; an unopenable port leaves port and link, and the same COM
// opens again afterwards.
TEST_F(BoardLinkTest, UnopenablePortsFailAsAnOpenFailure) {
    for (int com : {0, -1, 17, 1000, INT_MAX, INT_MIN}) {
        EXPECT_EQ(ConnectBoard(com), CONNECT_OPEN_FAILED) << com;
        EXPECT_TRUE(!g_pPort && !g_pLink && !g_pPortSettings) << com;
    }
    apptest::MapCom(3);
    EXPECT_EQ(ConnectBoard(3), CONNECT_OPEN_FAILED);
    EXPECT_TRUE(g_pPort && g_pLink && !g_pPortSettings);
    std::filesystem::remove(boardtest::LinkPath(3));
    Board board("--silent");
    EXPECT_EQ(ConnectBoard(3), CONNECT_NO_ANSWER);
    EXPECT_EQ(ConnectBoard(3), CONNECT_NO_ANSWER) << "the previous attempt's port was closed first";
}

// Exchanges against fixed readings: what each stores, and that a wrong length stores nothing.
TEST_F(BoardLinkTest, ExchangesStoreWholeFramesOnly) {
    const struct {
        const char* args;
        bool tilt;
        bool ok;
        std::vector<float> expect; // tilt: x, y, left, right; voltages: seven volts
    } rows[] = {
        {"--tilt 1,2,2", true, true, {1, 2, 1, 0}},
        {"--volts 1,1,1,1,-3,1,1", false, true, {1, 1, 1, 1, -3, 1, 1}},
        {"--short", true, false, {}},
        {"--long", true, false, {}},
        {"--short", false, false, {}},
        {"--long", false, false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Board board(row.args);
        ASSERT_EQ(ConnectBoard(3), CONNECT_OK);
        g_byTiltX = g_byTiltY = 77;
        std::fill(std::begin(g_fVoltage), std::end(g_fVoltage), 9.0f);
        TiltFrame frame{};
        ASSERT_EQ(row.tilt ? ExchangeTilt(&frame) : ExchangeVoltages(), row.ok);
        if (!row.ok) {
            EXPECT_TRUE(g_byTiltX == 77 && g_byTiltY == 77 && Volts() == std::vector<float>(7, 9));
        } else if (row.tilt) {
            EXPECT_EQ(std::vector<float>(
                          {float(g_byTiltX), float(g_byTiltY), float(frame.leftUp), float(frame.rightUp)}),
                      row.expect);
            EXPECT_EQ(frame.x, g_byTiltX);
        } else {
            EXPECT_EQ(Volts(), row.expect);
        }
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
    TiltFrame frame{};
    EXPECT_TRUE(ExchangeTilt(&frame));
    EXPECT_EQ(frame.x, 128);
}

namespace {

// An in-memory board: its driver refuses 38400 baud when `refuse38400`, else it answers the probe
// and then never stops sending.
struct FakeBoard : win32posix::FakeSerialLine {
    bool refuse38400 = false;
    int SetSettings(const win32posix::LineSettings& wanted) override {
        return refuse38400 && wanted.baud == 38400 ? EINVAL : FakeSerialLine::SetSettings(wanted);
    }
    int Write(const void* bytes, size_t count, size_t* put) override {
        int status = FakeSerialLine::Write(bytes, count, put);
        if (sent.back() == P::kProbe) received = "Q";
        return status;
    }
    int Read(void* buffer, size_t count, size_t* got) override {
        int status = FakeSerialLine::Read(buffer, count, got);
        if (sent.size() > 0 && received.empty()) received.assign(64, 'x'); // more keeps coming
        return status;
    }
};

} // namespace

TEST_F(BoardLinkTest, ALineThatNeverGoesQuietEndsTheDrainAndTheDiscardAtOneQueuesWorth) {
    FakeBoard line;
    ASSERT_TRUE(win32posix::InstallSerialLine(9, &line));
    EXPECT_EQ(ConnectBoard(9), CONNECT_OK) << "returns although the line never goes quiet";
    EXPECT_EQ(DiscardStrayBytes(), P::kMaxDiscardBytes);
    line.failAll = EIO; // the device goes away
    EXPECT_EQ(DiscardStrayBytes(), 0);
    DisconnectBoard();
    win32posix::InstallSerialLine(9, nullptr);
}

TEST_F(BoardLinkTest, ARefusedSpeedIsReportedAsSuch) {
    FakeBoard line;
    line.refuse38400 = true;
    ASSERT_TRUE(win32posix::InstallSerialLine(9, &line));
    EXPECT_EQ(ConnectBoard(9), CONNECT_BAUD_FAILED);
    EXPECT_STREQ(ConnectMessage(CONNECT_BAUD_FAILED), "Could not set baud rate.");
    EXPECT_TRUE(g_pPort && g_pLink && g_pPortSettings);
    EXPECT_EQ(line.sent, "") << "no probe at a speed the port refused";
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
    EXPECT_EQ(std::pair(gone, back), std::pair(20, 20));
    EXPECT_EQ(descriptors(), before);
}
