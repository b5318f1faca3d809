// WinCommPort over the stand-in's in-memory line: what a pseudo-terminal cannot show (modem
// lines, line errors, a refused configuration, a transmit queue that fills) and the state dump.
#include "WinCommPort.h"
#include "fake_serial_posix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

namespace {

using namespace win32posix;
using Lines = std::vector<std::string>;

Lines g_lines;
std::string* g_lateBytes = nullptr; // where bytes arrive while line five is handled

void Collect(const char* line) {
    if (g_lines.emplace_back(line), g_lines.size() == 5 && g_lateBytes) g_lateBytes->assign(1234567, 'r');
}

class WinCommPortFake : public ::testing::Test {
protected:
    static constexpr int kIndex = 9; // COM10: the two-digit name goes through the same format
    void SetUp() override { ASSERT_TRUE(InstallSerialLine(kIndex + 1, &m_line)); }
    void TearDown() override { InstallSerialLine(kIndex + 1, nullptr); }
    // The port's state dump (lines `from` to `to`).
    static Lines Dump(WinCommPort& port, size_t from = 0, size_t to = 6) {
        g_lines.clear(), port.DumpState(Collect);
        return Lines(g_lines.begin() + long(from), g_lines.begin() + long(std::min(to, g_lines.size())));
    }
    FakeSerialLine m_line;
};

std::string Held(WinCommPort* port) {
    int baud, dataBits, stopBits;
    char parity;
    port->GetSettings(&baud, &parity, &dataBits, &stopBits);
    return std::to_string(baud) + parity + std::to_string(dataBits) + std::to_string(stopBits);
}

// The parity letter is checked first; a refused value leaves the rate edited but unapplied; 4 data
// bits are taken; CSTOPB gives 1.5 stop bits on 5-bit words, read as one.
TEST_F(WinCommPortFake, SettingsAreCheckedInOrderAndARefusalIsRecorded) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    const LineSettings& set = m_line.settings;
    EXPECT_EQ(
        (std::tuple{port.SetSettings(1200, 'n', 8, 1), Held(&port), port.SetSettings(1200, 'N', 9, 1),
                    Held(&port), port.SetSettings(1200, 'N', 3, 1), port.SetSettings(9600, 'N', 8, 3),
                    port.SetSettings(9600, 'N', 4, 0), set.baud}),
        (std::tuple{COMM_BAD_PARITY, std::string("19200N81"), COMM_BAD_DATA_BITS, std::string("1200N81"),
                    COMM_BAD_DATA_BITS, COMM_BAD_STOP_BITS, COMM_BAD_STOP_BITS, 19200u}));
    EXPECT_EQ((std::tuple{port.SetSettings(9600, 'E', 5, 2), Held(&port), set.baud, set.parity, set.dataBits,
                          set.twoStopBits}),
              (std::tuple{0, std::string("9600E51"), 9600u, uint8_t{EVENPARITY}, uint8_t{5}, true}));
    m_line.refuseSettings = EINVAL;
    EXPECT_EQ((std::tuple{port.SetSettings(3, 'N', 8, 1), port.TakeError(), set.baud}),
              std::tuple(COMM_FAILED, COMM_FAILED, 9600u));
}

