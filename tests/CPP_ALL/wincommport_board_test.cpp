// WinCommPort and CommLink against korvane-board on a COM port, on Windows (under Wine, the COM
// port mapped to the board's pseudo-terminal) as on POSIX: opening, a second open in the same
// process, the three commands, purging, reading with nothing queued, and the adapter pulled.
#include "CommLink.h"
#include "PortSettings.h"
#include "WinCommPort.h"
#include "board_peer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The program's side of the line: port, link and settings at the board's 38400 baud 8N1.
struct Client {
    explicit Client(int com) : port(com - 1, 4096, 2048, 0), link(&port), settings(&link) {
        uint16_t lineStatus = 0;
        status = link.CheckOpen(&lineStatus);
        if (status == 0) status = settings.Set(38400, 'N', 8, 1);
    }
    // Waits, at most two seconds, until `count` bytes are queued; returns the count queued then.
    int WaitQueued(int count) {
        const DWORD start = GetTickCount();
        while (link.RxCount() < count && GetTickCount() - start < 2000) Sleep(2);
        return link.RxCount();
    }
    // Sends `command` and returns the reply of `length` bytes: what arrived within `timeoutMs`.
    Bytes Exchange(char command, int length, int timeoutMs = 2000) {
        link.Send(&command, 1);
        Bytes reply(static_cast<size_t>(length) + 1); // Receive adds a terminator
        int got = link.Receive(reply.data(), length, timeoutMs);
        reply.resize(static_cast<size_t>(got > 0 ? got : 0));
        return reply;
    }

    WinCommPort port;
    CommLink link;
    PortSettings settings;
    int status;
};

class BoardPort : public ::testing::Test {
protected:
    BoardPeer board{KORVANE_BOARD_EXCHANGE_OPTIONS};
};

TEST_F(BoardPort, OpensOnceAnswersTheThreeCommandsAndReadsNothingWhenNothingCame) {
    ASSERT_NE(board.Com(), 0) << board.Problem();
    Client client(board.Com());
    ASSERT_EQ(client.status, 0);
    EXPECT_EQ(g_portOpenCount[board.Com() - 1], 1);
    EXPECT_EQ(WinCommPort(board.Com() - 1, 4096, 2048, 0).PeekError(), COMM_IN_USE);
    EXPECT_EQ(g_portOpenCount[board.Com() - 1], 1) << "the refused port leaves the count alone";

    char buffer[8];
    EXPECT_EQ(client.port.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(client.port.ReadByte(), COMM_NO_DATA);
    EXPECT_EQ(client.link.RxCount(), 0);
    EXPECT_EQ(client.port.PeekError(), 0) << "an empty queue is no error";

    const struct {
        char command;
        Bytes reply;
    } rows[] = {{'P', {'Q'}}, {'z', {0x80, 0x40, 0x03}}, {'s', {0, 51, 102, 153, 0, 204, 255}}, {'P', {'Q'}}};
    for (const auto& row : rows) {
        EXPECT_EQ(client.Exchange(row.command, static_cast<int>(row.reply.size())), row.reply) << row.command;
    }
    EXPECT_EQ(client.link.GetByte(50), COMM_NO_DATA) << "nothing beyond the replies";
}

TEST_F(BoardPort, PurgeDropsQueuedRepliesAndDrainingStopsAtItsLimit) {
    ASSERT_NE(board.Com(), 0) << board.Problem();
    Client client(board.Com());
    ASSERT_EQ(client.status, 0);
    client.link.Send("zz", 2);
    ASSERT_EQ(client.WaitQueued(6), 6);
    EXPECT_EQ(client.port.Purge(0, 0), 0);
    EXPECT_EQ(client.link.RxCount(), 0);
    EXPECT_EQ(client.port.ReadByte(), COMM_NO_DATA);

    client.link.Send("s", 1);
    ASSERT_EQ(client.WaitQueued(7), 7);
    EXPECT_EQ(client.port.Purge(0, 3), COMM_FAILED) << "three reads, each delivered a byte";
    EXPECT_EQ(client.link.RxCount(), 4);
    EXPECT_EQ(client.port.Purge(0, -1), 0) << "no limit: reads until none is left";
    EXPECT_EQ(client.link.RxCount(), 0);
    EXPECT_EQ(client.Exchange('P', 1), Bytes{'Q'}) << "the line still works";
}

// A second handle to the device is refused at the device itself, whatever the count table says.
TEST_F(BoardPort, TheDeviceRefusesASecondHandle) {
    if (BoardPeer::UnderWine()) GTEST_SKIP() << "Wine opens a serial device again while it is open";
    ASSERT_NE(board.Com(), 0) << board.Problem();
    Client client(board.Com());
    ASSERT_EQ(client.status, 0);
    const std::string name = "\\\\.\\COM" + std::to_string(board.Com());
    EXPECT_EQ(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(client.Exchange('P', 1), Bytes{'Q'}) << "the first handle keeps working";
}

// The rate reaches the line: at 128000 baud the board (38400 only) hears noise and stays silent.
TEST_F(BoardPort, ARateChangeReachesTheLine) {
    if (BoardPeer::UnderWine()) GTEST_SKIP() << "Wine accepts 128000 baud but keeps the line at 38400";
    ASSERT_NE(board.Com(), 0) << board.Problem();
    Client client(board.Com());
    ASSERT_EQ(client.status, 0);
    ASSERT_EQ(client.settings.Set(128000, 'N', 8, 1), 0);
    EXPECT_EQ(client.Exchange('P', 1, 300), Bytes{});
    ASSERT_EQ(client.settings.Set(38400, 'N', 8, 1), 0);
    EXPECT_EQ(client.Exchange('P', 1), Bytes{'Q'});
}

class BoardUnplug : public ::testing::Test {
protected:
    BoardPeer board{KORVANE_BOARD_UNPLUG_OPTIONS};
};

// The board pulls its adapter after two answers: writes are refused from then on, nothing arrives,
// and nothing hangs.
TEST_F(BoardUnplug, WritesAreRefusedAndReadsTimeOutOnceTheAdapterIsPulled) {
    ASSERT_NE(board.Com(), 0) << board.Problem();
    Client client(board.Com());
    ASSERT_EQ(client.status, 0);
    EXPECT_EQ(client.Exchange('P', 1), Bytes{'Q'});
    EXPECT_EQ(client.Exchange('P', 1), Bytes{'Q'});
    client.port.TakeError();
    const DWORD start = GetTickCount();
    while (client.port.WriteByte('P') == 0 && GetTickCount() - start < 3000) Sleep(20);
    EXPECT_EQ(client.port.TakeError(), COMM_SHORT_WRITE) << "still writing 3 s after the last answer";
    EXPECT_EQ(client.port.Write("PP", 2), 0u);
    EXPECT_EQ(client.link.GetByte(100), COMM_NO_DATA);
    EXPECT_EQ(client.link.RxCount(), 0);
    EXPECT_EQ(client.port.Purge(0, -1), 0);
}

} // namespace
