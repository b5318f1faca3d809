// WinCommPort over the stand-in's in-memory line: what a pseudo-terminal cannot show (modem
// lines, line errors, a refused configuration, a transmit queue that fills) and the state dump.
#include "WinCommPort.h"
#include "fake_serial_posix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace win32posix;

class WinCommPortFake : public ::testing::Test {
protected:
    static constexpr int kIndex = 9; // COM10: the two-digit name goes through the same format
    void SetUp() override { ASSERT_TRUE(InstallSerialLine(kIndex + 1, &m_line)); }
    void TearDown() override { InstallSerialLine(kIndex + 1, nullptr); }
    FakeSerialLine m_line;
};

// Settings as "<baud><parity><data bits><stop bits>"; the line's parity as its letter.
struct SettingsRow {
    const char *wanted, *held, *line;
    int lineRefuses, result;
};

class WinCommPortSettings : public WinCommPortFake, public ::testing::WithParamInterface<SettingsRow> {};

TEST_P(WinCommPortSettings, AreCheckedInOrderAndReachTheLine) {
    const SettingsRow& row = GetParam();
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.refuseSettings = row.lineRefuses;
    int baud = 0, dataBits = 0, stopBits = 0;
    char parity = 0;
    std::sscanf(row.wanted, "%d%c%1d%1d", &baud, &parity, &dataBits, &stopBits);
    EXPECT_EQ(port.SetSettings(baud, parity, dataBits, stopBits), row.result);
    EXPECT_EQ(port.PeekError(), row.result);
    port.GetSettings(&baud, &parity, &dataBits, &stopBits);
    EXPECT_EQ(std::to_string(baud) + parity + std::to_string(dataBits) + std::to_string(stopBits), row.held)
        << "edits before a rejected value stay in the held copy";
    const LineSettings& set = m_line.settings;
    EXPECT_EQ(std::to_string(set.baud) + "NOEMS"[set.parity] + std::to_string(set.dataBits) +
                  (set.twoStopBits ? "2" : "1"),
              row.line);
}

// Five data bits take one and a half stop bits (CSTOPB), reported back as one; lower-case parity
// letters are not known.
INSTANTIATE_TEST_SUITE_P(
    Rows, WinCommPortSettings,
    ::testing::Values(SettingsRow{"9600E72", "9600E72", "9600E72", 0, 0},
                      SettingsRow{"9600N51", "9600N51", "9600N52", 0, 0},
                      SettingsRow{"1200N91", "1200N81", "19200N81", 0, COMM_BAD_DATA_BITS},
                      SettingsRow{"9600n81", "19200N81", "19200N81", 0, COMM_BAD_PARITY},
                      SettingsRow{"9600N83", "9600N81", "19200N81", 0, COMM_BAD_STOP_BITS},
                      SettingsRow{"3N81", "3N81", "19200N81", EINVAL, COMM_FAILED}));

struct FlowRow {
    int input, output, result, recorded;
    bool ctsFlow, xonIn, xonOut;
};

class WinCommPortFlow : public WinCommPortFake, public ::testing::WithParamInterface<FlowRow> {};

TEST_P(WinCommPortFlow, AppliesOrRejectsThePair) {
    const FlowRow& row = GetParam();
    WinCommPort port(kIndex, 4096, 2048, 0);
    EXPECT_EQ(port.SetFlowControl(row.input, row.output), row.result);
    EXPECT_EQ(port.PeekError(), row.recorded);
    int input = -1, output = -1;
    port.GetFlowControl(&input, &output);
    EXPECT_EQ(input, row.result == 0 ? row.input : 0);
    EXPECT_EQ(output, row.result == 0 ? row.output : 0);
    const LineSettings& set = m_line.settings;
    EXPECT_EQ(std::tuple(set.rtsCts, set.xonInput, set.xonOutput),
              std::tuple(row.ctsFlow, row.xonIn, row.xonOut));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WinCommPortFlow,
    ::testing::Values(FlowRow{1, 1, 0, 0, false, true, true}, FlowRow{4, 12, 0, 0, true, false, false},
                      FlowRow{2, 0, COMM_FAILED, COMM_BAD_INPUT_FLOW, false, false, false},
                      FlowRow{-1, 0, COMM_FAILED, COMM_BAD_INPUT_FLOW, false, false, false},
                      FlowRow{0, 14, COMM_BAD_OUTPUT_FLOW, COMM_BAD_OUTPUT_FLOW, false, false, false},
                      FlowRow{0, -1, COMM_BAD_OUTPUT_FLOW, COMM_BAD_OUTPUT_FLOW, false, false, false},
                      FlowRow{13, 0, COMM_NOT_SUPPORTED, COMM_NOT_SUPPORTED, false, false, false},
                      FlowRow{0, 15, COMM_NOT_SUPPORTED, COMM_NOT_SUPPORTED, false, false, false}));

