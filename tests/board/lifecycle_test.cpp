// The board's life on the line: its COM link, clients that come and go, unplugging and returning,
// the end of the program, idling, and its arguments.
#include "board_fixture.h"

#include "options.h"
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
        BoardProcess forced("--com=4 --force"); // ends on SIGTERM here
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

// A client's hang-up makes the board open the slave for a moment to drop unread bytes: its
// descriptors are counted only while it holds none of the slave, and every count has a time limit.
TEST(Lifecycle, SurvivesManyOpenCloseCyclesWithoutLeaking) {
    BoardProcess board("");
    ASSERT_TRUE(board.Ready()) << board.path;
    Client(3, 38400).Exchange('P'); // first cycle: settles any lazily opened descriptors
    auto atRest = [&] {             // the board's descriptor count once it holds no slave; -1 after 2 s
        for (DWORD start = GetTickCount(); GetTickCount() - start < 2000; Sleep(1)) {
            long count = 0;
            bool slave = false; // a descriptor that went away while listed counts as the slave
            for (const auto& fd : std::filesystem::directory_iterator(board.Proc("fd"))) {
                std::error_code gone;
                std::filesystem::path target = std::filesystem::read_symlink(fd, gone);
                slave = slave || gone || target == board.path;
                ++count;
            }
            if (!slave) return count;
        }
        return -1L;
    };
    auto own = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const long before = atRest(), ownBefore = own();
    ASSERT_GT(before, 0);
    for (int cycle = 0; cycle < 60; ++cycle) {
        Client client(3, 38400);
        ASSERT_EQ(client.status, 0) << "cycle " << cycle;
        ASSERT_EQ(client.Exchange('P', 1000, 5), Bytes{'Q'}) << "cycle " << cycle;
    }
    EXPECT_EQ(own(), ownBefore) << "this process";
    EXPECT_EQ(atRest(), before) << "the board";
}

// A plain terminal program does not purge on open as WinCommPort does: it must find nothing old.
TEST(Lifecycle, BytesAClientLeftUnreadAreLostLikeOnASerialPort) {
    BoardProcess board("");
    ASSERT_TRUE(board.Ready()) << board.path;
    int leaving = pty::OpenRaw(LinkPath(3), 38400);
    pollfd reply{leaving, POLLIN, 0};
    ASSERT_EQ(write(leaving, "z", 1), 1);
    ASSERT_EQ(poll(&reply, 1, 1000), 1);
    close(leaving); // the frame stays unread
    Sleep(50);
    int next = pty::OpenRaw(LinkPath(3), 38400);
    ASSERT_EQ(write(next, "P", 1), 1);
    EXPECT_EQ(ReadReply(next), Bytes{'Q'});
    close(next);
}

// After N commands the adapter is pulled: the next command finds it gone and gets no answer; it
// comes back under the same name, or the board ends. Bytes that are no command do not count.
TEST(Lifecycle, AnswersExactlyNCommandsThenUnplugsAndReturnsOrEnds) {
    for (bool returns : {true, false}) {
        BoardProcess board(returns ? "--drop-after 2 --return-after 1000" : "--drop-after 2");
        ASSERT_TRUE(board.Ready()) << board.path;
        {
            Client client(3, 38400);
            EXPECT_EQ(client.Exchange('P'), Bytes{'Q'});
            EXPECT_EQ(client.Exchange('x', 100), Bytes{});
            EXPECT_EQ(client.Exchange('P'), Bytes{'Q'});
            EXPECT_EQ(client.Exchange('P', 150, 20), Bytes{}) << "a third command was answered";
            EXPECT_EQ(board.Line(), "unplugged");
            EXPECT_EQ(LinkTarget(3), "");
        }
        if (returns) {
            ASSERT_TRUE(board.Ready()) << board.path;
            EXPECT_EQ(LinkTarget(3), board.path);
            EXPECT_EQ(Client(3, 38400).Exchange('P'), Bytes{'Q'});
            kill(board.pid, SIGTERM);
        }
        EXPECT_EQ(board.End(), 0); // without a return it ends by itself
    }
}

