// WinCommPort over the stand-in's in-memory line: what a pseudo-terminal cannot show (modem
// lines, line errors, a refused configuration, a transmit queue that fills) and the state dump.
#include "WinCommPort.h"
#include "fake_serial_posix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace win32posix;

std::vector<std::string> g_lines;
std::string* g_lateBytes = nullptr; // where bytes arrive while line five is handled

void Collect(const char* line) {
    g_lines.emplace_back(line);
    if (g_lines.size() == 5 && g_lateBytes) g_lateBytes->assign(1234567, 'r');
}

class WinCommPortFake : public ::testing::Test {
protected:
    static constexpr int kIndex = 9; // COM10: the two-digit name goes through the same format
    void SetUp() override {
        g_lines.clear();
        ASSERT_TRUE(InstallSerialLine(kIndex + 1, &m_line));
    }
    void TearDown() override { InstallSerialLine(kIndex + 1, nullptr); }
    FakeSerialLine m_line;
};

std::string Held(WinCommPort* port) {
    int baud, dataBits, stopBits;
    char parity;
    port->GetSettings(&baud, &parity, &dataBits, &stopBits);
    return std::to_string(baud) + parity + std::to_string(dataBits) + std::to_string(stopBits);
}

TEST_F(WinCommPortFake, SettingsAreCheckedInOrderAndARefusalIsRecorded) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    EXPECT_EQ((std::tuple{port.SetSettings(1200, 'n', 8, 1), Held(&port)}),
              std::tuple(COMM_BAD_PARITY, "19200N81"))
        << "the parity letter is checked first";
    EXPECT_EQ((std::tuple{port.SetSettings(1200, 'N', 9, 1), Held(&port)}),
              std::tuple(COMM_BAD_DATA_BITS, "1200N81"))
        << "the rate stays edited, unapplied";
    EXPECT_EQ((std::tuple{port.SetSettings(1200, 'N', 3, 1), port.SetSettings(9600, 'N', 8, 3),
                          port.SetSettings(9600, 'N', 4, 0)}),
              std::tuple(COMM_BAD_DATA_BITS, COMM_BAD_STOP_BITS, COMM_BAD_STOP_BITS))
        << "4 data bits are taken";
    EXPECT_EQ(m_line.settings.baud, 19200u);
    EXPECT_EQ((std::tuple{port.SetSettings(9600, 'E', 5, 2), Held(&port)}), std::tuple(0, "9600E51"))
        << "one and a half stop bits read as one";
    const LineSettings& set = m_line.settings;
    EXPECT_EQ(std::tuple(set.baud, set.parity, set.dataBits, set.twoStopBits),
              std::tuple(9600u, uint8_t{EVENPARITY}, uint8_t{5}, true))
        << "CSTOPB gives 1.5 stop bits on 5-bit words";
    m_line.refuseSettings = EINVAL;
    EXPECT_EQ((std::tuple{port.SetSettings(3, 'N', 8, 1), port.TakeError(), set.baud}),
              std::tuple(COMM_FAILED, COMM_FAILED, 9600u));
}

// From XON/XOFF both ways, each row's pair is applied or refused; a later SetSettings applies the
// held copy again, so a refused pair must have left nothing in it. Negative values are compared
// unsigned: one more value outside the set.
TEST_F(WinCommPortFake, FlowControlPairsAreAppliedOrRefusedWholly) {
    const std::tuple<int, int, int, int, int, int, int, bool, bool> rows[] = {
        {4, 12, 0, 0, 0, 4, 12, true, false},
        {0, 0, 0, 0, 0, 0, 0, false, false},
        {-1, 0, 0, COMM_FAILED, COMM_BAD_INPUT_FLOW, 1, 1, false, true},
        {4, -1, 0, COMM_BAD_OUTPUT_FLOW, COMM_BAD_OUTPUT_FLOW, 1, 1, false, true},
        {13, 0, 0, COMM_NOT_SUPPORTED, COMM_NOT_SUPPORTED, 1, 1, false, true},
        {4, 15, 0, COMM_NOT_SUPPORTED, COMM_NOT_SUPPORTED, 1, 1, false, true},
        {4, 12, EINVAL, COMM_FAILED, COMM_FAILED, 1, 1, false, true}};
    const LineSettings& set = m_line.settings;
    for (const auto& [input, output, refuse, result, recorded, heldInput, heldOutput, ctsFlow, xon] : rows) {
        SCOPED_TRACE(std::to_string(input) + "/" + std::to_string(output));
        WinCommPort port(kIndex, 4096, 2048, 0);
        ASSERT_EQ(port.SetFlowControl(1, 1), 0);
        m_line.refuseSettings = refuse;
        EXPECT_EQ((std::tuple{port.SetFlowControl(input, output), port.TakeError()}),
                  std::tuple(result, recorded));
        m_line.refuseSettings = 0;
        ASSERT_EQ(port.SetSettings(9600, 'N', 8, 1), 0);
        EXPECT_EQ(std::tuple(set.rtsCts, set.xonInput, set.xonOutput), std::tuple(ctsFlow, xon, xon));
        int in = -7, out = -7;
        EXPECT_EQ((std::tuple{port.GetFlowControl(&in, &out), in, out}),
                  std::tuple(0, heldInput, heldOutput));
    }
}

