// WinCommPort and CommLink against korvane-board on a COM port, on Windows (under Wine, the COM
// port mapped to the board's pseudo-terminal) as on POSIX: opening, a second open in the same
// process, the three commands, purging, reading with nothing queued, a rate change, and the adapter
// pulled.
#include "CommLink.h"
#include "PortSettings.h"
#include "WinCommPort.h"
#include "board_peer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The program's side of the line: port, link and settings at the board's 38400 baud 8N1.
struct Client {
    explicit Client(int com) : port(com - 1, 4096, 2048, 0), link(&port), settings(&link) {}
    // Waits, at most two seconds, until `count` bytes are queued; returns the count queued then.
    int WaitQueued(int count) {
        for (const DWORD start = GetTickCount(); link.RxCount() < count && GetTickCount() - start < 2000;)
            Sleep(2);
        return link.RxCount();
    }
    // Sends `command` and returns the reply of `length` bytes: what arrived within `timeoutMs`.
    Bytes Exchange(char command, int length, int timeoutMs = 2000) {
        link.Send(&command, 1);
        Bytes reply(static_cast<size_t>(length) + 1); // Receive adds a terminator
        reply.resize(static_cast<size_t>(std::max(link.Receive(reply.data(), length, timeoutMs), 0)));
        return reply;
    }

    WinCommPort port;
    CommLink link;
    PortSettings settings;
};

// Each test starts with a board serving the fixture's options and a client that opened its port.
class BoardPort : public ::testing::Test {
protected:
    explicit BoardPort(const char* options = KORVANE_BOARD_EXCHANGE_OPTIONS) : board(options) {}
    void SetUp() override {
        ASSERT_NE(board.Com(), 0) << board.Problem();
        client = std::make_unique<Client>(board.Com());
        uint16_t lineStatus = 0;
        ASSERT_EQ(client->link.CheckOpen(&lineStatus), 0);
        ASSERT_EQ(client->settings.Set(38400, 'N', 8, 1), 0);
    }
    BoardPeer board;
    std::unique_ptr<Client> client;
};

TEST_F(BoardPort, OpensOnceAnswersTheThreeCommandsAndReadsNothingWhenNothingCame) {
    EXPECT_EQ(g_portOpenCount[board.Com() - 1], 1);
    EXPECT_EQ(WinCommPort(board.Com() - 1, 4096, 2048, 0).PeekError(), COMM_IN_USE);
    EXPECT_EQ(g_portOpenCount[board.Com() - 1], 1) << "the refused port leaves the count alone";
    char buffer[8];
    EXPECT_EQ((std::tuple{client->port.Read(buffer, sizeof buffer), client->port.ReadByte(),
                          client->link.RxCount(), client->port.PeekError()}),
              std::tuple(0u, COMM_NO_DATA, 0, 0))
        << "an empty queue is no error";
    const std::pair<char, Bytes> rows[] = {
        {'P', {'Q'}}, {'z', {0x80, 0x40, 0x03}}, {'s', {0, 51, 102, 153, 0, 204, 255}}, {'P', {'Q'}}};
    for (const auto& [command, reply] : rows)
        EXPECT_EQ(client->Exchange(command, static_cast<int>(reply.size())), reply) << command;
    EXPECT_EQ(client->link.GetByte(50), COMM_NO_DATA) << "nothing beyond the replies";
}

TEST_F(BoardPort, PurgeDropsQueuedRepliesAndDrainingStopsAtItsLimit) {
    client->link.Send("zz", 2);
    ASSERT_EQ(client->WaitQueued(6), 6);
    EXPECT_EQ(client->port.Purge(0, 0), 0);
    EXPECT_EQ((std::tuple{client->link.RxCount(), client->port.ReadByte()}), std::tuple(0, COMM_NO_DATA));
    client->link.Send("s", 1);
    ASSERT_EQ(client->WaitQueued(7), 7);
    EXPECT_EQ(client->port.Purge(0, 3), COMM_FAILED) << "three reads, each delivered a byte";
    EXPECT_EQ(client->link.RxCount(), 4);
    EXPECT_EQ(client->port.Purge(0, -1), 0) << "no limit: reads until none is left";
    EXPECT_EQ(client->link.RxCount(), 0);
    EXPECT_EQ(client->Exchange('P', 1), Bytes{'Q'}) << "the line still works";
}

// A second handle to the device is refused at the device itself, whatever the count table says;
// the rate reaches the line: at 128000 baud the board (38400 only) hears noise and stays silent.
TEST_F(BoardPort, TheDeviceRefusesASecondHandleAndARateChangeReachesTheLine) {
    if (BoardPeer::UnderWine()) GTEST_SKIP() << "Wine opens a serial device again and keeps its rate";
    const std::string name = "\\\\.\\COM" + std::to_string(board.Com());
    EXPECT_EQ(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_EQ(client->settings.Set(128000, 'N', 8, 1), 0);
    EXPECT_EQ(client->Exchange('P', 1, 300), Bytes{});
    ASSERT_EQ(client->settings.Set(38400, 'N', 8, 1), 0);
    EXPECT_EQ(client->Exchange('P', 1), Bytes{'Q'}) << "the first handle keeps working";
}

struct BoardUnplug : BoardPort {
    BoardUnplug() : BoardPort(KORVANE_BOARD_UNPLUG_OPTIONS) {}
};

// The board pulls its adapter after two answers: writes are refused from then on, nothing arrives,
// and nothing hangs.
TEST_F(BoardUnplug, WritesAreRefusedAndReadsTimeOutOnceTheAdapterIsPulled) {
    EXPECT_EQ(client->Exchange('P', 1), Bytes{'Q'});
    EXPECT_EQ(client->Exchange('P', 1), Bytes{'Q'});
    client->port.TakeError();
    for (const DWORD start = GetTickCount();
         client->port.WriteByte('P') == 0 && GetTickCount() - start < 3000;)
        Sleep(20);
    EXPECT_EQ(client->port.TakeError(), COMM_SHORT_WRITE) << "still writing 3 s after the last answer";
    EXPECT_EQ((std::tuple{client->port.Write("PP", 2), client->link.GetByte(100), client->link.RxCount(),
                          client->port.Purge(0, -1)}),
              std::tuple(0u, COMM_NO_DATA, 0, 0));
}

} // namespace