// From XON/XOFF both ways, each row's pair is applied or refused; a later SetSettings applies the
// held copy again, so a refused pair must have left nothing in it. Negative values are compared
// unsigned: one more value outside the set. Rows: the pair, the errno the line refuses with; the
// result, the error recorded, the pair held after, CTS flow and XON/XOFF on the line after.
TEST_F(WinCommPortFake, FlowControlPairsAreAppliedOrRefusedWholly) {
    // clang-format off
    const std::tuple<int, int, int, int, int, int, int, bool, bool> rows[] = {
        {4, 12, 0, 0, 0, 4, 12, true, false}, {0, 0, 0, 0, 0, 0, 0, false, false}, {3, 13, 0, 0, 0, 3, 13, false, false},
        {-1, 0, 0, COMM_FAILED, COMM_BAD_INPUT_FLOW, 1, 1, false, true},
        {4, -1, 0, COMM_BAD_OUTPUT_FLOW, COMM_BAD_OUTPUT_FLOW, 1, 1, false, true},
        {13, 0, 0, COMM_NOT_SUPPORTED, COMM_NOT_SUPPORTED, 1, 1, false, true},
        {4, 15, 0, COMM_NOT_SUPPORTED, COMM_NOT_SUPPORTED, 1, 1, false, true},
        {4, 12, EINVAL, COMM_FAILED, COMM_FAILED, 1, 1, false, true}};
    // clang-format on
    const LineSettings& set = m_line.settings;
    for (const auto& [input, output, refuse, result, recorded, heldInput, heldOutput, ctsFlow, xon] : rows) {
        WinCommPort port(kIndex, 4096, 2048, 0);
        ASSERT_EQ(port.SetFlowControl(1, 1), 0);
        m_line.refuseSettings = refuse;
        const std::tuple got{port.SetFlowControl(input, output), port.TakeError()};
        m_line.refuseSettings = 0;
        int in = -7, out = -7;
        EXPECT_EQ((std::tuple{got, port.SetSettings(9600, 'N', 8, 1), set.rtsCts, set.xonInput, set.xonOutput,
                              port.GetFlowControl(&in, &out), in, out}),
                  (std::tuple{std::tuple(result, recorded), 0, ctsFlow, xon, xon, 0, heldInput, heldOutput}))
            << input << "/" << output;
    }
}

TEST_F(WinCommPortFake, CloseDropsTheLinesButTheCountGoesWithTheObject) {
    m_line.refuseSettings = EINVAL;
    {
        WinCommPort port(kIndex, 4096, 2048, 0); // a refused state still leaves the port open
        const int opened = port.PeekError();
        m_line.received = "stale";
        // Nothing left to close the second time; the count still holds the port.
        EXPECT_EQ((std::tuple{opened, port.Close(), m_line.outputLines, m_line.received, port.Close(),
                              WinCommPort(kIndex, 4096, 2048, 0).PeekError()}),
                  (std::tuple{COMM_FAILED, 0, 0u, std::string(), COMM_CLOSE_FAILED, COMM_IN_USE}));
    }
    m_line.refuseSettings = 0;
    EXPECT_EQ((std::tuple{int{g_portOpenCount[kIndex]}, WinCommPort(kIndex, 4096, 2048, 0).PeekError()}),
              std::tuple(0, 0));
}

// The modem inputs: their bit on the line, their line identifier and the event of their change.
// clang-format off
constexpr std::tuple<unsigned, int, DWORD> kInputs[] = {{kLineCts, LINE_CTS, EV_CTS}, {kLineDsr, LINE_DSR, EV_DSR},
                                                        {kLineRing, LINE_RING, EV_RING}, {kLineDcd, LINE_RLSD, EV_RLSD}};
// clang-format on

// Outputs read back as last set (raised by opening, RTS left up when the handshake goes off again,
// kept by the held copy), inputs as they are now (a value given for one is ignored); any value but 1
// turns break off. A vanished line neither hangs nor crashes, and says the device failed; it has
// no modem lines, as on a pseudo-terminal.
TEST_F(WinCommPortFake, ModemLinesAndBreakUntilTheLineVanishes) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    const unsigned opened = m_line.outputLines;
    // The RTS handshake off again leaves no CTS flow in the held copy.
    ASSERT_EQ(port.SetFlowControl(4, 12) | port.SetFlowControl(0, 0) | port.SetSettings(9600, 'N', 8, 1), 0);
    EXPECT_EQ((std::tuple{opened, bool(m_line.settings.rtsCts), port.LineControl(LINE_RTS, -1),
                          port.LineControl(LINE_DTR, 0), unsigned(m_line.outputLines),
                          port.LineControl(LINE_RTS, 0), port.LineControl(LINE_DTR, 7),
                          port.SetSettings(9600, 'N', 8, 1), unsigned(m_line.outputLines)}),
              (std::tuple{unsigned{kLineDtr | kLineRts}, false, 1, 0, unsigned{kLineRts}, 0, 1, 0,
                          unsigned{kLineDtr}}));
    std::vector<int> inputs, wanted;
    for (auto [bit, id, event] : kInputs) { // each input alone
        m_line.modemInputs = bit;
        for (auto [other, otherId, otherEvent] : kInputs)
            inputs.push_back(port.LineControl(otherId, 0)), wanted.push_back(other == bit);
    }
    EXPECT_EQ(inputs, wanted);
    EXPECT_EQ((std::tuple{port.Break(1), bool(m_line.breakOn), port.LineControl(LINE_BREAK, -1),
                          port.Break(5), bool(m_line.breakOn)}),
              std::tuple(1, true, 1, 0, false));
    m_line.failAll = EIO;
    char byte;
    EXPECT_EQ(
        (std::tuple{port.Break(1), port.LineControl(LINE_CTS, -1), port.Read(&byte, 1), port.Write("abc", 3),
                    port.SetSettings(9600, 'N', 8, 1), port.TransmitImmediate('!')}),
        std::tuple(COMM_BREAK_FAILED, 0, 0u, 0u, COMM_DEVICE_ERROR, COMM_FAILED));
}