TEST_F(WinCommPortFake, CloseDropsTheLinesButTheCountGoesWithTheObject) {
    m_line.refuseSettings = EINVAL;
    {
        WinCommPort port(kIndex, 4096, 2048, 0);
        EXPECT_EQ(port.PeekError(), COMM_FAILED) << "a refused state still leaves the port open";
        m_line.received = "stale";
        EXPECT_EQ(port.Close(), 0);
        EXPECT_EQ(std::tuple(m_line.outputLines, m_line.received), (std::tuple{0u, std::string()}));
        EXPECT_EQ(port.Close(), COMM_CLOSE_FAILED) << "nothing left to close";
        EXPECT_EQ(WinCommPort(kIndex, 4096, 2048, 0).PeekError(), COMM_IN_USE);
    }
    EXPECT_EQ(g_portOpenCount[kIndex], 0);
    m_line.refuseSettings = 0;
    EXPECT_EQ(WinCommPort(kIndex, 4096, 2048, 0).PeekError(), 0);
}

// The modem inputs: their bit on the line, their line identifier and the event of their change.
constexpr std::tuple<unsigned, int, DWORD> kInputs[] = {{kLineCts, LINE_CTS, EV_CTS},
                                                        {kLineDsr, LINE_DSR, EV_DSR},
                                                        {kLineRing, LINE_RING, EV_RING},
                                                        {kLineDcd, LINE_RLSD, EV_RLSD}};

// Outputs read back as last set, inputs as they are now.
TEST_F(WinCommPortFake, ModemLinesAndBreakUntilTheLineVanishes) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    EXPECT_EQ(m_line.outputLines, kLineDtr | kLineRts) << "raised by opening";
    ASSERT_EQ(port.SetFlowControl(4, 12), 0);
    ASSERT_EQ(port.SetFlowControl(0, 0), 0);
    EXPECT_EQ(port.LineControl(LINE_RTS, -1), 1) << "the handshake off again leaves RTS up";
    EXPECT_EQ((std::tuple{port.LineControl(LINE_DTR, 0), m_line.outputLines}),
              std::tuple(0, unsigned{kLineRts}));
    EXPECT_EQ((std::tuple{port.LineControl(LINE_RTS, 0), port.LineControl(LINE_DTR, 7), m_line.outputLines}),
              std::tuple(0, 1, unsigned{kLineDtr}));
    EXPECT_EQ((std::tuple{port.SetSettings(9600, 'N', 8, 1), m_line.outputLines}),
              std::tuple(0, unsigned{kLineDtr}))
        << "the held copy keeps them";
    for (auto [bit, id, event] : kInputs) { // each input alone; a value given for an input is ignored
        m_line.modemInputs = bit;
        for (auto [other, otherId, otherEvent] : kInputs)
            EXPECT_EQ(port.LineControl(otherId, 0), other == bit) << id;
    }

    EXPECT_EQ((std::tuple{port.Break(1), m_line.breakOn, port.LineControl(LINE_BREAK, -1)}),
              std::tuple(1, true, 1));
    EXPECT_EQ((std::tuple{port.Break(5), m_line.breakOn}), std::tuple(0, false))
        << "any value but 1 turns break off";
    m_line.failAll = EIO;
    char byte;
    EXPECT_EQ((std::tuple{port.Break(1), port.LineControl(LINE_CTS, -1), port.Read(&byte, 1),
                          port.Write("abc", 3), port.SetSettings(9600, 'N', 8, 1)}),
              std::tuple(COMM_BREAK_FAILED, 0, 0u, 0u, COMM_DEVICE_ERROR))
        << "no modem lines, as on a pseudo-terminal; a vanished line neither hangs nor crashes, and says "
           "the device failed";
}

