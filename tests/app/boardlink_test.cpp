// The program's board link: decoding as table rows, then connection and exchanges against the board
// emulator (and an in-memory line for a refused speed and a line that never goes quiet).
#include "BoardLink.h"

#include "CommLink.h"
#include "program_fixture.h"
#include "fake_serial_posix.h"

#include <climits>
#include <sys/wait.h>

using apptest::Board;
using apptest::Count;
using P = BoardProtocol;

namespace {

// Every test starts and ends without connection objects.
class BoardLinkTest : public ::testing::Test {
protected:
    void TearDown() override { DisconnectBoard(); }
};

} // namespace

TEST(Decode, TiltFramesGiveReadingsAndButtonsOnlyForExactlyThreeBytes) {
    struct Row {
        std::vector<uint8_t> reply;
        bool ok;
        TiltFrame frame;
    } rows[] = {
        {{0x80, 0x40, 0x03}, true, {128, 64, true, true}},
        {{0x80, 0x40, 0x00}, true, {128, 64, false, false}},
        {{0x80, 0x40, 0x02}, true, {128, 64, true, false}},
        {{0x80, 0x40, 0x01}, true, {128, 64, false, true}},
        {{0x00, 0xFF, 0xFC}, true, {0, 255, false, false}},
        {{0xFF, 0x00, 0xFF}, true, {255, 0, true, true}},
        {{0x80, 0x40}, false, {}},
        {{0x80, 0x40, 0x03, 0x00}, false, {}},
        {{}, false, {}},
    };
    for (const Row& row : rows) {
        TiltFrame got{7, 7, true, false};
        ASSERT_EQ(DecodeTilt(row.reply.data(), static_cast<int>(row.reply.size()), &got), row.ok);
        if (!row.ok) {
            EXPECT_TRUE(got.x == 7 && got.y == 7 && got.leftUp && !got.rightUp) << "untouched on refusal";
            continue;
        }
        EXPECT_EQ(got.x, row.frame.x);
        EXPECT_EQ(got.y, row.frame.y);
        EXPECT_EQ(got.leftUp, row.frame.leftUp) << int(row.reply[2]);
        EXPECT_EQ(got.rightUp, row.frame.rightUp) << int(row.reply[2]);
    }
}

TEST(Decode, VoltageFramesAreBytesOverFiftyOneWithChannelFourCentred) {
    struct Row {
        uint8_t byte;
        float volts; // channels 0..3, 5, 6
        float channel4;
    } rows[] = {{0, 0.0f, -5.0f},
                {51, 1.0f, -3.0f},
                {255, 5.0f, 5.0f},
                {102, 2.0f, -1.0f},
                {128, static_cast<float>(128 * (1.0 / 51)),
                 static_cast<float>((static_cast<double>(static_cast<float>(128 * (1.0 / 51))) - 2.5) * 2)}};
    for (const Row& row : rows) {
        std::vector<uint8_t> reply(7, row.byte);
        float volts[7];
        ASSERT_TRUE(DecodeVoltages(reply.data(), 7, volts));
        for (int k = 0; k < 7; ++k)
            EXPECT_EQ(volts[k], k == 4 ? row.channel4 : row.volts) << int(row.byte) << " ch" << k;
    }
    const uint8_t mixed[] = {0, 51, 102, 153, 204, 255, 1};
    float volts[7];
    ASSERT_TRUE(DecodeVoltages(mixed, 7, volts));
    EXPECT_EQ(volts[1], 1.0f);
    EXPECT_EQ(volts[3], 3.0f);
    EXPECT_EQ(volts[4], 3.0f); // 204 is 4.0 V on the wire
    for (int count : {0, 6, 8}) {
        float kept[7] = {9, 9, 9, 9, 9, 9, 9};
        EXPECT_FALSE(DecodeVoltages(mixed, count, kept)) << count;
        EXPECT_EQ(kept[0], 9.0f) << "untouched for " << count << " bytes";
    }
}

