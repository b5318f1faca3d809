// The board's life on the line: its COM link, clients that come and go, unplugging and returning,
// the end of the program, idling, and its arguments.
#include "../common/board_session.h"

#include "options.h"
#include "pty_posix.h"

#include <fstream>
#include <sstream>

namespace {

using namespace boardtest;

TEST(Lifecycle, LinksItsLineAndTouchesNoLinkItDidNotCreate) {
    std::filesystem::create_directories(std::filesystem::path(LinkPath(4)).parent_path());
    ASSERT_EQ(symlink("/dev/null", LinkPath(4).c_str()), 0);
    std::string errors;
    EXPECT_EQ((std::tuple{BoardProcess("--com 4").End(&errors), errors, LinkTarget(4)}),
              (std::tuple{
                  1,
                  "korvane-board: " + LinkPath(4) +
                      " already links to /dev/null (another board or adapter?); use --force to replace it\n",
                  std::string("/dev/null")}));
    {
        BoardProcess forced("--com=4 --force"); // ends on SIGTERM here
        ASSERT_TRUE(forced.Ready()) << forced.path;
        EXPECT_EQ(
            (std::tuple{forced.path.starts_with("/dev/pts/"), LinkTarget(4), Client(4, 38400).Exchange('P')}),
            (std::tuple{true, forced.path, Bytes{'Q'}}));
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

// A plain terminal program does not purge on open as WinCommPort does: it must find nothing old.
TEST(Lifecycle, BytesAClientLeftUnreadAreLostLikeOnASerialPort) {
    BoardProcess board("");
    ASSERT_TRUE(board.Ready()) << board.path;
    int leaving = pty::OpenRaw(LinkPath(3), 38400);
    pollfd reply{leaving, POLLIN, 0};
    ASSERT_EQ(write(leaving, "z", 1), 1);
    ASSERT_EQ(poll(&reply, 1, 1000), 1);
    close(leaving), Sleep(50); // the frame stays unread
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
            // A third command is not answered, and finds the adapter gone at once.
            EXPECT_EQ((std::tuple{client.Exchange('P', 150, 20), board.Line(), LinkTarget(3),
                                  GetTickCount() - third < 700}),
                      (std::tuple{Bytes{}, std::string("unplugged"), std::string(), true}));
        }
        if (returns) { // the count starts afresh with the adapter
            ASSERT_TRUE(board.Ready()) << board.path;
            Client back(3, 38400);
            EXPECT_EQ((std::tuple{LinkTarget(3), std::vector{back.Exchange('P'), back.Exchange('P'),
                                                             back.Exchange('P', 150, 20)}}),
                      (std::tuple{board.path, std::vector<Bytes>{{'Q'}, {'Q'}, {}}}));
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
    EXPECT_EQ(std::tuple(runs[1] - runs[0] <= 2, cpuNs[1] - cpuNs[0] <= 10'000'000), std::tuple(true, true))
        << "the board wakes up or spins while idle: " << runs[1] - runs[0] << " runs, " << cpuNs[1] - cpuNs[0]
        << " ns";
}

// Every number is taken at its maximum and refused one past it; bad arguments give one line that
// says why; the help wins over everything else on the line, even a bad value. Rows: the arguments
// (split at spaces), what they ask for and what the reason holds.
TEST(Options, EveryNumberIsAcceptedAtItsMaximumOnlyAndBadArgumentsSayWhy) {
    using enum board::ParseResult;
    // clang-format off
    const std::tuple<const char*, board::ParseResult, const char*> rows[] = {
        {"--com 256", Run, ""}, {"--com 257", Error, "--com wants a whole number from 1 to 256"},
        {"--drop-after 1 --return-after 3600000", Run, ""}, {"--drop-after 1 --return-after 3600001", Error, ""},
        {"--tilt 255,255,255", Run, ""}, {"--tilt 255,255,256", Error, "three numbers from 0 to 255"},
        {"--frobnicate", Error, "unknown option \"--frobnicate\""}, {"--com", Error, "--com needs a value"},
        {"--volts 1,2,3,4,5,6,nan", Error, "seven numbers"}, {"--silent=yes", Error, "--silent takes no value"},
        {"--short --long", Error, "exclude each other"}, {"--return-after 100", Error, "needs --drop-after"},
        {"--com 4 --device /dev/ttyUSB1", Error, "leave out --com"}, {"--com 0 -h", Help, ""}};
    // clang-format on
    for (const auto& [line, result, reason] : rows) {
        std::vector<std::string> words{"korvane-board"};
        for (std::istringstream in(line); in >> words.emplace_back();) {
        }
        words.pop_back();
        std::vector<const char*> argv;
        for (const std::string& word : words) argv.push_back(word.c_str());
        board::BoardOptions options;
        std::string error;
        EXPECT_EQ((std::tuple{board::ParseOptions(int(argv.size()), argv.data(), &options, &error),
                              error.find(reason) != std::string::npos}),
                  std::tuple(result, true))
            << line << ": " << error;
    }
    // The program adds what to do, and ends with status 2 on an error, 0 after the help.
    std::string error, helped;
    EXPECT_EQ((std::tuple{BoardProcess("--com 0").End(&error), error, BoardProcess("--com 0 -h").End(&helped),
                          helped == board::UsageText()}),
              (std::tuple{2,
                          std::string("korvane-board: --com wants a whole number from 1 to 256, not \"0\" "
                                      "(see korvane-board --help)\n"),
                          0, true}));
}

} // namespace