TEST_F(WinCommPortFake, LineErrorsShowUntilTheSnapshotTakesThem) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.counters.parity = 1;
    EXPECT_EQ(port.LineControl(LINE_PARITY_ERROR, -1), 0) << "not gathered yet";
    port.PollLineStatus();
    EXPECT_EQ((std::tuple{port.LineControl(LINE_PARITY_ERROR, -1), port.LineControl(LINE_PARITY_ERROR, -1)}),
              std::tuple(1, 1))
        << "a query keeps it";
    LineStateSnapshot snapshot{};
    EXPECT_EQ((std::tuple{port.TakeLineState(&snapshot), +snapshot.parityError,
                          port.LineControl(LINE_PARITY_ERROR, -1)}),
              std::tuple(0, 1, 0));
    const std::pair<uint32_t LineCounters::*, int> kinds[] = {{&LineCounters::frame, LINE_FRAMING_ERROR},
                                                              {&LineCounters::overrun, LINE_OVERRUN},
                                                              {&LineCounters::brk, LINE_BREAK_DETECT},
                                                              {&LineCounters::bufOverrun, LINE_RX_OVERFLOW}};
    for (const auto& [counter, id] : kinds) {
        ++(m_line.counters.*counter);
        char byte;
        port.Read(&byte, 1); // reads gather errors too, even with nothing queued
        EXPECT_EQ(port.LineControl(id, -1), 1) << id;
        port.TakeLineState(&snapshot);
    }
    ++m_line.counters.overrun;
    port.TakeLineState(&snapshot);
    EXPECT_EQ(snapshot.overrun, 1) << "the snapshot gathers what is new first";
    port.PollLineStatus();
    EXPECT_EQ(port.LineControl(LINE_RX_OVERFLOW, -1), 0) << "only new errors count";
}

// Every word of the record is written, the hold flags' other bits included; the port's sending is
// held while CTS flow is on, CTS is low and bytes wait.
TEST_F(WinCommPortFake, StatusOverwritesARecordFullOfGarbage) {
    // What is queued, the output flow, the CTS input; the record's six words and its hold flags.
    const std::tuple<const char*, uint32_t, int, unsigned, std::vector<int32_t>, uint16_t> rows[] = {
        {"", 0, 0, 0, {1, 0, 4096, 1, 0, 2048}, 0},
        {"abc", 2000, LINE_CTS, 0, {1, 3, 4096, 1, 2000, 2048}, 2},
        {"abc", 2000, LINE_CTS, kLineCts, {1, 3, 4096, 1, 2000, 2048}, 0},
        {"abc", 0, LINE_CTS, 0, {1, 3, 4096, 1, 0, 2048}, 0},
        {"", 7, 0, 0, {1, 0, 4096, 1, 7, 2048}, 0}};
    WinCommPort port(kIndex, 4096 + 0x10000, 2048, 0);
    for (const auto& [received, outQueue, outputFlow, cts, words, flags] : rows) {
        ASSERT_EQ(port.SetFlowControl(0, outputFlow), 0);
        m_line.received = received, m_line.outQueue = outQueue, m_line.modemInputs = cts;
        PortStatus status;
        std::memset(&status, 0xA5, sizeof status);
        port.GetStatus(&status, 1);
        std::vector<int32_t> gotWords(6);
        uint16_t gotFlags;
        std::memcpy(gotWords.data(), &status, 6 * sizeof(int32_t));
        std::memcpy(&gotFlags, reinterpret_cast<const char*>(&status) + 6 * sizeof(int32_t), sizeof gotFlags);
        EXPECT_EQ(std::tie(gotWords, gotFlags), std::tie(words, flags))
            << received << " " << outQueue << " " << cts;
    }
}