TEST_F(WinCommPortFake, CloseDropsTheLinesButTheCountGoesWithTheObject) {
    m_line.refuseSettings = EINVAL;
    {
        WinCommPort port(kIndex, 4096, 2048, 0);
        EXPECT_EQ(port.PeekError(), COMM_FAILED) << "a refused state still leaves the port open";
        EXPECT_EQ(g_portOpenCount[kIndex], 1);
        m_line.received = "stale";
        EXPECT_EQ(port.Close(), 0);
        EXPECT_EQ(m_line.outputLines, 0u);
        EXPECT_TRUE(m_line.received.empty());
        EXPECT_EQ(port.Close(), COMM_CLOSE_FAILED) << "nothing left to close";
        EXPECT_EQ(WinCommPort(kIndex, 4096, 2048, 0).PeekError(), COMM_IN_USE);
    }
    EXPECT_EQ(g_portOpenCount[kIndex], 0);
    m_line.refuseSettings = 0;
    EXPECT_EQ(WinCommPort(kIndex, 4096, 2048, 0).PeekError(), 0);
}

TEST_F(WinCommPortFake, OutputLinesAndBreakAsLastSetUntilTheLineVanishes) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    EXPECT_EQ(m_line.outputLines, kLineDtr | kLineRts) << "raised by opening";
    ASSERT_EQ(port.SetFlowControl(4, 12), 0);
    ASSERT_EQ(port.SetFlowControl(0, 0), 0);
    EXPECT_EQ(port.LineControl(LINE_RTS, -1), 1) << "the handshake off again leaves RTS up";
    EXPECT_EQ(port.LineControl(LINE_DTR, 0), 0);
    EXPECT_EQ(m_line.outputLines, unsigned{kLineRts});
    EXPECT_EQ(port.LineControl(LINE_RTS, 0), 0);
    EXPECT_EQ(port.LineControl(LINE_DTR, 7), 1);
    EXPECT_EQ(m_line.outputLines, unsigned{kLineDtr});
    ASSERT_EQ(port.SetSettings(9600, 'N', 8, 1), 0);
    EXPECT_EQ(m_line.outputLines, unsigned{kLineDtr}) << "the held copy keeps them";

    EXPECT_EQ(port.LineControl(LINE_BREAK, -1), 0);
    EXPECT_EQ(port.Break(1), 1);
    EXPECT_TRUE(m_line.breakOn);
    EXPECT_EQ(port.LineControl(LINE_BREAK, -1), 1);
    m_line.breakOn = false;
    EXPECT_EQ(port.Break(-1), 1);
    EXPECT_FALSE(m_line.breakOn) << "a query does not touch the device";
    EXPECT_EQ(port.Break(5), 0) << "any value but 1 turns break off";
    EXPECT_EQ(port.LineControl(LINE_BREAK, -1), 0);
    m_line.failAll = EIO;
    EXPECT_EQ(port.Break(1), COMM_BREAK_FAILED);
    EXPECT_EQ(port.Break(-1), 0);
    char byte;
    EXPECT_EQ(port.Read(&byte, 1), 0u) << "a vanished line neither hangs nor crashes";
    EXPECT_EQ(port.Write("abc", 3), 0u);
    EXPECT_EQ(port.SetSettings(9600, 'N', 8, 1), COMM_FAILED);
}

TEST_F(WinCommPortFake, ModemInputsAsTheyAreNow) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.modemInputs = kLineCts | kLineDcd;
    EXPECT_EQ(port.LineControl(LINE_CTS, -1), 1);
    EXPECT_EQ(port.LineControl(LINE_DSR, 0), 0);
    EXPECT_EQ(port.LineControl(LINE_RING, -1), 0);
    EXPECT_EQ(port.LineControl(LINE_RLSD, -1), 1);
    for (int id : {17, 18, 19, 20}) EXPECT_EQ(port.LineControl(id, -1), 0) << id;
    for (int id : {5, 16, 21, 29, 40}) EXPECT_EQ(port.LineControl(id, 1), LINE_UNKNOWN) << id;
    m_line.hasModemLines = false; // as on a pseudo-terminal
    EXPECT_EQ(port.LineControl(LINE_CTS, -1), 0);
}

TEST_F(WinCommPortFake, LineErrorsShowUntilTheSnapshotTakesThem) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.counters.parity = 1;
    EXPECT_EQ(port.LineControl(LINE_PARITY_ERROR, -1), 0) << "not gathered yet";
    port.PollLineStatus();
    EXPECT_EQ(port.LineControl(LINE_PARITY_ERROR, -1), 1);
    EXPECT_EQ(port.LineControl(LINE_PARITY_ERROR, -1), 1) << "a query keeps it";
    LineStateSnapshot snapshot{};
    EXPECT_EQ(port.TakeLineState(&snapshot), 0);
    EXPECT_EQ(snapshot.parityError, 1);
    EXPECT_EQ(snapshot.framingError, 0);
    EXPECT_EQ(port.LineControl(LINE_PARITY_ERROR, -1), 0);
    m_line.counters = {2, 2, 2, 2, 2};
    m_line.received = "x";
    char byte;
    port.Read(&byte, 1); // reads gather errors too
    for (int id : {LINE_OVERRUN, LINE_PARITY_ERROR, LINE_FRAMING_ERROR, LINE_BREAK_DETECT, LINE_RX_OVERFLOW})
        EXPECT_EQ(port.LineControl(id, -1), 1) << id;
}

