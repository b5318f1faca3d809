// Commands, speeds, timing and faults, seen from the program's side of the line: WinCommPort on
// the COM link, the timed link over it and a settings holder, as the program builds them.
#include "board_fixture.h"

#include "pty_posix.h"

#include <windows.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace {

using boardtest::BoardThread;
using boardtest::Client;
using Bytes = std::vector<uint8_t>;

constexpr int kCom = 3;
const Bytes kTiltFrame{0x80, 0x40, 0x03};
const Bytes kDvmFrame{0, 51, 102, 153, 0, 230, 255};
const std::vector<std::string> kFixed{"--tilt", "128,64,3", "--volts", "0,1,2,3,-5,4.5,5"};

std::vector<std::string> Fixed(std::vector<std::string> more) {
    more.insert(more.begin(), kFixed.begin(), kFixed.end());
    return more;
}

TEST(Exchange, AnswersEachCommandWithItsFrame) {
    BoardThread board(Fixed({"--com", "3"}));
    ASSERT_EQ(board.StartError(), "");
    Client client(kCom, 38400);
    ASSERT_EQ(client.OpenStatus(), 0);
    EXPECT_EQ(client.Exchange('P'), Bytes{'Q'});
    EXPECT_EQ(client.Exchange('z'), kTiltFrame);
    EXPECT_EQ(client.Exchange('s'), kDvmFrame);
    EXPECT_EQ(client.Exchange('x', 150), Bytes{}); // every other byte is ignored
    EXPECT_EQ(client.Exchange('p', 150), Bytes{});
}

struct SpeedRow {
    const char* boardBaud;
    int clientBaud;
    bool answers;
};

TEST(Exchange, AnswersOnlyAtItsOwnSpeed) {
    const SpeedRow rows[] = {
        {"38400", 38400, true},   {"38400", 9600, false},   {"38400", 128000, false},
        {"128000", 128000, true}, {"128000", 38400, false}, {"any", 9600, true},
    };
    for (const SpeedRow& row : rows) {
        BoardThread board({"--baud", row.boardBaud});
        ASSERT_EQ(board.StartError(), "");
        Client client(kCom, row.clientBaud);
        ASSERT_EQ(client.OpenStatus(), 0);
        EXPECT_EQ(client.Exchange('P', row.answers ? 1000 : 200), row.answers ? Bytes{'Q'} : Bytes{})
            << "board at " << row.boardBaud << ", line at " << row.clientBaud;
    }
}

TEST(Exchange, FindsTheSpeedTheProgramFallsBackTo) {
    BoardThread board({"--baud", "128000"});
    Client client(kCom, 38400);
    EXPECT_EQ(client.Exchange('P', 200), Bytes{});
    ASSERT_EQ(client.SetBaud(128000), 0);
    EXPECT_EQ(client.Exchange('P'), Bytes{'Q'});
}

struct FaultRow {
    const char* flag;
    char command;
    Bytes reply;
};

TEST(Exchange, FaultFlagsChangeTheAnswers) {
    const FaultRow rows[] = {
        {"--silent", 'P', {}},
        {"--silent", 'z', {}},
        {"--probe-extra", 'P', {'Q', 0x0D}},
        {"--probe-extra", 'z', kTiltFrame},
        {"--short", 'z', {0x80, 0x40}},
        {"--short", 's', {0, 51, 102, 153, 0, 230}},
        {"--short", 'P', {'Q'}},
        {"--long", 'z', {0x80, 0x40, 0x03, 0x0D}},
        {"--long", 's', {0, 51, 102, 153, 0, 230, 255, 0x0D}},
    };
    for (const FaultRow& row : rows) {
        BoardThread board(Fixed({row.flag}));
        Client client(kCom, 38400);
        EXPECT_EQ(client.Exchange(row.command, row.reply.empty() ? 200 : 1000), row.reply)
            << row.flag << " '" << row.command << "'";
    }
}

TEST(Exchange, LogsEveryByteWithItsSpeedAndReply) {
    BoardThread board(Fixed({"--log"}));
    Client client(kCom, 38400);
    client.Exchange('z');
    client.SetBaud(9600);
    client.Exchange('P', 200);
    std::string log = board.Output();
    EXPECT_NE(log.find(" rx 0x7A 'z' at 38400 baud -> 80 40 03\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" rx 0x50 'P' at 9600 baud -> ignored: line at 9600, board at 38400\n"),
              std::string::npos)
        << log;
}

TEST(Exchange, ServesARealDeviceWithoutALink) {
    // The slave of a second pseudo-terminal stands in for the board's end of a null-modem cable.
    std::string device;
    int cable = pty::OpenMaster(&device);
    ASSERT_GE(cable, 0);
    BoardThread board(Fixed({"--device", device}));
    ASSERT_EQ(board.StartError(), "");
    EXPECT_EQ(boardtest::LinkTarget(boardtest::LinkPath(kCom)), "");
    ASSERT_EQ(write(cable, "z", 1), 1);
    pollfd reply{cable, POLLIN, 0};
    ASSERT_EQ(poll(&reply, 1, 1000), 1);
    Sleep(20);
    uint8_t got[8];
    EXPECT_EQ(Bytes(got, got + std::max<ssize_t>(read(cable, got, sizeof got), 0)), kTiltFrame);
    board.Stop();
    close(cable);
}

TEST(Exchange, DelayAnswersLate) {
    BoardThread board(Fixed({"--delay", "300"}));
    Client client(kCom, 38400);
    char probe = 'P';
    client.Link().Send(&probe, 1);
    Sleep(150);
    EXPECT_EQ(client.Link().RxCount(), 0);
    EXPECT_EQ(client.Collect(2000, 20), Bytes{'Q'});
}

TEST(Exchange, WireSpacesTheBytesAtTheLineSpeed) {
    // 300 baud: a byte every 33 ms, so seven bytes take over 200 ms to arrive.
    BoardThread board(Fixed({"--baud", "any", "--wire"}));
    Client client(kCom, 300);
    auto start = std::chrono::steady_clock::now();
    char command = 's';
    client.Link().Send(&command, 1);
    int first = 0;
    for (int waited = 0; waited < 2000 && (first = client.Link().RxCount()) == 0; waited += 1) Sleep(1);
    EXPECT_GT(first, 0);
    EXPECT_LT(first, 7) << "all bytes came at once";
    EXPECT_EQ(client.Collect(0, 400), kDvmFrame);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

TEST(Exchange, NoiseSendsStrayBytesBetweenCommands) {
    BoardThread board(Fixed({"--noise", "50"}));
    Client client(kCom, 38400);
    Bytes stray = client.Collect(1000, 300);
    EXPECT_GE(stray.size(), 5u);
    EXPECT_LE(stray.size(), 30u);
}

TEST(Exchange, FloodSendsWithoutPause) {
    BoardThread board(Fixed({"--flood"}));
    Client client(kCom, 38400);
    Bytes flood = client.Collect(1000, 100);
    ASSERT_GE(flood.size(), 300u);
    EXPECT_EQ(Bytes(flood.begin(), flood.begin() + 3), kTiltFrame);
}

} // namespace
