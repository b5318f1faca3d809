// The board's life on the line: its COM link, clients that come and go, unplugging and returning,
// the end of the program, idling, and its arguments.
#include "../common/board_session.h"

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
// descriptors are counted only while it holds none of the slave (at most 2 s; -1 then).
TEST(Lifecycle, SurvivesManyOpenCloseCyclesWithoutLeaking) {
    BoardProcess board("");
    ASSERT_TRUE(board.Ready()) << board.path;
    Client(3, 38400).Exchange('P'); // first cycle: settles any lazily opened descriptors
    auto count = [](const std::string& dir, const std::string& slave) {
        long n = 0;
        for (const auto& fd : std::filesystem::directory_iterator(dir)) {
            std::error_code gone; // a descriptor that went away while listed counts as the slave
            if (std::filesystem::read_symlink(fd, gone) == slave || gone) return -1L;
            ++n;
        }
        return n;
    };
    auto atRest = [&] {
        long n = -1;
        WaitUntil(2000, [&] { return (n = count(board.Proc("fd"), board.path)) >= 0; });
        return n;
    };
    const long before = atRest(), ownBefore = count("/proc/self/fd", "");
    ASSERT_GT(before, 0);
    for (int cycle = 0; cycle < 60; ++cycle) {
        Client client(3, 38400);
        ASSERT_EQ(std::tuple(client.status, client.Exchange('P', 1000, 5)), std::tuple(0, Bytes{'Q'}))
            << cycle;
    }
    EXPECT_EQ(count("/proc/self/fd", ""), ownBefore) << "this process";
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

// A reply still waiting for its time goes with the client that left: the next one, there long
// before the reply would have been due, gets none of it. The first client leaves once the board
// logged its command (it is gone by the time the board reads the hang-up).
TEST(Lifecycle, RepliesQueuedForAClientThatLeftAreDropped) {
    BoardProcess board("--delay 1000 --log");
    ASSERT_TRUE(board.Ready()) << board.path;
    {
        Client leaving(3, 38400);
        ASSERT_EQ(leaving.link.Send("P", 1), 1);
        EXPECT_NE(board.Line().find(" rx 0x50 'P'"), std::string::npos);
    }
    Sleep(300); // the board reads the hang-up
    Client next(3, 38400);
    EXPECT_EQ((std::vector{next.Exchange(0, 1200), next.Exchange('P', 2000)}),
              (std::vector<Bytes>{{}, {'Q'}}));
}

// After N commands the adapter is pulled: the next command finds it gone and gets no answer; it
// comes back under the same name, or the board ends. Bytes that are no command do not count.
TEST(Lifecycle, AnswersExactlyNCommandsThenUnplugsAndReturnsOrEnds) {
    for (bool returns : {true, false}) {
        BoardProcess board(returns ? "--drop-after 2 --return-after 1000" : "--drop-after 2");
        ASSERT_TRUE(board.Ready()) << board.path;
        {
            Client client(3, 38400);
            EXPECT_EQ((std::tuple{client.Exchange('P'), client.Exchange('x', 100), client.Exchange('P')}),
                      std::tuple(Bytes{'Q'}, Bytes{}, Bytes{'Q'}));
            const DWORD third = GetTickCount();
            EXPECT_EQ(client.Exchange('P', 150, 20), Bytes{}) << "a third command was answered";
            EXPECT_EQ((std::tuple{board.Line(), LinkTarget(3)}), std::tuple("unplugged", ""));
            EXPECT_LT(GetTickCount() - third, 700u) << "the command did not find the adapter gone at once";
        }
        if (returns) { // the count starts afresh with the adapter
            ASSERT_TRUE(board.Ready()) << board.path;
            EXPECT_EQ(LinkTarget(3), board.path);
            Client back(3, 38400);
            EXPECT_EQ((std::vector{back.Exchange('P'), back.Exchange('P'), back.Exchange('P', 150, 20)}),
                      (std::vector<Bytes>{{'Q'}, {'Q'}, {}}));
            kill(board.pid, SIGTERM);
        }
        EXPECT_EQ(board.End(), 0); // without a return it ends by itself
    }
}

// The board's time on a CPU and how often it ran, from the scheduler's statistics, over half a
// second after its client closed (and the master hung up).
TEST(Lifecycle, SleepsWhileIdleAfterAClientLeft) {
    BoardProcess board("");
    ASSERT_TRUE(board.Ready()) << board.path;
    EXPECT_EQ(Client(3, 38400).Exchange('P'), Bytes{'Q'});
    Sleep(100);
    long cpuNs[2] = {}, waitNs, runs[2] = {};
    for (int i = 0; i < 2; Sleep(i++ ? 0 : 500))
        std::ifstream(board.Proc("schedstat")) >> cpuNs[i] >> waitNs >> runs[i];
    ASSERT_GT(runs[0], 0);
    EXPECT_LE(runs[1] - runs[0], 2) << "the board wakes up while idle";
    EXPECT_LE(cpuNs[1] - cpuNs[0], 10'000'000) << "the board spins while idle";
}

// The help wins over everything else on the line, even a bad value; bad arguments end with status
// 2 and one line that gives the reason.
TEST(Options, BadArgumentsEndWithAReasonAndStatus2AndHelpDocumentsEveryOption) {
    const std::vector<const char*> help = {
        "--com",        "--force",        "--device",       "--baud",         "--tilt", "--volts", "--delay",
        "--wire",       "--silent",       "--probe-extra",  "--short",        "--long", "--noise", "--flood",
        "--drop-after", "--return-after", "--silent-after", "--answer-after", "--log",  "Example:"};
    const std::pair<const char*, std::vector<const char*>> rows[] = {
        {"--frobnicate", {"unknown option \"--frobnicate\""}},
        {"--com", {"--com needs a value"}},
        {"--com 0", {"--com wants a whole number from 1 to 256"}},
        {"--com 3x", {"not \"3x\""}},
        {"--baud fast", {"or \"any\""}},
        {"--tilt 1,2", {"three numbers from 0 to 255"}},
        {"--volts 1,2,3,4,5,6", {"seven numbers"}},
        {"--volts 1,2,3,4,5,6,nan", {"seven numbers"}},
        {"--noise 0", {"--noise wants a whole number from 1"}},
        {"--silent=yes", {"--silent takes no value"}},
        {"--short --long", {"exclude each other"}},
        {"--return-after 100", {"needs --drop-after"}},
        {"--answer-after 100", {"needs --silent-after"}},
        {"--com 4 --device /dev/ttyUSB1", {"leave out --com"}},
        {"--device=", {"path of a serial device"}},
        {"--help", help},
        {"--com 0 -h", help}};
    for (const auto& [args, needles] : rows) {
        std::string out;
        const bool error = needles.size() == 1;
        EXPECT_EQ(BoardProcess(args).End(&out), error ? 2 : 0) << args;
        EXPECT_EQ(out.starts_with("korvane-board: ") && out.ends_with(" (see korvane-board --help)\n"), error)
            << out;
        for (const char* needle : needles)
            EXPECT_NE(out.find(needle), std::string::npos) << needle << " in " << out;
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
        const auto result = board::ParseOptions(int(args.size()), args.data(), &options, &error);
        args.back() = past;
        EXPECT_EQ(std::tuple(result, board::ParseOptions(int(args.size()), args.data(), &options, &error)),
                  std::tuple(board::ParseResult::Run, board::ParseResult::Error))
            << past << ": " << error;
    }
}

} // namespace