TEST(Decode, EveryFailingResultHasItsMessage) {
    EXPECT_EQ(ConnectMessage(CONNECT_OK), nullptr);
    EXPECT_STREQ(ConnectMessage(CONNECT_OPEN_FAILED), "Could not open port.");
    EXPECT_STREQ(ConnectMessage(CONNECT_BAUD_FAILED), "Could not set baud rate.");
    EXPECT_STREQ(ConnectMessage(CONNECT_NO_ANSWER), "No open port.");
    EXPECT_EQ(ConnectMessage(4), nullptr);
    EXPECT_EQ(ConnectMessage(-1), nullptr);
    EXPECT_STREQ(kVoltageErrorMessage, "Error reading voltages.");
}

// The board's speed and faults against ConnectBoard: result, speed, objects left, probes sent.
TEST_F(BoardLinkTest, ConnectsAtTheBoardsSpeedOrSaysWhyNot) {
    struct Row {
        const char* args;
        int result;
        int baud;
        int probes;
    } rows[] = {
        {"", CONNECT_OK, 38400, 1},
        {"--baud 128000", CONNECT_OK, 128000, 2},
        {"--silent", CONNECT_NO_ANSWER, 0, 2},
        {"--probe-extra --baud any", CONNECT_NO_ANSWER, 0, 2}, // answers at both speeds
        {"--baud 9600", CONNECT_NO_ANSWER, 0, 2},
        {"--flood", CONNECT_NO_ANSWER, 0, 2}, // the answer drowns in frames; the call still returns
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        Board board(row.args);
        EXPECT_EQ(ConnectBoard(3), row.result);
        EXPECT_EQ(ConnectedBaud(), row.baud);
        EXPECT_TRUE(g_pPort && g_pLink && g_pPortSettings) << "all three stay after results 0, 2 and 3";
        // After success the drain left nothing; after --probe-extra both two-byte answers are still
        // queued: nothing was read in between.
        int queued = std::string(row.args).starts_with("--probe-extra") ? 4 : 0;
        if (row.result == CONNECT_OK || queued) {
            EXPECT_EQ(g_pLink->RxCount(), queued);
        }
        DisconnectBoard();
        EXPECT_EQ(Count(board.Log(), "rx 0x50 'P'"), row.probes);
    }
}

TEST_F(BoardLinkTest, ComNumbersOutsideOneToSixteenGetNoPortAndFailAsAnOpenFailure) {
    for (int com : {0, -1, 17, 1000, INT_MAX, INT_MIN}) {
        EXPECT_EQ(ConnectBoard(com), CONNECT_OPEN_FAILED) << com;
        EXPECT_TRUE(!g_pPort && !g_pLink && !g_pPortSettings) << com;
    }
}

TEST_F(BoardLinkTest, AnUnopenablePortLeavesPortAndLinkAndTheSameComOpensAgainAfterwards) {
    apptest::MapToNothing(5);
    EXPECT_EQ(ConnectBoard(5), CONNECT_OPEN_FAILED);
    EXPECT_TRUE(g_pPort && g_pLink && !g_pPortSettings);
    std::filesystem::remove(boardtest::LinkPath(5));

    Board board("--silent");
    EXPECT_EQ(ConnectBoard(3), CONNECT_NO_ANSWER);
    EXPECT_EQ(ConnectBoard(3), CONNECT_NO_ANSWER) << "the previous attempt's port was closed first";
}

TEST_F(BoardLinkTest, APortHeldByAnotherProcessDoesNotOpen) {
    Board board("");
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    if (child == 0) { // holds COM3 until the parent closes the release pipe
        close(release[1]);
        uint16_t status = 0;
        CommPort* held = new WinCommPort(2, 4096, 2048, 0);
        CommLink link(held);
        char ok = link.CheckOpen(&status) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        (void)!read(release[0], &ok, 1);
        _exit(0);
    }
    close(release[0]);
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_EQ(ConnectBoard(3), CONNECT_OPEN_FAILED);
    close(release[1]);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(ConnectBoard(3), CONNECT_OK) << "free again once the other process let go";
}

