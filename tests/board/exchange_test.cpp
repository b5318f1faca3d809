// Commands, speeds, timing, faults and readings, seen from the program's side of the line:
// WinCommPort on the COM link, the timed link over it and a settings holder, as the program builds
// them.
#include "board_fixture.h"

#include "pty_posix.h"
#include "readings.h"

#include <chrono>

namespace {

using namespace boardtest;

const Bytes kTiltFrame{0x80, 0x40, 0x03};
// Rounded and clamped to 0..255; channel 4 spans -5..+5 V.
const Bytes kDvmFrame{1, 51, 128, 255, 51, 0, 254};

// The arguments of a board with the fixed readings of the frames above (in both spellings) and `more`.
std::string Fixed(const std::string& more) {
    return "--tilt=0x80,64,3 --volts 0.01,1,2.5,7,-3,-1,4.99 " + more;
}

struct ReplyRow {
    const char* options; // besides the fixed readings
    int lineBaud;
    std::vector<std::pair<char, Bytes>> exchanges; // command and reply, in turn
};

// One board per row: the commands, the speeds it answers at, and the faults that change answers.
TEST(Exchange, AnswersEachCommandAtItsOwnSpeedAsTheFaultFlagsSay) {
    const ReplyRow rows[] = {
        {"", 38400, {{'P', {'Q'}}, {'z', kTiltFrame}, {'s', kDvmFrame}, {'x', {}}, {'p', {}}, {'P', {'Q'}}}},
        {"", 128000, {{'P', {}}}},
        {"--baud=128000", 128000, {{'P', {'Q'}}}},
        {"--baud 128000", 38400, {{'P', {}}}},
        {"--baud any", 9600, {{'z', kTiltFrame}}},
        {"--silent", 38400, {{'P', {}}, {'z', {}}}},
        {"--probe-extra", 38400, {{'P', {'Q', 0x0D}}, {'z', kTiltFrame}}},
        {"--short", 38400, {{'z', {0x80, 0x40}}, {'s', {1, 51, 128, 255, 51, 0}}, {'P', {'Q'}}}},
        {"--long", 38400, {{'z', {0x80, 0x40, 0x03, 0x0D}}, {'s', {1, 51, 128, 255, 51, 0, 254, 0x0D}}}},
    };
    for (const ReplyRow& row : rows) {
        BoardProcess board(Fixed(row.options));
        ASSERT_TRUE(board.Ready()) << board.path;
        Client client(3, row.lineBaud);
        ASSERT_EQ(client.status, 0);
        for (const auto& [command, reply] : row.exchanges)
            EXPECT_EQ(client.Exchange(command, reply.empty() ? 200 : 1000), reply)
                << row.options << ", line at " << row.lineBaud << ", '" << command << "'";
    }
}

TEST(Exchange, LogsEveryByteWithItsSpeedAndReply) {
    BoardProcess board(Fixed("--log"));
    ASSERT_TRUE(board.Ready()) << board.path;
    Client client(3, 38400);
    EXPECT_EQ(client.Exchange('z'), kTiltFrame);
    EXPECT_EQ(client.SetBaud(9600), 0);
    EXPECT_EQ(client.Exchange('P', 200), Bytes{});
    for (const char* end : {" rx 0x7A 'z' at 38400 baud -> 80 40 03",
                            " rx 0x50 'P' at 9600 baud -> ignored: line at 9600, board at 38400"})
        EXPECT_TRUE(board.Line().ends_with(end)) << end;
}

TEST(Exchange, ServesARealDeviceWithoutALink) {
    // The slave of a second pseudo-terminal stands in for the board's end of a null-modem cable.
    std::string device;
    int cable = pty::OpenMaster(&device);
    ASSERT_GE(cable, 0);
    {
        BoardProcess board(Fixed("--device " + device));
        EXPECT_TRUE(board.Ready());
        EXPECT_EQ(board.path, device);
        EXPECT_EQ(LinkTarget(3), "");
        EXPECT_EQ(write(cable, "z", 1), 1);
        EXPECT_EQ(ReadReply(cable), kTiltFrame);
    }
    close(cable);
}

TEST(Exchange, DelayAnswersLate) {
    BoardProcess board(Fixed("--delay 300"));
    ASSERT_TRUE(board.Ready()) << board.path;
    Client client(3, 38400);
    EXPECT_EQ(client.Exchange('P', 150, 0), Bytes{});
    EXPECT_EQ(client.Collect(2000, 20), Bytes{'Q'});
}

// At 75 baud a byte takes ten bits, 133 ms: the DVM frame's bytes arrive that far apart. The
// spacing is the slope through all seven arrival times, so one late look hardly moves it; 7.5 %
// keeps nine or eleven bits a byte out.
TEST(Exchange, WireSpacesTheBytesByTenBitsEach) {
    BoardProcess board(Fixed("--baud any --wire"));
    ASSERT_TRUE(board.Ready()) << board.path;
    Client client(3, 75);
    ASSERT_EQ(client.status, 0);
    ASSERT_EQ(client.link.Send("s", 1), 1);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::vector<double> arrivedMs; // when each byte was first seen queued
    while (arrivedMs.size() < 7 && Clock::now() - start < std::chrono::seconds(4)) {
        Sleep(1);
        for (int queued = client.link.RxCount(); arrivedMs.size() < static_cast<size_t>(queued);)
            arrivedMs.push_back((Clock::now() - start) / std::chrono::microseconds(1) / 1e3);
    }
    ASSERT_EQ(arrivedMs.size(), 7u);
    double slope = 0, mean = 0;
    for (double t : arrivedMs) mean += t / 7;
    for (int i = 0; i < 7; ++i) slope += (i - 3) * (arrivedMs[static_cast<size_t>(i)] - mean) / 28;
    const double byteMs = 10 * 1000.0 / 75;
    EXPECT_NEAR(slope, byteMs, 0.075 * byteMs);
    EXPECT_GT(arrivedMs[0], 1.5 * byteMs)
        << "the command takes a byte time to arrive, the first byte another";
    Bytes frame(8);
    frame.resize(static_cast<size_t>(client.link.Receive(frame.data(), 7, 100)));
    EXPECT_EQ(frame, kDvmFrame);
}

TEST(Exchange, NoiseSendsStrayBytesBetweenCommands) {
    BoardProcess board(Fixed("--noise 50"));
    ASSERT_TRUE(board.Ready()) << board.path;
    Bytes stray = Client(3, 38400).Collect(1000, 300);
    EXPECT_GE(stray.size(), 5u);
    EXPECT_LE(stray.size(), 30u);
}

TEST(Exchange, FloodSendsWithoutPause) {
    BoardProcess board(Fixed("--flood"));
    ASSERT_TRUE(board.Ready()) << board.path;
    Bytes flood = Client(3, 38400).Collect(1000, 100);
    ASSERT_GE(flood.size(), 300u);
    EXPECT_EQ(Bytes(flood.begin(), flood.begin() + 3), kTiltFrame);
}

TEST(Readings, MoveByDefault) {
    board::BoardOptions options;
    board::Readings moving(options);
    EXPECT_NE(moving.Tilt(0), moving.Tilt(1000));
    EXPECT_NE(moving.Tilt(0)[2], moving.Tilt(3000)[2]); // the buttons change every few seconds
    EXPECT_NE(moving.Dvm(0), moving.Dvm(2500));
}

} // namespace
