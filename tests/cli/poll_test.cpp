// poll against the board emulator: fixed readings in each mode and format, replies of the wrong
// length, the tick times, and the ways a poll ends.
#include "cli_process.h"

#include <chrono>
#include <regex>

using boardtest::BoardProcess;
using clitest::CliProcess;
using clitest::CliRun;
using clitest::Lines;

constexpr const char* kFixed = "--com 3 --tilt 128,64,3 --volts 0,1,2,3,-5,5,5";

// Fixed readings on COM3 (the buttons apart) in each mode and format, and a board on COM4 whose
// replies are all short: a tick without a valid reply writes no row (in DVM mode the program's
// message instead, once a run). A reply may miss its tick on a loaded machine: the rows that came
// are exact, at least one came, their times are whole ticks apart and no later than the real time.
TEST(Poll, WritesOneRowPerTickInEachModeAndFormat) {
    BoardProcess board("--com 3 --tilt 128,64,2 --volts 0,1,2,3,-5,5,5"), shortReplies("--com 4 --short");
    ASSERT_TRUE(board.Ready() && shortReplies.Ready());
    const std::tuple<const char*, const char*, const char*, std::string, std::string> rows[] = {
        // COM, mode, format, header and rows with T for the time, standard error
        {"3", "tilt", "csv", "t_ms,x,y,left,right\nT,128,64,UP,DOWN\n", ""},
        {"3", "dvm", "CSV", "t_ms,ch0,ch1,ch2,ch3,ch4,ch5,ch6\nT,0.00,1.00,2.00,3.00,-5.00,5.00,5.00\n", ""},
        {"3", "TILT", "json", "{\"t_ms\":T,\"x\":128,\"y\":64,\"left\":\"UP\",\"right\":\"DOWN\"}\n", ""},
        {"3", "dvm", "json",
         "{\"t_ms\":T,\"ch0\":0.00,\"ch1\":1.00,\"ch2\":2.00,\"ch3\":3.00,\"ch4\":-5.00,\"ch5\":5.00,\"ch6\":"
         "5.00}\n",
         ""},
        {"3", "tilt", "text", "  t_ms    x    y  left  right\n     T  128   64  UP    DOWN\n", ""},
        {"3", "dvm", "text",
         "  t_ms    ch0    ch1    ch2    ch3    ch4    ch5    ch6  (V)\n     T   0.00   1.00   2.00   3.00  "
         "-5.00   5.00   5.00\n",
         ""},
        // The third tick without a valid reply starts a run of misses; DVM's message comes once a run.
        {"COM4", "tilt", "csv", "t_ms,x,y,left,right\n", "COM4: no reply\n"},
        {"COM4", "dvm", "csv", "t_ms,ch0,ch1,ch2,ch3,ch4,ch5,ch6\n",
         "Error reading voltages.\nCOM4: no reply\n"},
    };
    for (const auto& [com, mode, format, expected, err] : rows) {
        SCOPED_TRACE(std::string(com) + " " + mode + " " + format);
        const auto start = std::chrono::steady_clock::now();
        CliRun poll({"poll", com, "--mode", mode, "--format", format, "--count", "5"});
        const auto wallMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        std::vector<std::string> lines = Lines(poll.out), want = Lines(expected);
        ASSERT_FALSE(lines.empty() || want.empty()) << poll.out;
        const bool json = lines[0] != want[0]; // no header; a wrong one fails as a row below
        EXPECT_TRUE(*com == '3' ? lines.size() > !json && lines.size() <= 5u + !json : lines.size() == 1)
            << poll.out;
        long long last = -100;
        for (size_t i = !json; i < lines.size(); ++i) { // each row with its time, the times whole ticks apart
            const long long t = std::stoll(lines[i].substr(lines[i].find_first_of("0123456789")));
            std::string row = want.back(), time = std::to_string(t);
            row.replace(row.find('T') - (row[0] == ' ' ? 5 : 0), row[0] == ' ' ? 6 : 1,
                        std::string(row[0] == ' ' ? 6 - time.size() : 0, ' ') + time);
            EXPECT_EQ(lines[i], row);
            EXPECT_TRUE(t % 100 == 0 && t > last && t <= wallMs)
                << t << " after " << last << " in " << wallMs << " ms";
            last = t;
        }
        // On a loaded machine a fixed board may miss a DVM tick: its message, never another line.
        std::string missed = poll.err;
        for (size_t at; *com == '3' && (at = missed.find("Error reading voltages.\n")) != std::string::npos;)
            missed.erase(at, 24);
        EXPECT_EQ(std::tuple(poll.status, missed), std::tuple(0, err));
    }
}