// Exchanges against fixed readings: what each stores, and that a wrong length stores nothing.
TEST_F(BoardLinkTest, ExchangesStoreWholeFramesOnly) {
    struct Row {
        const char* args;
        bool tilt;
        bool ok;
        std::vector<float> expect; // tilt: x, y, left, right; voltages: seven volts
    } rows[] = {
        {"--tilt 128,64,3", true, true, {128, 64, 1, 1}},
        {"--tilt 0,255,0", true, true, {0, 255, 0, 0}},
        {"--tilt 1,2,2", true, true, {1, 2, 1, 0}},
        {"--tilt 9,8,252", true, true, {9, 8, 0, 0}},
        {"--volts 5,5,5,5,5,5,5", false, true, {5, 5, 5, 5, 5, 5, 5}},
        {"--volts 0,0,0,0,-5,0,0", false, true, {0, 0, 0, 0, -5, 0, 0}},
        {"--volts 1,1,1,1,-3,1,1", false, true, {1, 1, 1, 1, -3, 1, 1}},
        {"--short", true, false, {}},
        {"--long", true, false, {}},
        {"--short", false, false, {}},
        {"--long", false, false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        Board board(row.args);
        ASSERT_EQ(ConnectBoard(3), CONNECT_OK);
        g_byTiltX = g_byTiltY = 77;
        std::fill(std::begin(g_fVoltage), std::end(g_fVoltage), 9.0f);
        TiltFrame frame{};
        ASSERT_EQ(row.tilt ? ExchangeTilt(&frame) : ExchangeVoltages(), row.ok);
        if (!row.ok) {
            EXPECT_TRUE(g_byTiltX == 77 && g_byTiltY == 77 && g_fVoltage[0] == 9.0f && g_fVoltage[6] == 9.0f);
        } else if (row.tilt) {
            EXPECT_EQ(std::vector<float>(
                          {float(g_byTiltX), float(g_byTiltY), float(frame.leftUp), float(frame.rightUp)}),
                      row.expect);
            EXPECT_EQ(frame.x, g_byTiltX);
        } else {
            EXPECT_EQ(std::vector<float>(std::begin(g_fVoltage), std::end(g_fVoltage)), row.expect);
        }
    }
}

TEST_F(BoardLinkTest, StrayBytesAreDroppedOneByOneBeforeTheCommand) {
    Board board("--tilt 128,64,3 --noise 4"); // a stray byte every 250 ms
    ASSERT_EQ(ConnectBoard(3), CONNECT_OK);
    EXPECT_EQ(DiscardStrayBytes(), 0) << "the drain left nothing";
    int queued = 0;
    for (int waited = 0; waited < 2000 && (queued = g_pLink->RxCount()) < 2; waited += 2) Sleep(2);
    ASSERT_EQ(queued, 2);
    EXPECT_EQ(DiscardStrayBytes(), 2);
    EXPECT_EQ(g_pLink->RxCount(), 0);
    TiltFrame frame{};
    EXPECT_TRUE(ExchangeTilt(&frame));
    EXPECT_EQ(frame.x, 128);
}

namespace {

// An in-memory board that answers the probe and then never stops sending.
struct EndlessLine : win32posix::FakeSerialLine {
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
    EndlessLine line;
    ASSERT_TRUE(win32posix::InstallSerialLine(9, &line));
    EXPECT_EQ(ConnectBoard(9), CONNECT_OK) << "returns although the line never goes quiet";
    EXPECT_EQ(DiscardStrayBytes(), P::kMaxDiscardBytes);
    line.failAll = EIO; // the device goes away
    EXPECT_EQ(DiscardStrayBytes(), 0);
    DisconnectBoard();
    win32posix::InstallSerialLine(9, nullptr);
}

namespace {

// An in-memory port whose driver refuses 38400 baud.
struct No38400Line : win32posix::FakeSerialLine {
    int SetSettings(const win32posix::LineSettings& wanted) override {
        return wanted.baud == 38400 ? EINVAL : FakeSerialLine::SetSettings(wanted);
    }
};

} // namespace

TEST_F(BoardLinkTest, ARefusedSpeedIsReportedAsSuch) {
    No38400Line line;
    ASSERT_TRUE(win32posix::InstallSerialLine(9, &line));
    EXPECT_EQ(ConnectBoard(9), CONNECT_BAUD_FAILED);
    EXPECT_TRUE(g_pPort && g_pLink && g_pPortSettings);
    EXPECT_EQ(line.sent, "") << "no probe at a speed the port refused";
    DisconnectBoard();
    win32posix::InstallSerialLine(9, nullptr);
}