TEST_F(WinCommPortFake, WriteStopsAtTheTransmitQueueSize) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    EXPECT_EQ((std::tuple{port.Write(std::string(4096, 'w').data(), 4096), port.PeekError()}),
              std::tuple(2048u, COMM_SHORT_WRITE));
    m_line.outQueue = 2000; // still queued
    EXPECT_EQ(port.Write(std::string(100, 'q').data(), 100), 48u);
    m_line.outQueue = 3000; // the driver holds more than the size asked for: no room at all
    EXPECT_EQ(port.WriteByte('z'), COMM_SHORT_WRITE);
    EXPECT_EQ(port.TransmitImmediate('!'), 0) << "the stand-in sends it behind what is queued";
    EXPECT_EQ(m_line.sent, std::string(2048, 'w') + std::string(48, 'q') + "!");
    m_line.failAll = EIO;
    EXPECT_EQ(port.TransmitImmediate('!'), COMM_FAILED);
}

// A pending read is waited for, its bytes are the read's; a pending write counts as handed over and
// keeps its record until the queue runs dry: with all four records busy, nothing goes.
TEST_F(WinCommPortFake, ReadsAndWritesLeftPendingAsOverlappedIoLeavesThem) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.readsPending = m_line.writesPending = true;
    m_line.received = "abcdef";
    char buffer[8] = {};
    EXPECT_EQ((std::tuple{port.Read(buffer, 4), std::string(buffer), port.ReadByte()}),
              std::tuple(4u, "abcd", 'e'));
    EXPECT_EQ((std::tuple{port.Read(buffer, 8), m_line.lastReadAsked}), std::tuple(1u, size_t{1}))
        << "a read asks for no more than is queued: on Windows it would stay pending";
    for (const char* bytes : {"12", "3", "4", "5"}) EXPECT_EQ(port.WriteString(bytes), int(strlen(bytes)));
    EXPECT_EQ(port.TakeError(), 0);
    EXPECT_EQ(port.WriteByte('6'), COMM_SHORT_WRITE) << "every write record still in use";
    m_line.outQueue = 0; // sent: the four writes are done
    EXPECT_EQ(port.WriteByte('7'), 0);
    EXPECT_EQ(m_line.sent, "123457");
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
// transmit size limits writes at once.
TEST_F(WinCommPortFake, QueueSizesReachTheHeldCopyAndTheWrites) {
    // The three sizes, the result, line five of the dump and how many of 5000 bytes a write takes.
    const std::tuple<int, int, int, int, const char*, uint32_t> rows[] = {
        {0x10000 + 1000, 0, 0, 0, "XonLim: 250   XoffLim: 128   EofChr: 00  EvtChr: 00", 2048},
        {0, 300, 512, 0, "XonLim: 250   XoffLim: 300   EofChr: 00  EvtChr: 00", 512},
        {8192, 0, 0, COMM_FAILED, "XonLim: 2048  XoffLim: 300   EofChr: 00  EvtChr: 00", 512}};
    WinCommPort port(kIndex, 4096, 2048, 0);
    for (const auto& [rx, xoff, tx, result, limits, written] : rows) {
        SCOPED_TRACE(limits);
        m_line.received = "stale", m_line.outQueue = 7, m_line.refuseSettings = result ? EINVAL : 0;
        port.TakeError(); // the short write of the row before
        EXPECT_EQ((std::tuple{port.SetQueueSizes(rx, xoff, tx), port.TakeError(), m_line.received,
                              m_line.outQueue}),
                  (std::tuple{result, result, std::string(), 0u}));
        g_lines.clear();
        port.DumpState(Collect);
        EXPECT_EQ((std::tuple{g_lines.at(4), port.Write(std::string(5000, 'x').data(), 5000)}),
                  (std::tuple{std::string(limits), written}));
    }
}

// The event calls reach the device's mask; their failures are translated but not recorded.
TEST_F(WinCommPortFake, EventMaskIsSetReadAndWaitedOn) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    uint32_t mask = 77, none = 77;
    EXPECT_EQ(port.GetEventMask(&mask), 0);
    EXPECT_EQ(port.WaitEvent(&none), COMM_FAILED) << "opening turned events off: nothing to wait for";
    EXPECT_EQ((std::tuple{port.SetEventMask(EV_RXCHAR | EV_CTS), port.GetEventMask(&mask), mask}),
              std::tuple(0, 0, unsigned{EV_RXCHAR | EV_CTS}));
    m_line.received = "x";
    EXPECT_EQ((std::tuple{port.WaitEvent(&mask), mask}), std::tuple(0, unsigned{EV_RXCHAR}));
    ASSERT_EQ(port.SetEventMask(EV_CTS | EV_DSR | EV_RING | EV_RLSD), 0);
    for (auto [bit, id, event] : kInputs) { // each input changes while the wait runs
        std::thread change([this, bit = bit] { Sleep(20), m_line.modemInputs ^= bit; });
        EXPECT_EQ(port.WaitEvent(&mask), 0);
        change.join();
        EXPECT_EQ(mask, event) << id;
    }
    ASSERT_EQ(port.Close(), 0);
    EXPECT_EQ((std::tuple{port.SetEventMask(EV_RXCHAR), port.GetEventMask(&none), none, port.PeekError()}),
              std::tuple(COMM_FAILED, COMM_FAILED, 77u, 0));
}

