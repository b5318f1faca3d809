// WinCommPort and CommLink against korvane-board on a COM port, on Windows (under Wine, the COM
// port mapped to the board's pseudo-terminal) as on POSIX: the three commands, reading with nothing
// queued, a second handle, a rate change, and the adapter pulled.
#include "../common/board_client.h"
#include "board_peer.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using boardtest::Bytes;
using boardtest::WaitUntil;

// Each test starts with a board serving the fixture's options and a client that opened its port at
// the board's 38400 baud 8N1.
class BoardPort : public ::testing::Test {
protected:
    explicit BoardPort(const char* options = KORVANE_BOARD_EXCHANGE_OPTIONS) : board(options) {}
    void SetUp() override {
        ASSERT_NE(board.Com(), 0) << board.Problem();
        client = std::make_unique<boardtest::Client>(board.Com(), 38400);
        ASSERT_EQ(client->status, 0);
    }
    // The reply to `command`: what is queued once `length` bytes came (at most `limitMs`).
    Bytes Exchange(char command, size_t length, int limitMs = 2000) {
        return client->Exchange(command, limitMs, 0, std::max(static_cast<int>(length), 1));
    }
    BoardPeer board;
    std::unique_ptr<boardtest::Client> client;
};

TEST_F(BoardPort, AnswersTheThreeCommandsAndReadsNothingWhenNothingCame) {
    char buffer[8];
    EXPECT_EQ((std::tuple{client->port.Read(buffer, sizeof buffer), client->port.ReadByte(),
                          client->link.RxCount(), client->port.PeekError()}),
              std::tuple(0u, COMM_NO_DATA, 0, 0))
        << "an empty queue is no error";
    const std::pair<char, Bytes> rows[] = {
        {'P', {'Q'}}, {'z', {0x80, 0x40, 0x03}}, {'s', {0, 51, 102, 153, 0, 204, 255}}, {'P', {'Q'}}};
    for (const auto& [command, reply] : rows) EXPECT_EQ(Exchange(command, reply.size()), reply) << command;
    EXPECT_EQ(client->link.GetByte(50), COMM_NO_DATA) << "nothing beyond the replies";
}

// A second handle to the device is refused at the device itself, whatever the count table says;
// the rate reaches the line: at 128000 baud the board (38400 only) hears noise and stays silent.
TEST_F(BoardPort, TheDeviceRefusesASecondHandleAndARateChangeReachesTheLine) {
    if (BoardPeer::UnderWine()) GTEST_SKIP() << "Wine opens a serial device again and keeps its rate";
    const std::string name = "\\\\.\\COM" + std::to_string(board.Com());
    // The first handle keeps working.
    EXPECT_EQ((std::tuple{CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr),
                          GetLastError(), client->SetBaud(128000), Exchange('P', 1, 300),
                          client->SetBaud(38400), Exchange('P', 1)}),
              (std::tuple{INVALID_HANDLE_VALUE, DWORD{ERROR_ACCESS_DENIED}, 0, Bytes{}, 0, Bytes{'Q'}}));
}

struct BoardUnplug : BoardPort {
    BoardUnplug() : BoardPort(KORVANE_BOARD_UNPLUG_OPTIONS) {}
};

// The board pulls its adapter after two answers: writes are refused from then on, nothing arrives,
// and nothing hangs.
TEST_F(BoardUnplug, WritesAreRefusedAndReadsTimeOutOnceTheAdapterIsPulled) {
    EXPECT_EQ((std::vector{Exchange('P', 1), Exchange('P', 1)}), (std::vector<Bytes>{{'Q'}, {'Q'}}));
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
