// CommLink over a scripted port with a substituted tick source: construction, waits, the open check.
#include "CommLink.h"
#include "LibraryServices.h"
#include "PortSettings.h"
#include "scripted_port.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

namespace {

using Calls = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

uint32_t g_tick = 0;
int g_tickReads = 0;

// A clock that stands still until a test moves it.
struct FakeClock : LibraryServices {
    DWORD TickCount() override { return ++g_tickReads, g_tick; }
};

// Every test runs on a fake clock that moves 1 ms per Idle step of the port.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_tick = 1000;
        previous_ = SetLibraryServices(&clock_);
        port.onIdle = [](int) { ++g_tick; };
    }
    void TearDown() override { SetLibraryServices(previous_); }
    // Runs `call` from Idle step 0: its result and the Idle steps it took.
    std::pair<int, int> Steps(const std::function<int()>& call) {
        port.idleCount = 0, port.idleLimits.clear();
        const int result = call();
        return {result, port.idleCount};
    }
    // Each wait step is given what is left of a `timeoutMs` wait: timeoutMs, timeoutMs - 1, ... 1.
    bool StepsGotTheTimeLeft(int timeoutMs) const {
        std::vector<int> left(static_cast<size_t>(timeoutMs));
        std::iota(left.rbegin(), left.rend(), 1);
        return port.idleLimits == left;
    }

    ScriptedPort port;
    FakeClock clock_;
    LibraryServices* previous_ = nullptr;
};

TEST_F(LinkTest, ConstructionSavesThenSetsAndDestructionRestoresInReverse) {
    port.inputFlow = FLOW_XON_XOFF;
    auto link = std::make_unique<CommLink>(&port);
    EXPECT_EQ(port.calls, (Calls{"GetSettings", "SetSettings 1200 N 8 1", "SetSettings 9600 N 8 1",
                                 "TakeLineState", "GetFlowControl", "SetFlowControl 0 0"}));
    port.calls.clear(), link.reset();
    EXPECT_EQ(port.calls, (Calls{"SetFlowControl 1 0", "SetSettings 19200 N 8 1"}));
}

TEST_F(LinkTest, CheckOpenReportsOnlyErrorsSinceTheLastSnapshot) {
    // clang-format off
    const std::pair<std::set<int>, uint16_t> rows[] = {{{}, 0}, {{LINE_PARITY_ERROR}, 1}, {{LINE_FRAMING_ERROR}, 2},
        {{LINE_RX_OVERFLOW}, 4}, {{LINE_OVERRUN}, 8}, {{LINE_BREAK_DETECT}, 16}, {{LINE_PARITY_ERROR, LINE_BREAK_DETECT}, 17}};
    // clang-format on
    for (const auto& [errors, expected] : rows) {
        ScriptedPort fresh;
        fresh.lineErrors = {LINE_OVERRUN}; // before the link: its first snapshot takes this one up
        CommLink link(&fresh);
        fresh.lineErrors = errors;
        uint16_t word = 0xFFFF, again = 0xFFFF;
        EXPECT_EQ((std::tuple{link.CheckOpen(&word), word}), std::tuple(0, expected));
        EXPECT_EQ((std::tuple{link.CheckOpen(&again), again}), std::tuple(0, 0))
            << "a second check sees nothing new";
    }
}

