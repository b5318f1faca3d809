// The board's life on the line: its COM link, clients that come and go, unplugging and returning,
// and the korvane-board program's start, end, arguments and idle behaviour.
#include "board_fixture.h"

#include <windows.h>

#include "pty_posix.h"

#include <csignal>
#include <filesystem>
#include <poll.h>
#include <unistd.h>

namespace {

using boardtest::BoardThread;
using boardtest::ChildBoard;
using boardtest::Client;
using boardtest::LinkPath;
using boardtest::LinkTarget;
using Bytes = std::vector<uint8_t>;

// Waits up to `limitMs` for the COM link to exist (true) or to be gone (false).
bool WaitForLink(int com, bool present, int limitMs) {
    for (int waited = 0; waited <= limitMs; waited += 5) {
        if (LinkTarget(LinkPath(com)).empty() != present) return true;
        Sleep(5);
    }
    return false;
}

TEST(Lifecycle, LinksItsLineAndRemovesTheLinkAtTheEnd) {
    BoardThread board({"--com", "6"});
    ASSERT_EQ(board.StartError(), "");
    std::string target = LinkTarget(LinkPath(6));
    EXPECT_EQ(target.rfind("/dev/pts/", 0), 0u) << target;
    EXPECT_EQ(access(target.c_str(), R_OK | W_OK), 0);
    EXPECT_EQ(board.Stop(), 0);
    EXPECT_EQ(LinkTarget(LinkPath(6)), "");
}

TEST(Lifecycle, RefusesToReplaceAForeignLinkUnlessForced) {
    std::filesystem::create_directories(boardtest::DevicesDir());
    ASSERT_EQ(symlink("/dev/null", LinkPath(4).c_str()), 0);
    {
        BoardThread refused({"--com", "4"});
        EXPECT_NE(refused.StartError().find("already links to /dev/null"), std::string::npos);
        EXPECT_NE(refused.StartError().find("--force"), std::string::npos);
    }
    EXPECT_EQ(LinkTarget(LinkPath(4)), "/dev/null");
    {
        BoardThread forced({"--com", "4", "--force"});
        ASSERT_EQ(forced.StartError(), "");
        EXPECT_EQ(Client(4, 38400).Exchange('P'), Bytes{'Q'});
    }
    EXPECT_EQ(LinkTarget(LinkPath(4)), "");
}

TEST(Lifecycle, LeavesALinkThatWasPointedElsewhereMeanwhile) {
    BoardThread board({"--com", "5"});
    ASSERT_EQ(board.StartError(), "");
    std::string other = LinkPath(5) + ".other";
    ASSERT_EQ(symlink("/dev/null", other.c_str()), 0);
    ASSERT_EQ(rename(other.c_str(), LinkPath(5).c_str()), 0);
    board.Stop();
    EXPECT_EQ(LinkTarget(LinkPath(5)), "/dev/null");
    unlink(LinkPath(5).c_str());
}

TEST(Lifecycle, SurvivesManyOpenCloseCyclesWithoutLeaking) {
    BoardThread board({});
    Client(3, 38400).Exchange('P'); // first cycle: settles any lazily opened descriptors
    int before = boardtest::OpenFdCount();
    for (int cycle = 0; cycle < 60; ++cycle) {
        Client client(3, 38400);
        ASSERT_EQ(client.OpenStatus(), 0) << "cycle " << cycle;
        ASSERT_EQ(client.Exchange('P', 1000, 5), Bytes{'Q'}) << "cycle " << cycle;
    }
    EXPECT_EQ(boardtest::OpenFdCount(), before);
}

// A plain terminal program does not purge on open as WinCommPort does: it must find nothing old.
TEST(Lifecycle, BytesAClientLeftUnreadAreLostLikeOnASerialPort) {
    BoardThread board({});
    std::string line = LinkPath(3);
    int leaving = pty::OpenRaw(line, 38400);
    ASSERT_GE(leaving, 0);
    pollfd reply{leaving, POLLIN, 0};
    ASSERT_EQ(write(leaving, "z", 1), 1);
    ASSERT_EQ(poll(&reply, 1, 1000), 1);
    close(leaving); // the frame stays unread
    Sleep(50);
    int next = pty::OpenRaw(line, 38400);
    ASSERT_GE(next, 0);
    ASSERT_EQ(write(next, "P", 1), 1);
    Sleep(50);
    char got[16];
    EXPECT_EQ(read(next, got, sizeof got), 1);
    EXPECT_EQ(got[0], 'Q');
    close(next);
}

TEST(Lifecycle, UnplugsAfterNCommandsAndReturnsUnderTheSameName) {
    BoardThread board({"--tilt", "128,64,3", "--drop-after", "2", "--return-after", "300"});
    ASSERT_EQ(board.StartError(), "");
    {
        Client client(3, 38400);
        EXPECT_EQ(client.Exchange('P'), Bytes{'Q'});
        EXPECT_EQ(client.Exchange('z'), (Bytes{0x80, 0x40, 0x03}));
        EXPECT_EQ(client.Exchange('z', 200), Bytes{}); // the adapter is gone
        EXPECT_TRUE(WaitForLink(3, false, 200));
    }
    ASSERT_TRUE(WaitForLink(3, true, 3000));
    EXPECT_EQ(access(LinkTarget(LinkPath(3)).c_str(), R_OK), 0);
    Client client(3, 38400);
    EXPECT_EQ(client.Exchange('P'), Bytes{'Q'});
}

TEST(Program, PrintsItsLineAndReadyAndCleansUpOnSigterm) {
    ChildBoard child({"--com", "8"});
    std::string path = child.ReadLine(5000);
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    ASSERT_EQ(child.ReadLine(2000), "ready");
    EXPECT_EQ(LinkTarget(LinkPath(8)), path);
    EXPECT_EQ(Client(8, 38400).Exchange('P'), Bytes{'Q'});
    kill(child.Pid(), SIGTERM);
    EXPECT_EQ(child.Wait(5000), 0);
    EXPECT_EQ(LinkTarget(LinkPath(8)), "");
}

TEST(Program, UnpluggedForGoodItEnds) {
    ChildBoard child({"--com", "9", "--drop-after", "1"});
    child.ReadLine(5000);
    ASSERT_EQ(child.ReadLine(2000), "ready");
    Client client(9, 38400);
    EXPECT_EQ(client.Exchange('P'), Bytes{'Q'});
    EXPECT_EQ(client.Exchange('P', 200), Bytes{});
    EXPECT_EQ(child.ReadLine(2000), "unplugged");
    EXPECT_EQ(child.Wait(5000), 0);
    EXPECT_EQ(LinkTarget(LinkPath(9)), "");
}

TEST(Program, BadArgumentsEndWithAReasonAndStatus2) {
    const std::vector<std::vector<std::string>> rows = {
        {"--bogus"}, {"--com", "0"}, {"--tilt", "1,2"}, {"--baud"}, {"--short", "--long"},
    };
    for (const auto& args : rows) {
        ChildBoard child(args);
        std::string errors = child.Output(5000);
        EXPECT_EQ(child.Wait(5000), 2) << args[0];
        EXPECT_EQ(errors.rfind("korvane-board: ", 0), 0u) << errors;
        EXPECT_NE(errors.find("see korvane-board --help"), std::string::npos) << errors;
    }
}

TEST(Program, HelpDocumentsEveryOption) {
    ChildBoard child({"--help"});
    std::string help = child.Output(5000);
    EXPECT_EQ(child.Wait(5000), 0);
    for (const char* option : {"--com", "--force", "--device", "--baud", "--tilt", "--volts", "--delay",
                               "--wire", "--silent", "--probe-extra", "--short", "--long", "--noise",
                               "--flood", "--drop-after", "--return-after", "--log", "Example:"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(Program, SleepsWhileIdleAfterAClientLeft) {
    ChildBoard child({"--com", "10"});
    child.ReadLine(5000);
    ASSERT_EQ(child.ReadLine(2000), "ready");
    EXPECT_EQ(Client(10, 38400).Exchange('P'), Bytes{'Q'}); // the client closes: the master hangs up
    Sleep(100);
    long wakeups = boardtest::ContextSwitches(child.Pid());
    long ticks = boardtest::CpuTicks(child.Pid());
    Sleep(500);
    EXPECT_LE(boardtest::ContextSwitches(child.Pid()) - wakeups, 2) << "the board wakes up while idle";
    EXPECT_LE(boardtest::CpuTicks(child.Pid()) - ticks, 1) << "the board spins while idle";
}

} // namespace