// Fresh at 9600, then wide values: never cut; the status is read after line five and keeps the line
// errors; CTS flow with CTS low holds the sending.
TEST_F(WinCommPortFake, DumpStateOfAFreshPortAndOfWideValues) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.SetSettings(9600, 'N', 8, 1), 0);
    port.DumpState(Collect);
    EXPECT_EQ(g_lines, std::vector<std::string>({
                           "Port type: MS Win32  BaudRate: 9600    ByteSize: 8  Parity: 0",
                           "StopBits: 0  fBinary: 1  fRtsControl: 1",
                           "Parity: 0  OutCtsFlow: 0  OutDsrFlow: 0  DtrControl: 1  OutX: 0  InX: 0",
                           "Null: 0  XonChar: 11  XoffChar: 13",
                           "XonLim: 1024  XoffLim: 128   EofChr: 00  EvtChr: 00",
                           "RX sz/ct:  4096/0      TX sz/ct:  2048/0      BLOCK SENT:0  BLOCK RECEIVED:0",
                       }));
    ASSERT_EQ(port.SetSettings(12000000, 'M', 7, 2), 0);
    ASSERT_NE(port.SetEventChar('\x80'), 0);
    ASSERT_EQ(port.SetFlowControl(1, 12), 0);
    m_line.outQueue = 4000000000u, m_line.counters.frame = 3;
    g_lines.clear();
    g_lateBytes = &m_line.received;
    port.DumpState(Collect);
    g_lateBytes = nullptr;
    EXPECT_EQ((std::vector{g_lines.at(0), g_lines.at(4), g_lines.at(5)}),
              (std::vector<std::string>{
                  "Port type: MS Win32  BaudRate: 12000000  ByteSize: 7  Parity: 3",
                  "XonLim: 1024  XoffLim: 128   EofChr: 00  EvtChr: 80",
                  "RX sz/ct:  4096/1234567  TX sz/ct:  2048/-294967296  BLOCK SENT:0  BLOCK RECEIVED:1"}));
    LineStateSnapshot snapshot{};
    port.TakeLineState(&snapshot);
    EXPECT_EQ(snapshot.framingError, 1);
}

// The index is checked before anything is touched (refused as in use, not as a failed open); every
// index inside the count table reaches its device, and the count goes back to 0.
TEST_F(WinCommPortFake, OpensInsideTheCountTableOnlyAndTouchesNothingOutside) {
    // No device is behind the last COM number.
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
            for (int i = 0; i < COMM_MAX_PORTS; ++i) ASSERT_EQ(g_portOpenCount[i], 0) << index << ": " << i;
        }
}

// The one platform-error -> status table of the port: the legacy codes, the errors of a device
// removed under an open handle, and everything else.
TEST(WinCommPortErrors, LastErrorTranslatesByTheTable) {
    const std::pair<int, std::vector<LONG>> rows[] = {
        {COMM_DEVICE_ERROR,
         {IE_BADID, IE_NOPEN, IE_HARDWARE, ERROR_NOT_READY, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE,
          ERROR_OPERATION_ABORTED, ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_REMOVED}},
        {COMM_IN_USE, {IE_OPEN}},
        {COMM_NO_MEMORY, {IE_MEMORY}},
        {COMM_BAD_OUTPUT_FLOW, {IE_DEFAULT}},
        {COMM_BAD_DATA_BITS, {IE_BYTESIZE}},
        {COMM_BAD_BAUD, {IE_BAUDRATE}},
        {COMM_FAILED, {-6, -9, ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}}};
    WinCommPort port(0, 0, 0, 1);
    for (const auto& [status, errors] : rows)
        for (LONG error : errors) {
            SetLastError(static_cast<DWORD>(error));
            EXPECT_EQ(port.TranslateLastError(), status) << "last error " << error;
        }
}

} // namespace