TEST(Lifecycle, SleepsWhileIdleAfterAClientLeft) {
    BoardProcess board("");
    ASSERT_TRUE(board.Ready()) << board.path;
    EXPECT_EQ(Client(3, 38400).Exchange('P'), Bytes{'Q'}); // the client closes: the master hangs up
    Sleep(100);
    // The board's time on a CPU in ns and how often it ran, from the scheduler's statistics.
    auto usage = [&] {
        std::ifstream stat(board.Proc("schedstat"));
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

TEST(Options, BadArgumentsEndWithAReasonAndStatus2) {
    // The arguments, and the reason the message gives.
    const std::pair<const char*, const char*> rows[] = {
        {"--frobnicate", "unknown option \"--frobnicate\""},
        {"--com", "--com needs a value"},
        {"--com 0", "--com wants a whole number from 1 to 256"},
        {"--com 3x", "not \"3x\""},
        {"--baud fast", "or \"any\""},
        {"--tilt 1,2", "three numbers from 0 to 255"},
        {"--tilt 1,2,256", "three numbers from 0 to 255"},
        {"--volts 1,2,3,4,5,6", "seven numbers"},
        {"--volts 1,2,3,4,5,6,nan", "seven numbers"},
        {"--noise 0", "--noise wants a whole number from 1"},
        {"--silent=yes", "--silent takes no value"},
        {"--short --long", "exclude each other"},
        {"--return-after 100", "needs --drop-after"},
        {"--com 4 --device /dev/ttyUSB1", "leave out --com"},
        {"--device=", "path of a serial device"}};
    for (const auto& [args, reason] : rows) {
        std::string errors;
        EXPECT_EQ(BoardProcess(args).End(&errors), 2) << args;
        EXPECT_EQ(errors.rfind("korvane-board: ", 0), 0u) << errors;
        EXPECT_NE(errors.find(reason), std::string::npos) << errors;
        EXPECT_NE(errors.find(" (see korvane-board --help)\n"), std::string::npos) << errors;
    }
}

// Every number is taken at its maximum and refused one past it.
TEST(Options, EveryNumberIsAcceptedAtItsMaximumOnly) {
    const std::pair<std::vector<const char*>, const char*> rows[] = {
        {{"--com", "256"}, "257"},
        {{"--baud", "4000000"}, "4000001"},
        {{"--delay", "3600000"}, "3600001"},
        {{"--noise", "100000"}, "100001"},
        {{"--drop-after", "1000000000"}, "1000000001"},
        {{"--drop-after", "1", "--return-after", "3600000"}, "3600001"},
        {{"--tilt", "255,255,255"}, "255,255,256"}};
    for (auto [args, past] : rows) {
        board::BoardOptions options;
        std::string error;
        args.insert(args.begin(), "korvane-board");
        EXPECT_EQ(board::ParseOptions(int(args.size()), args.data(), &options, &error),
                  board::ParseResult::Run)
            << args.back() << ": " << error;
        args.back() = past;
        EXPECT_EQ(board::ParseOptions(int(args.size()), args.data(), &options, &error),
                  board::ParseResult::Error)
            << past;
    }
}

// The help wins over everything else on the line, even a bad value.
TEST(Options, HelpDocumentsEveryOption) {
    for (const char* args : {"--help", "--com 0 -h"}) {
        std::string help;
        EXPECT_EQ(BoardProcess(args).End(&help), 0) << args;
        for (const char* option : {"--com", "--force", "--device", "--baud", "--tilt", "--volts", "--delay",
                                   "--wire", "--silent", "--probe-extra", "--short", "--long", "--noise",
                                   "--flood", "--drop-after", "--return-after", "--log", "Example:"})
            EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

} // namespace