// An error shows once gathered (by a poll or a read, even with nothing queued), a query keeps it,
// the snapshot takes it; only new errors count, and the snapshot gathers what is new first.
TEST_F(WinCommPortFake, LineErrorsShowUntilTheSnapshotTakesThem) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    const std::pair<uint32_t LineCounters::*, int> kinds[] = {{&LineCounters::parity, LINE_PARITY_ERROR},
                                                              {&LineCounters::frame, LINE_FRAMING_ERROR},
                                                              {&LineCounters::overrun, LINE_OVERRUN},
                                                              {&LineCounters::brk, LINE_BREAK_DETECT},
                                                              {&LineCounters::bufOverrun, LINE_RX_OVERFLOW}};
    LineStateSnapshot snapshot{};
    for (const auto& [counter, id] : kinds) {
        char byte;
        const int before = (++(m_line.counters.*counter), port.LineControl(id, -1));
        id == LINE_PARITY_ERROR ? port.PollLineStatus() : void(port.Read(&byte, 1));
        EXPECT_EQ((std::tuple{before, port.LineControl(id, -1), port.LineControl(id, -1),
                              port.TakeLineState(&snapshot), port.LineControl(id, -1)}),
                  std::tuple(0, 1, 1, 0, 0))
            << id;
    }
    EXPECT_EQ(snapshot.rxOverflow, 1);
    ++m_line.counters.overrun;
    port.TakeLineState(&snapshot);
    port.PollLineStatus();
    EXPECT_EQ(std::tuple(+snapshot.overrun, +snapshot.rxOverflow, port.LineControl(LINE_RX_OVERFLOW, -1)),
              std::tuple(1, 0, 0));
}

// A pending read is waited for, its bytes are the read's, and it asks for no more than is queued (on
// Windows it would stay pending); a pending write counts as handed over and keeps its record until
// the queue runs dry: with all four records busy, nothing goes.
TEST_F(WinCommPortFake, ReadsAndWritesLeftPendingAsOverlappedIoLeavesThem) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.readsPending = m_line.writesPending = true;
    m_line.received = "abcdef";
    char buffer[8] = {};
    EXPECT_EQ(
        (std::tuple{port.Read(buffer, 4), std::string(buffer), port.ReadByte(), port.Read(buffer, 8),
                    m_line.lastReadAsked, port.WriteString("12"), port.WriteString("3"),
                    port.WriteString("4"), port.WriteString("5"), port.TakeError(), port.WriteByte('6')}),
        (std::tuple{4u, std::string("abcd"), int{'e'}, 1u, size_t{1}, 2, 1, 1, 1, 0, COMM_SHORT_WRITE}));
    m_line.outQueue = 0; // sent: the four writes are done
    EXPECT_EQ((std::tuple{port.WriteByte('7'), m_line.sent}), std::tuple(0, "123457"));
}