TEST_F(LinkTest, ReceiveCountsAndTerminates) {
    // What is queued; the Idle step at which more arrives (0: never) and those bytes; Receive's count
    // and time-out; its result, the Idle steps it took; how many bytes more than it stored the
    // port's Read claims. After the bytes received comes a terminator only.
    const std::tuple<const char*, Bytes, int, Bytes, int, int, int, int, uint32_t> rows[] = {
        {"all there", {1, 2, 3}, 0, {}, 3, 100, 3, 0, 0},
        {"partial then time-out", {7}, 0, {}, 3, 100, 1, 100, 0},
        {"rest arrives while waiting", {1, 2}, 5, {3, 4, 5, 6, 7}, 7, 100, 7, 5, 0},
        {"negative count", {1}, 0, {}, -5, 100, 0, 0, 0},
        {"negative time-out: one look", {7}, 0, {}, 3, -5, 1, 0, 0},
        {"a port that over-reports", {1}, 0, {}, 3, 100, 3, 0, 5}};
    for (const auto& [name, queued, arriveAtIdle, later, count, timeout, result, idleSteps, overReport] :
         rows) {
        ScriptedPort p;
        p.overReport = overReport;
        p.rx.assign(queued.begin(), queued.end());
        CommLink link(&p);
        p.onIdle = [&p, at = arriveAtIdle, &more = later](int n) {
            if (++g_tick, n == at) p.rx.insert(p.rx.end(), more.begin(), more.end());
        };
        Bytes buffer(16, 0xAA);
        const size_t end = static_cast<size_t>(result);
        EXPECT_EQ((std::tuple{link.Receive(buffer.data(), count, timeout), p.idleCount, buffer[end],
                              buffer[end + 1]}),
                  std::tuple(result, idleSteps, 0, 0xAA))
            << name;
    }
}

TEST_F(LinkTest, IdleFailureEndsEveryWait) {
    port.idleResults = {0, 0, COMM_FAILED};
    CommLink link(&port);
    uint8_t buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(
        (std::tuple{link.Receive(buffer, 3, 1000), buffer[0], Steps([&] { return link.GetByte(1000); })}),
        (std::tuple{COMM_FAILED, uint8_t{0xAA}, std::pair(COMM_FAILED, 3)}))
        << "no terminator after a failed wait";
}

// Deadlines hold at any tick value: a wait ends after its time-out, never early, never late. Byte 0 is
// data, not a status; a time-out of 0 or less makes one attempt.
TEST_F(LinkTest, GetByteTakesByteZeroAndTimeOutsHoldAcrossTheTickWrap) {
    CommLink first(&port);
    port.rx = {0};
    EXPECT_EQ(Steps([&] { return first.GetByte(100); }), std::pair(0, 0)) << "byte 0";
    for (int timeout : {0, -5}) {
        port.calls.clear();
        EXPECT_EQ((std::tuple{first.GetByte(timeout), port.calls}),
                  (std::tuple{COMM_NO_DATA, Calls{"ReadByte"}}))
            << timeout;
    }
    for (uint32_t start : {0u, 0x7FFFFFF0u, 0xFFFFFF9Cu, 0xFFFFFFFFu}) {
        CommLink link(&port);
        uint8_t buffer[4];
        const auto get = (g_tick = start, Steps([&] { return link.GetByte(100); }));
        const bool getLeft = StepsGotTheTimeLeft(100);
        const auto receive = (g_tick = start, Steps([&] { return link.Receive(buffer, 3, 250); }));
        EXPECT_EQ(std::tuple(get, getLeft, receive, StepsGotTheTimeLeft(250)),
                  std::tuple(std::pair(COMM_NO_DATA, 100), true, std::pair(0, 250), true))
            << "GetByte and Receive from " << start;
    }
}

// A link whose pacing a caller configured (the link itself never changes it).
struct PacedLink : CommLink {
    PacedLink(CommPort* port, int pacingMs) : CommLink(port) { m_pacingMs = pacingMs; }
};

TEST_F(LinkTest, PutBytePacesWithIdleAndReportsTheLastStep) {
    PacedLink unpaced(&port, 0), paced(&port, 5);
    g_tickReads = 0;
    EXPECT_EQ((std::tuple{unpaced.PutByte(0x17A), port.tx.back(), g_tickReads}), std::tuple(0, 0x7A, 0))
        << "only the low 8 bits go out; no pacing, no clock";
    EXPECT_EQ((std::tuple{Steps([&] { return paced.PutByte('z'); }), StepsGotTheTimeLeft(5)}),
              std::tuple(std::pair(0, 5), true));
    port.idleResults = {0, COMM_NOT_SUPPORTED};
    EXPECT_EQ(Steps([&] { return paced.PutByte('z'); }), std::pair(COMM_NOT_SUPPORTED, 2));
}

} // namespace