TEST_F(WinCommPortFake, WriteStopsAtTheTransmitQueueSize) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    EXPECT_EQ(port.Write(std::string(4096, 'w').data(), 4096), 2048u);
    EXPECT_EQ(port.PeekError(), COMM_SHORT_WRITE);
    m_line.outQueue = 2000; // still queued
    EXPECT_EQ(port.Write(std::string(100, 'q').data(), 100), 48u);
    m_line.outQueue = 3000; // the driver holds more than the size asked for: no room at all
    EXPECT_EQ(port.WriteByte('z'), COMM_SHORT_WRITE);
    EXPECT_EQ(port.TransmitImmediate('!'), 0) << "jumps the queue";
    EXPECT_EQ(m_line.sent, std::string(2048, 'w') + std::string(48, 'q') + "!");
}

TEST_F(WinCommPortFake, StatusReportsQueuesAndHoldFlags) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    PortStatus status;
    std::memset(&status, 0xff, sizeof status);
    m_line.received = "abc";
    m_line.outQueue = 5;
    port.GetStatus(&status, 1);
    EXPECT_EQ(std::vector<int>({status.rxFlag, status.rxCount, status.rxSize, status.txCount, status.txSize,
                                status.blockSent, status.blockReceived}),
              std::vector<int>({1, 3, 4096, 5, 2048, 0, 0}));
    ASSERT_EQ(port.SetFlowControl(0, LINE_CTS), 0);
    port.GetStatus(&status, 7);
    EXPECT_EQ(status.blockReceived, 1) << "CTS low holds the waiting bytes";
    m_line.modemInputs = kLineCts;
    port.GetStatus(&status, 7);
    EXPECT_EQ(status.blockReceived, 0);
}

std::vector<std::string> g_lines;
std::string* g_lateBytes = nullptr; // where bytes arrive while line five is handled

void Collect(const char* line) {
    g_lines.emplace_back(line);
    if (g_lines.size() == 5 && g_lateBytes) g_lateBytes->assign(1234567, 'r');
}

TEST_F(WinCommPortFake, DumpStateOfAFreshPortAt9600) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.SetSettings(9600, 'N', 8, 1), 0);
    g_lines.clear();
    g_lateBytes = nullptr;
    port.DumpState(Collect);
    EXPECT_EQ(g_lines, std::vector<std::string>({
                           "Port type: MS Win32  BaudRate: 9600    ByteSize: 8  Parity: 0",
                           "StopBits: 0  fBinary: 1  fRtsControl: 1",
                           "Parity: 0  OutCtsFlow: 0  OutDsrFlow: 0  DtrControl: 1  OutX: 0  InX: 0",
                           "Null: 0  XonChar: 11  XoffChar: 13",
                           "XonLim: 1024  XoffLim: 128   EofChr: 00  EvtChr: 00",
                           "RX sz/ct:  4096/0      TX sz/ct:  2048/0      BLOCK SENT:0  BLOCK RECEIVED:0",
                       }));
}

// Wide values are never cut; the status is read after line five and keeps the line errors.
TEST_F(WinCommPortFake, DumpStateOfWideValues) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.SetSettings(12000000, 'M', 7, 2), 0);
    ASSERT_NE(port.SetEventChar('\x80'), 0);
    ASSERT_EQ(port.SetFlowControl(1, 12), 0);
    m_line.outQueue = 4000000000u;
    m_line.counters.frame = 3;
    g_lines.clear();
    g_lateBytes = &m_line.received;
    port.DumpState(Collect);
    EXPECT_EQ(g_lines,
              std::vector<std::string>({
                  "Port type: MS Win32  BaudRate: 12000000  ByteSize: 7  Parity: 3",
                  "StopBits: 2  fBinary: 1  fRtsControl: 1",
                  "Parity: 0  OutCtsFlow: 1  OutDsrFlow: 0  DtrControl: 1  OutX: 0  InX: 1",
                  "Null: 0  XonChar: 11  XoffChar: 13",
                  "XonLim: 1024  XoffLim: 128   EofChr: 00  EvtChr: 80",
                  "RX sz/ct:  4096/1234567  TX sz/ct:  2048/-294967296  BLOCK SENT:0  BLOCK RECEIVED:1",
              }));
    LineStateSnapshot snapshot{};
    port.TakeLineState(&snapshot);
    EXPECT_EQ(snapshot.framingError, 1);
}

} // namespace