// The wait step sleeps on the line for what the caller has left, 1 to 10 ms, as Idle does for 1;
// a vanished line is still slept on, so a caller's loop does not spin.
TEST_F(WinCommPortFake, TheWaitStepAsksTheLineForTheCallersTimeLeftWithinItsBounds) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    const std::pair<int, int> rows[] = {{10000, 10}, {11, 10}, {10, 10}, {3, 3}, {1, 1}, {0, 1}, {-5, 1}};
    for (const auto& [limit, asked] : rows) {
        m_line.lastWaitMs = -1;
        EXPECT_EQ((std::tuple{port.IdleUpTo(limit), m_line.lastWaitMs}), std::tuple(0, asked)) << limit;
    }
    m_line.lastWaitMs = -1, m_line.failAll = EIO;
    const auto start = std::chrono::steady_clock::now();
    const int idle = port.Idle(), idleAsked = m_line.lastWaitMs;
    const int upTo = port.IdleUpTo(4), upToAsked = m_line.lastWaitMs;
    EXPECT_EQ((std::tuple{idle, idleAsked, upTo, upToAsked,
                          std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(5)}),
              std::tuple(0, 1, 0, 4, true));
}

// Rows: what is queued, Purge's two arguments, its result and what is left in each queue.
TEST_F(WinCommPortFake, PurgeDrainsAtMostTheLimit) {
    const std::tuple<const char*, int, int, int, const char*, uint32_t> rows[] = {
        {"0123456789", 0, 5, COMM_FAILED, "56789", 9},
        {"01", 0, 5, 0, "", 9},
        {"01234", 0, 5, COMM_FAILED, "", 9},
        {"0123456789", 0, -1, 0, "", 9},
        {"0123456789", 0, 0, 0, "", 9},
        {"0123", 1, 2, 0, "0123", 0}};
    WinCommPort port(kIndex, 4096, 2048, 0);
    for (const auto& [received, transmit, limit, result, left, outLeft] : rows) {
        m_line.received = received, m_line.outQueue = 9;
        EXPECT_EQ((std::tuple{port.Purge(transmit, limit), m_line.received, m_line.outQueue}),
                  (std::tuple{result, std::string(left), outLeft}))
            << received << " " << transmit << " " << limit;
    }
}

// New sizes keep their low 16 bits, 0 keeps a size or the XOFF limit; both queues are emptied; the
// transmit size limits writes at once. Rows: the three sizes, the result, line five of the dump and
// how many of 5000 bytes a write takes.
TEST_F(WinCommPortFake, QueueSizesReachTheHeldCopyAndTheWrites) {
    const std::tuple<int, int, int, int, const char*, uint32_t> rows[] = {
        {0x10000 + 1000, 0, 0, 0, "XonLim: 250   XoffLim: 128   EofChr: 00  EvtChr: 00", 2048},
        {0, 300, 512, 0, "XonLim: 250   XoffLim: 300   EofChr: 00  EvtChr: 00", 512},
        {8192, 0, 0, COMM_FAILED, "XonLim: 2048  XoffLim: 300   EofChr: 00  EvtChr: 00", 512}};
    WinCommPort port(kIndex, 4096, 2048, 0);
    for (const auto& [rx, xoff, tx, result, limits, written] : rows) {
        m_line.received = "stale", m_line.outQueue = 7, m_line.refuseSettings = result ? EINVAL : 0;
        port.TakeError(); // the short write of the row before
        EXPECT_EQ(
            (std::tuple{port.SetQueueSizes(rx, xoff, tx), port.TakeError(), m_line.received, m_line.outQueue,
                        Dump(port, 4, 5), port.Write(std::string(5000, 'x').data(), 5000)}),
            (std::tuple{result, result, std::string(), 0u, Lines{limits}, written}));
    }
}

