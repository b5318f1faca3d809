// Commands, speeds, timing, faults and readings, seen from the program's side of the line:
// WinCommPort on the COM link, the timed link over it and a settings holder, as the program builds
// them.
#include "../common/board_session.h"

#include "pty_posix.h"
#include "readings.h"

#include <chrono>

namespace {

using namespace boardtest;

const Bytes kTiltFrame{0x80, 0x40, 0x03};
// Rounded and clamped to 0..255; channel 4 spans -5..+5 V.
const Bytes kDvmFrame{1, 51, 128, 255, 51, 0, 254};

// The arguments of a board with the fixed readings of the frames above (in both spellings) and `more`.
std::string Fixed(const std::string& more) {
    return "--tilt=0x80,64,3 --volts 0.01,1,2.5,7,-3,-1,4.99 " + more;
}

// One board per row: the commands, the speeds it answers at, the faults that change answers, and
// the log line of its first byte (none without --log). Command 0 sends nothing: a late answer.
TEST(Exchange, AnswersEachCommandAtItsOwnSpeedAsTheFaultFlagsSay) {
    const struct {
        const char* options; // besides the fixed readings
        int lineBaud;
        std::vector<std::pair<char, Bytes>> exchanges; // command and reply, in turn
        const char* log = nullptr;
    } rows[] = {
        {"", 38400, {{'P', {'Q'}}, {'z', kTiltFrame}, {'s', kDvmFrame}, {'x', {}}, {'p', {}}, {'P', {'Q'}}}},
        {"--log",
         128000,
         {{'P', {}}},
         " rx 0x50 'P' at 128000 baud -> ignored: line at 128000, board at 38400"},
        {"--baud=128000", 128000, {{'P', {'Q'}}}},
        {"--baud 128000", 38400, {{'P', {}}}},
        {"--baud any --log", 9600, {{'z', kTiltFrame}}, " rx 0x7A 'z' at 9600 baud -> 80 40 03"},
        {"--silent", 38400, {{'P', {}}, {'z', {}}}},
        {"--probe-extra", 38400, {{'P', {'Q', 0x0D}}, {'z', kTiltFrame}}},
        {"--short", 38400, {{'z', {0x80, 0x40}}, {'s', {1, 51, 128, 255, 51, 0}}, {'P', {'Q'}}}},
        {"--long", 38400, {{'z', {0x80, 0x40, 0x03, 0x0D}}, {'s', {1, 51, 128, 255, 51, 0, 254, 0x0D}}}},
        {"--delay 300", 38400, {{'P', {}}, {0, {'Q'}}}},
    };
    for (const auto& row : rows) {
        Session s(Fixed(row.options), row.lineBaud);
        ASSERT_TRUE(s.ready) << s.board.path;
        for (const auto& [command, reply] : row.exchanges)
            EXPECT_EQ(s.client.Exchange(command, reply.empty() ? 150 : 2000), reply)
                << row.options << ", line at " << row.lineBaud << ", '" << command << "'";
        EXPECT_TRUE(!row.log || s.board.Line().ends_with(row.log)) << row.log;
    }
}

// Stray or unpaused bytes: how many arrive within a window (after a first byte, at most 1 s, and
// `settleMs` more) and how they start.
TEST(Exchange, NoiseAndFloodSendWithoutACommand) {
    const struct {
        const char* options;
        int settleMs;
        size_t least, most;
        Bytes start;
    } rows[] = {{"--noise 50", 300, 5, 30, {}}, {"--flood", 100, 300, SIZE_MAX, kTiltFrame}};
    for (const auto& row : rows) {
        Session s(Fixed(row.options));
        ASSERT_TRUE(s.ready) << s.board.path;
        Bytes got = s.client.Exchange(0, 1000, row.settleMs);
        EXPECT_EQ(std::tuple(got.size() >= row.least, got.size() <= row.most,
                             Bytes(got.begin(), got.begin() + std::min(got.size(), row.start.size()))),
                  std::tuple(true, true, row.start))
            << row.options << ": " << got.size() << " bytes";
    }
}

// The slave of a second pseudo-terminal stands in for the board's end of a null-modem cable.
TEST(Exchange, ServesARealDeviceWithoutALink) {
    std::string device;
    int cable = pty::OpenMaster(&device);
    ASSERT_GE(cable, 0);
    {
        BoardProcess board(Fixed("--device " + device));
        EXPECT_EQ(
            (std::tuple{board.Ready(), board.path, LinkTarget(3), write(cable, "z", 1), ReadReply(cable)}),
            (std::tuple{true, device, std::string(), ssize_t{1}, kTiltFrame}));
    }
    close(cable);
}

// At 50 baud a byte takes ten bits, 200 ms: the DVM frame's bytes arrive that far apart. The
// spacing is the slope through all seven arrival times, so one late look hardly moves it; 7.5 %
// keeps nine or eleven bits a byte out.
TEST(Exchange, WireSpacesTheBytesByTenBitsEach) {
    Session s(Fixed("--baud any --wire"), 50);
    ASSERT_TRUE(s.ready) << s.board.path;
    ASSERT_EQ(s.client.link.Send("s", 1), 1);
    const auto start = std::chrono::steady_clock::now();
    std::vector<double> arrivedMs; // when each byte was first seen queued
    WaitUntil(4000, [&] {
        for (int queued = s.client.link.RxCount(); arrivedMs.size() < static_cast<size_t>(queued);)
            arrivedMs.push_back((std::chrono::steady_clock::now() - start) / std::chrono::microseconds(1) /
                                1e3);
        return arrivedMs.size() >= 7;
    });
    ASSERT_EQ(arrivedMs.size(), 7u);
    double slope = 0; // least squares over the byte numbers -3..3
    for (size_t i = 0; i < 7; ++i) slope += (static_cast<double>(i) - 3) * arrivedMs[i] / 28;
    const double byteMs = 10 * 1000.0 / 50;
    EXPECT_NEAR(slope, byteMs, 0.075 * byteMs);
    // The command takes a byte time to arrive, the first byte another.
    EXPECT_EQ(std::tuple(arrivedMs[0] > 1.5 * byteMs, s.client.Exchange(0, 0, 0)),
              std::tuple(true, kDvmFrame))
        << arrivedMs[0] << " ms";
}

TEST(Readings, MoveByDefault) {
    board::BoardOptions options;
    board::Readings moving(options); // the buttons change every few seconds
    EXPECT_EQ(std::tuple(moving.Tilt(0) != moving.Tilt(1000), moving.Tilt(0)[2] != moving.Tilt(3000)[2],
                         moving.Dvm(0) != moving.Dvm(2500)),
              std::tuple(true, true, true));
}

} // namespace
