// Commands, speeds, timing and a real device, seen from the program's side of the line:
// WinCommPort on the COM link, the timed link over it and a settings holder, as the program builds
// them.
#include "../common/board_session.h"

#include "pty_posix.h"

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

// One board per row: the commands, the speeds it answers at, a late answer, and the log line of its
// first byte (none without --log). Command 0 sends nothing: a late answer. The fault flags that change
// answers (--silent, --probe-extra, --short, --long, --noise, --flood) are driven through the
// program's own link by the BoardLink tests (tests/app/boardlink_test.cpp).
TEST(Exchange, AnswersEachCommandAtItsOwnSpeedAndDelay) {
    // clang-format off
    const std::tuple<const char*, int, std::vector<std::pair<char, Bytes>>, const char*> rows[] = {
        {"", 38400, {{'P', {'Q'}}, {'z', kTiltFrame}, {'s', kDvmFrame}, {'x', {}}, {'p', {}}, {'P', {'Q'}}}, ""},
        {"--log", 128000, {{'P', {}}}, " rx 0x50 'P' at 128000 baud -> ignored: line at 128000, board at 38400"},
        {"--baud=128000", 128000, {{'P', {'Q'}}}, ""},
        {"--baud any --log", 9600, {{'z', kTiltFrame}}, " rx 0x7A 'z' at 9600 baud -> 80 40 03"},
        {"--delay 300", 38400, {{'P', {}}, {0, {'Q'}}}, ""}};
    // clang-format on
    for (const auto& [options, lineBaud, exchanges, log] : rows) {
        Session s(Fixed(options), lineBaud);
        ASSERT_TRUE(s.ready) << s.board.path;
        for (const auto& [command, reply] : exchanges)
            EXPECT_EQ(s.client.Exchange(command, reply.empty() ? 150 : 2000), reply)
                << options << ", line at " << lineBaud << ", '" << command << "'";
        EXPECT_TRUE(!*log || s.board.Line().ends_with(log)) << log;
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

} // namespace