// The event calls reach the device's mask (opening turned events off: nothing to wait for); each
// input changes while a wait runs.
TEST_F(WinCommPortFake, EventMaskIsSetReadAndWaitedOn) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    uint32_t mask = 77, none = 77, received = 0;
    EXPECT_EQ((std::tuple{port.GetEventMask(&none), none, port.WaitEvent(&mask),
                          port.SetEventMask(EV_RXCHAR | EV_CTS), port.GetEventMask(&mask), mask}),
              (std::tuple{0, 0u, COMM_FAILED, 0, 0, unsigned{EV_RXCHAR | EV_CTS}}));
    m_line.received = "x";
    EXPECT_EQ((std::tuple{port.WaitEvent(&received), received}), std::tuple(0, unsigned{EV_RXCHAR}));
    ASSERT_EQ(port.SetEventMask(EV_CTS | EV_DSR | EV_RING | EV_RLSD), 0);
    std::vector<uint32_t> events, wanted;
    for (auto [bit, id, event] : kInputs) {
        std::thread change([this, bit = bit] { Sleep(20), m_line.modemInputs ^= bit; });
        EXPECT_EQ(port.WaitEvent(&mask), 0);
        change.join();
        events.push_back(mask), wanted.push_back(event);
    }
    EXPECT_EQ(events, wanted);
}

// Fresh at 9600, then wide values: never cut; the status is read after line five and keeps the line
// errors; CTS flow with CTS low holds the sending.
TEST_F(WinCommPortFake, DumpStateOfAFreshPortAndOfWideValues) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.SetSettings(9600, 'N', 8, 1), 0);
    EXPECT_EQ(
        Dump(port),
        (Lines{"Port type: MS Win32  BaudRate: 9600    ByteSize: 8  Parity: 0",
               "StopBits: 0  fBinary: 1  fRtsControl: 1",
               "Parity: 0  OutCtsFlow: 0  OutDsrFlow: 0  DtrControl: 1  OutX: 0  InX: 0",
               "Null: 0  XonChar: 11  XoffChar: 13", "XonLim: 1024  XoffLim: 128   EofChr: 00  EvtChr: 00",
               "RX sz/ct:  4096/0      TX sz/ct:  2048/0      BLOCK SENT:0  BLOCK RECEIVED:0"}));
    ASSERT_EQ(port.SetSettings(12000000, 'M', 7, 2) | port.SetFlowControl(1, 12), 0);
    ASSERT_NE(port.SetEventChar('\x80'), 0);
    m_line.outQueue = 4000000000u, m_line.counters.frame = 3;
    g_lateBytes = &m_line.received;
    Lines lines = Dump(port);
    g_lateBytes = nullptr;
    LineStateSnapshot snapshot{};
    port.TakeLineState(&snapshot);
    EXPECT_EQ(
        (std::tuple{Lines{lines.at(0), lines.at(4), lines.at(5)}, +snapshot.framingError}),
        (std::tuple{
            Lines{"Port type: MS Win32  BaudRate: 12000000  ByteSize: 7  Parity: 3",
                  "XonLim: 1024  XoffLim: 128   EofChr: 00  EvtChr: 80",
                  "RX sz/ct:  4096/1234567  TX sz/ct:  2048/-294967296  BLOCK SENT:0  BLOCK RECEIVED:1"},
            1}));
}

// The index is checked before anything is touched (refused as in use, not as a failed open); every
// index inside the count table reaches its device (none is behind the last COM number), and the count
// goes back to 0.
TEST_F(WinCommPortFake, OpensInsideTheCountTableOnlyAndTouchesNothingOutside) {
    const std::pair<std::vector<int>, int> rows[] = {{{0, 15, 16}, 0},
                                                     {{COMM_MAX_PORTS - 1}, COMM_FAILED},
                                                     {{-1, COMM_MAX_PORTS, 100000, INT_MAX}, COMM_IN_USE}};
    for (const auto& [indexes, error] : rows)
        for (int index : indexes) {
            ASSERT_TRUE(error || InstallSerialLine(index + 1, &m_line));
            {
                WinCommPort port(index, 4096, 2048, 0);
                EXPECT_EQ((std::tuple{port.PeekError(), error || g_portOpenCount[index] == 1}),
                          std::tuple(error, true))
                    << index;
            }
            if (!error && index != kIndex) InstallSerialLine(index + 1, nullptr);
            EXPECT_EQ(std::count(g_portOpenCount, g_portOpenCount + COMM_MAX_PORTS, 0), long{COMM_MAX_PORTS})
                << index;
        }
}

} // namespace
