// The board's life on the line: its COM link, clients that come and go, unplugging and returning,
// the end of the program, and idling.
#include "board_fixture.h"

#include "pty_posix.h"

#include <fstream>

namespace {

using namespace boardtest;

TEST(Lifecycle, LinksItsLineAndTouchesNoLinkItDidNotCreate) {
    std::filesystem::create_directories(std::filesystem::path(LinkPath(4)).parent_path());
    ASSERT_EQ(symlink("/dev/null", LinkPath(4).c_str()), 0);
    std::string errors;
    EXPECT_EQ(BoardProcess("--com 4").End(&errors), 1);
    EXPECT_EQ(errors,
              "korvane-board: " + LinkPath(4) +
                  " already links to /dev/null (another board or adapter?); use --force to replace it\n");
    EXPECT_EQ(LinkTarget(4), "/dev/null");
    {
        BoardProcess forced("--com 4 --force"); // ends on SIGTERM here
        ASSERT_TRUE(forced.Ready()) << forced.path;
        EXPECT_EQ(forced.path.rfind("/dev/pts/", 0), 0u) << forced.path;
        EXPECT_EQ(LinkTarget(4), forced.path);
        EXPECT_EQ(Client(4, 38400).Exchange('P'), Bytes{'Q'});
    }
    EXPECT_EQ(LinkTarget(4), "");
    {
        BoardProcess board("--com 4"); // its link is pointed elsewhere meanwhile: it stays
        ASSERT_TRUE(board.Ready()) << board.path;
        ASSERT_EQ(symlink("/dev/null", (LinkPath(4) + ".other").c_str()), 0);
        ASSERT_EQ(rename((LinkPath(4) + ".other").c_str(), LinkPath(4).c_str()), 0);
    }
    EXPECT_EQ(LinkTarget(4), "/dev/null");
    unlink(LinkPath(4).c_str());
}

TEST(Lifecycle, SurvivesManyOpenCloseCyclesWithoutLeaking) {
    BoardProcess board("");
    ASSERT_TRUE(board.Ready()) << board.path;
    Client(3, 38400).Exchange('P'); // first cycle: settles any lazily opened descriptors
    auto count = [](const std::string& dir) {
        return std::distance(std::filesystem::directory_iterator(dir), {});
    };
    auto openFds = [&] {
        return std::pair(count("/proc/self/fd"), count("/proc/" + std::to_string(board.pid) + "/fd"));
    };
    auto before = openFds();
    for (int cycle = 0; cycle < 60; ++cycle) {
        Client client(3, 38400);
        ASSERT_EQ(client.OpenStatus(), 0) << "cycle " << cycle;
        ASSERT_EQ(client.Exchange('P', 1000, 5), Bytes{'Q'}) << "cycle " << cycle;
    }
    EXPECT_EQ(openFds(), before) << "this process, the board";
}

// A plain terminal program does not purge on open as WinCommPort does: it must find nothing old.
TEST(Lifecycle, BytesAClientLeftUnreadAreLostLikeOnASerialPort) {
    BoardProcess board("");
    ASSERT_TRUE(board.Ready()) << board.path;
    for (char command : {'z', 'P'}) { // the frame for 'z' is left unread
        int line = pty::OpenRaw(LinkPath(3), 38400);
        ASSERT_GE(line, 0);
        pollfd reply{line, POLLIN, 0};
        ASSERT_EQ(write(line, &command, 1), 1);
        ASSERT_EQ(poll(&reply, 1, 1000), 1);
        if (command == 'P') {
            EXPECT_EQ(ReadReply(line), Bytes{'Q'});
        }
        close(line);
        Sleep(50);
    }
}

// After N commands the adapter is pulled: it comes back under the same name, or the board ends.
TEST(Lifecycle, UnplugsAfterNCommandsAndReturnsOrEnds) {
    for (bool returns : {true, false}) {
        BoardProcess board(returns ? "--drop-after 2 --return-after 300" : "--drop-after 2");
        ASSERT_TRUE(board.Ready()) << board.path;
        {
            Client client(3, 38400);
            EXPECT_EQ(client.Exchange('P'), Bytes{'Q'});
            EXPECT_EQ(client.Exchange('P'), Bytes{'Q'});
            EXPECT_EQ(client.Exchange('P', 200), Bytes{}); // the adapter is gone
            EXPECT_EQ(board.Line(), "unplugged");
            EXPECT_EQ(LinkTarget(3), "");
        }
        if (!returns) {
            std::string rest;
            EXPECT_EQ(board.End(&rest), 0);
            EXPECT_EQ(rest, "");
            continue;
        }
        ASSERT_TRUE(board.Ready()) << board.path;
        EXPECT_EQ(LinkTarget(3), board.path);
        EXPECT_EQ(Client(3, 38400).Exchange('P'), Bytes{'Q'});
    }
}

TEST(Lifecycle, SleepsWhileIdleAfterAClientLeft) {
    BoardProcess board("");
    ASSERT_TRUE(board.Ready()) << board.path;
    EXPECT_EQ(Client(3, 38400).Exchange('P'), Bytes{'Q'}); // the client closes: the master hangs up
    Sleep(100);
    // The board's time on a CPU in ns and how often it ran, from the scheduler's statistics.
    auto usage = [&] {
        std::ifstream stat("/proc/" + std::to_string(board.pid) + "/schedstat");
        long cpuNs = 0, waitNs = 0, runs = 0;
        stat >> cpuNs >> waitNs >> runs;
        return std::pair(cpuNs, runs);
    };
    auto [cpuNs, runs] = usage();
    ASSERT_GT(runs, 0);
    Sleep(500);
    EXPECT_LE(usage().second - runs, 2) << "the board wakes up while idle";
    EXPECT_LE(usage().first - cpuNs, 10'000'000) << "the board spins while idle";
}

} // namespace