// A board that falls silent, or goes away and comes back on a new pseudo-terminal under the same COM
// link: the state lines in order, the exit status, the rows (at least; a tick may miss on a loaded
// machine) and the longest step of their one t_ms clock. Without --reconnect a failed port ends it.
TEST(Poll, SaysWhenTheBoardIsLostAndFollowsItBack) {
    const std::tuple<const char*, const char*, int, const char*, size_t, long long> rows[] = {
        {"--silent-after 5 --answer-after 550", "14", 0, "COM3: no reply\nCOM3: back at 38400 baud\n", 4,
         400},
        {"--drop-after 5", "", 1, "COM3: device gone\n", 4, 100},
        {"--drop-after 5 --return-after 300", "17", 0, "COM3: device gone\nCOM3: back at 38400 baud\n", 5,
         1000}};
    for (const auto& [args, count, status, err, minRows, gap] : rows) {
        BoardProcess board(std::string(kFixed) + " " + args);
        ASSERT_TRUE(board.Ready());
        CliRun poll(
            *count ? std::vector<std::string>{"poll", "3", "--format=csv", "--reconnect", "--count", count}
                   : std::vector<std::string>{"poll", "3", "--format=csv"});
        std::vector<std::string> lines = Lines(poll.out);
        long long last = lines.size() > 1 ? std::stoll(lines[1]) : 0, longest = 0;
        for (size_t i = 2; i < lines.size(); last = std::stoll(lines[i++]))
            longest = std::max(longest, std::stoll(lines[i]) - last);
        EXPECT_EQ(std::tuple(poll.status, poll.err, lines.size() > minRows, longest >= gap),
                  std::tuple(status, err, true, true))
            << args << ": " << poll.out;
    }
}

// SIGINT and SIGTERM end it at the next tick with whole rows and the port given back; a reader that
// goes away ends it quietly; a full disk is a failure.
TEST(Poll, EndsCleanlyOnSigintSigtermOrAReaderGoneAndAFullDiskIsAFailure) {
    BoardProcess board(kFixed);
    ASSERT_TRUE(board.Ready());
    for (int signal : {SIGINT, SIGTERM, 0}) {
        CliProcess poll({"poll", "3", "--format", "csv"});
        std::string head = poll.OutLine();
        head += "\n" + poll.OutLine();
        if (signal) kill(poll.pid, signal);
        const int status = poll.Finish(signal != 0); // 0: the reader closes its end
        EXPECT_EQ(std::tuple(head, status, poll.err, poll.out.back(), CliRun({"probe", "3"}).status),
                  std::tuple("t_ms,x,y,left,right\n0,128,64,UP,UP", 0, "", '\n', 0))
            << signal << ": whole rows only, the port given back";
    }
    CliRun full({"poll", "3", "--count", "1"}, " >/dev/full");
    EXPECT_EQ(std::tuple(full.status, full.err),
              std::tuple(1, "korvane-cli: cannot write the rows: No space left on device\n"));
}

// --fast: exact rows with three-decimal times, the pace of --interval against a board that answers
// 20 ms late (real elapsed time, checked from below), and the closing line counting replies (one a
// row) and misses. A reply may miss on a loaded machine: a board that answers gives one at least;
// one 60 ms late never does at --interval 100 (the discard drops the late reply).
TEST(Poll, FastReadsEachReplyWhenWholeCountsMissesAndKeepsTheInterval) {
    BoardProcess board(kFixed), shortReplies("--com 4 --short"), late("--com 5 --tilt 1,2,0 --delay 20"),
        later("--com 6 --tilt 1,2,0 --delay 60");
    ASSERT_TRUE(board.Ready() && shortReplies.Ready() && late.Ready() && later.Ready());
    const std::tuple<std::vector<std::string>, std::string, int, double> rows[] = {
        // arguments, row after "<t_ms>," ("": none comes), ticks, least step between the rows' times (ms;
        // a step may come short by the lateness of the tick before it, as the schedule does not shift)
        {{"3", "--count", "5"}, "128,64,UP,UP", 5, 0},
        {{"3", "--mode", "dvm", "--count", "2"}, "0.00,1.00,2.00,3.00,-5.00,5.00,5.00", 2, 0},
        {{"4", "--count", "2"}, "", 2, 0},
        {{"5", "--count", "3"}, "1,2,DOWN,DOWN", 3, 20},
        {{"5", "--count", "3", "--interval", "150"}, "1,2,DOWN,DOWN", 3, 149},
        {{"6", "--count", "3", "--interval", "100"}, "", 3, 0}};
    for (const auto& [args, row, count, stepMs] : rows) {
        std::vector<std::string> command{"poll", "--fast", "--format", "csv"};
        command.insert(command.end(), args.begin(), args.end());
        const auto start = std::chrono::steady_clock::now();
        CliRun poll(command);
        const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
        std::vector<std::string> lines = Lines(poll.out);
        const int replies = int(lines.size()) - 1;
        EXPECT_TRUE(row.empty() ? replies == 0 : replies >= 1 && replies <= count) << poll.out;
        for (int i = 1; i <= replies; ++i) {
            const size_t comma = lines[i].find(',');
            const double step = std::stod(lines[i]) - (i > 1 ? std::stod(lines[i - 1]) : 0);
            EXPECT_EQ(lines[i].substr(comma + 1), row);
            EXPECT_TRUE(comma > 4 && lines[i][comma - 4] == '.' &&
                        (i > 1 ? step >= 0.8 * stepMs : lines[i].rfind("0.000,", 0) == 0))
                << lines[i];
        }
        EXPECT_GE(wall.count(), stepMs * (count - 1));
        std::smatch end;
        ASSERT_TRUE(std::regex_match(
            poll.err, end,
            std::regex("(\\d+) replies, (\\d+) missed in (\\d+\\.\\d{3}) s \\((\\d+\\.\\d) per second\\)\n")))
            << poll.err;
        EXPECT_EQ(std::tuple(poll.status, std::stoi(end[1]), std::stoi(end[2])),
                  std::tuple(0, replies, count - replies));
        const double seconds = std::stod(end[3]), perSecond = std::stod(end[4]);
        EXPECT_NEAR(perSecond * seconds, replies, 0.05 + perSecond * 0.0005); // the seconds are rounded
    }
}
