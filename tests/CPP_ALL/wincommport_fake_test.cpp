// WinCommPort over the stand-in's in-memory line: what a pseudo-terminal cannot show (modem
// lines, line errors, a refused configuration, a transmit queue that fills).
#include "WinCommPort.h"
#include "fake_serial_posix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

using win32posix::FakeSerialLine;

class WinCommPortFake : public ::testing::Test {
protected:
    static constexpr int kIndex = 9; // COM10: the two-digit name goes through the same format
    void SetUp() override { ASSERT_TRUE(win32posix::InstallSerialLine(kIndex + 1, &m_line)); }
    void TearDown() override { win32posix::InstallSerialLine(kIndex + 1, nullptr); }
    FakeSerialLine m_line;
};

TEST_F(WinCommPortFake, FreshPortReportsItsSetUp) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.PeekError(), 0);
    int baud = 0, dataBits = 0, stopBits = 0, input = -1, output = -1;
    char parity = 0;
    port.GetSettings(&baud, &parity, &dataBits, &stopBits);
    EXPECT_EQ(std::to_string(baud) + parity + std::to_string(dataBits) + std::to_string(stopBits),
              "19200N81");
    EXPECT_EQ(port.GetFlowControl(&input, &output), 0);
    EXPECT_EQ(input, 0);
    EXPECT_EQ(output, 0);
    EXPECT_EQ(port.LineControl(LINE_DTR, -1), 1);
    EXPECT_EQ(port.LineControl(LINE_RTS, -1), 1);
    EXPECT_EQ(port.LineControl(LINE_BREAK, -1), 0);
    EXPECT_EQ(m_line.outputLines, win32posix::kLineDtr | win32posix::kLineRts);
    EXPECT_EQ(m_line.settings.baud, 19200u);
}

TEST_F(WinCommPortFake, SettingsReachTheLine) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.SetSettings(9600, 'E', 7, 2), 0);
    EXPECT_EQ(m_line.settings.baud, 9600u);
    EXPECT_EQ(m_line.settings.parity, EVENPARITY);
    EXPECT_EQ(m_line.settings.dataBits, 7);
    EXPECT_TRUE(m_line.settings.twoStopBits);
    for (int stopBits : {1, 2}) {
        ASSERT_EQ(port.SetSettings(9600, 'N', 5, stopBits), 0);
        EXPECT_TRUE(m_line.settings.twoStopBits) << "one and a half stop bits for " << stopBits;
        int baud, dataBits, reported;
        char parity;
        port.GetSettings(&baud, &parity, &dataBits, &reported);
        EXPECT_EQ(reported, 1);
    }
}

TEST_F(WinCommPortFake, RejectedSettingsKeepEarlierEditsUnapplied) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    int calls = m_line.setSettingsCalls;
    EXPECT_EQ(port.SetSettings(1200, 'N', 9, 1), COMM_BAD_DATA_BITS);
    int baud, dataBits, stopBits;
    char parity;
    port.GetSettings(&baud, &parity, &dataBits, &stopBits);
    EXPECT_EQ(baud, 1200);
    EXPECT_EQ(parity, 'N');
    EXPECT_EQ(dataBits, 8);
    EXPECT_EQ(port.SetSettings(9600, 'X', 8, 1), COMM_BAD_PARITY);
    EXPECT_EQ(port.SetSettings(9600, 'n', 8, 1), COMM_BAD_PARITY);
    EXPECT_EQ(port.SetSettings(9600, 'N', 8, 3), COMM_BAD_STOP_BITS);
    EXPECT_EQ(port.PeekError(), COMM_BAD_STOP_BITS);
    EXPECT_EQ(m_line.setSettingsCalls, calls);
    EXPECT_EQ(m_line.settings.baud, 19200u);
}

TEST_F(WinCommPortFake, RefusedStateRecordsTheTranslatedCode) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.refuseSettings = EINVAL;
    EXPECT_EQ(port.SetSettings(3, 'N', 8, 1), COMM_FAILED);
    EXPECT_EQ(port.TakeError(), COMM_FAILED);
    EXPECT_EQ(m_line.settings.baud, 19200u);
}

TEST_F(WinCommPortFake, RefusedStateWhileOpeningLeavesThePortOpen) {
    m_line.refuseSettings = EINVAL;
    {
        WinCommPort port(kIndex, 4096, 2048, 0);
        EXPECT_EQ(port.PeekError(), COMM_FAILED);
        EXPECT_EQ(g_portOpenCount[kIndex], 1);
    }
    EXPECT_EQ(g_portOpenCount[kIndex], 0);
    EXPECT_EQ(m_line.outputLines, 0u) << "closing drops DTR and RTS";
}

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
    EXPECT_EQ(m_line.settings.rtsCts, row.ctsFlow);
    EXPECT_EQ(m_line.settings.xonInput, row.xonIn);
    EXPECT_EQ(m_line.settings.xonOutput, row.xonOut);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WinCommPortFlow,
    ::testing::Values(FlowRow{1, 1, 0, 0, false, true, true}, FlowRow{4, 12, 0, 0, true, false, false},
                      FlowRow{0, 12, 0, 0, true, false, false},
                      FlowRow{2, 0, COMM_FAILED, COMM_BAD_INPUT_FLOW, false, false, false},
                      FlowRow{-1, 0, COMM_FAILED, COMM_BAD_INPUT_FLOW, false, false, false},
                      FlowRow{0, 14, COMM_BAD_OUTPUT_FLOW, COMM_BAD_OUTPUT_FLOW, false, false, false},
                      FlowRow{0, -1, COMM_BAD_OUTPUT_FLOW, COMM_BAD_OUTPUT_FLOW, false, false, false},
                      FlowRow{13, 0, COMM_NOT_SUPPORTED, COMM_NOT_SUPPORTED, false, false, false},
                      FlowRow{0, 15, COMM_NOT_SUPPORTED, COMM_NOT_SUPPORTED, false, false, false}));

TEST_F(WinCommPortFake, HandshakeOffAgainLeavesRtsUp) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.SetFlowControl(4, 12), 0);
    ASSERT_EQ(port.SetFlowControl(0, 0), 0);
    EXPECT_FALSE(m_line.settings.rtsCts);
    EXPECT_TRUE(m_line.outputLines & win32posix::kLineRts);
    EXPECT_EQ(port.LineControl(LINE_RTS, -1), 1);
}

TEST_F(WinCommPortFake, OutputLinesAndBreakAsLastSet) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    EXPECT_EQ(port.LineControl(LINE_DTR, 0), 0);
    EXPECT_EQ(m_line.outputLines, unsigned{win32posix::kLineRts});
    EXPECT_EQ(port.LineControl(LINE_RTS, 0), 0);
    EXPECT_EQ(port.LineControl(LINE_DTR, 7), 1);
    EXPECT_EQ(m_line.outputLines, unsigned{win32posix::kLineDtr});
    // The held copy keeps DTR up and RTS down the next time it is applied.
    ASSERT_EQ(port.SetSettings(9600, 'N', 8, 1), 0);
    EXPECT_EQ(m_line.outputLines, unsigned{win32posix::kLineDtr});

    EXPECT_EQ(port.Break(1), 1);
    EXPECT_TRUE(m_line.breakOn);
    EXPECT_EQ(port.LineControl(LINE_BREAK, -1), 1);
    m_line.breakOn = false;
    EXPECT_EQ(port.Break(-1), 1);
    EXPECT_FALSE(m_line.breakOn) << "a query does not touch the device";
    EXPECT_EQ(port.Break(5), 0) << "any value but 1 turns break off and reads back as off";
    EXPECT_EQ(port.LineControl(LINE_BREAK, -1), 0);
    m_line.failAll = EIO;
    EXPECT_EQ(port.Break(1), COMM_BREAK_FAILED);
    EXPECT_EQ(port.Break(-1), 0);
}

TEST_F(WinCommPortFake, ModemInputsAndFixedIdentifiers) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.modemInputs = win32posix::kLineCts | win32posix::kLineDcd;
    EXPECT_EQ(port.LineControl(LINE_CTS, -1), 1);
    EXPECT_EQ(port.LineControl(LINE_DSR, 0), 0);
    EXPECT_EQ(port.LineControl(LINE_RING, -1), 0);
    EXPECT_EQ(port.LineControl(LINE_RLSD, -1), 1);
    for (int id : {17, 18, 19, 20}) EXPECT_EQ(port.LineControl(id, -1), 0) << id;
    for (int id : {5, 16, 21, 29, 40}) EXPECT_EQ(port.LineControl(id, 1), LINE_UNKNOWN) << id;
    EXPECT_EQ(port.Reserved1(), COMM_NOT_SUPPORTED);
    EXPECT_EQ(port.Reserved2(), COMM_NOT_SUPPORTED);
    m_line.hasModemLines = false; // as on a pseudo-terminal
    EXPECT_EQ(port.LineControl(LINE_CTS, -1), 0);
}

TEST_F(WinCommPortFake, ParityErrorShowsUntilTheSnapshotTakesIt) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.counters.parity = 1;
    EXPECT_EQ(port.LineControl(LINE_PARITY_ERROR, -1), 0) << "not gathered yet";
    port.PollLineStatus();
    EXPECT_EQ(port.LineControl(LINE_PARITY_ERROR, -1), 1);
    EXPECT_EQ(port.LineControl(LINE_PARITY_ERROR, -1), 1);
    LineStateSnapshot first{};
    EXPECT_EQ(port.TakeLineState(&first), 0);
    EXPECT_EQ(first.parityError, 1);
    EXPECT_EQ(first.framingError, 0);
    EXPECT_EQ(first.dtr, 1);
    EXPECT_EQ(port.LineControl(LINE_PARITY_ERROR, -1), 0);
    LineStateSnapshot second{};
    port.TakeLineState(&second);
    EXPECT_EQ(second.parityError, 0);
}

TEST_F(WinCommPortFake, EveryErrorKindReachesItsField) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.counters = {1, 1, 1, 1, 1};
    m_line.received = "x";
    char byte;
    port.Read(&byte, 1); // reads gather errors too
    LineStateSnapshot snapshot{};
    port.TakeLineState(&snapshot);
    EXPECT_EQ(snapshot.framingError + snapshot.overrun + snapshot.parityError + snapshot.breakDetect +
                  snapshot.rxOverflow,
              5);
}

TEST_F(WinCommPortFake, WriteStopsAtTheTransmitQueueSize) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    std::string bytes(4096, 'w');
    EXPECT_EQ(port.Write(bytes.data(), 4096), 2048u);
    EXPECT_EQ(port.PeekError(), COMM_SHORT_WRITE);
    EXPECT_EQ(m_line.sent.size(), 2048u);
}

TEST_F(WinCommPortFake, WriteCountsWhatIsStillQueued) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.outQueue = 2000;
    EXPECT_EQ(port.Write(std::string(100, 'q').data(), 100), 48u);
    m_line.outQueue = 3000; // the driver holds more than the size asked for: no room at all
    EXPECT_EQ(port.WriteByte('z'), COMM_SHORT_WRITE);
    EXPECT_EQ(m_line.sent.size(), 48u);
}

TEST_F(WinCommPortFake, StatusReportsQueuesAndHoldFlags) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    PortStatus status;
    std::memset(&status, 0xff, sizeof status);
    m_line.received = "abc";
    m_line.outQueue = 5;
    port.GetStatus(&status, 1);
    EXPECT_EQ(status.rxFlag, 1);
    EXPECT_EQ(status.rxCount, 3);
    EXPECT_EQ(status.rxSize, 4096);
    EXPECT_EQ(status.txCount, 5);
    EXPECT_EQ(status.txSize, 2048);
    EXPECT_EQ(status.blockSent, 0);
    EXPECT_EQ(status.blockReceived, 0);
    ASSERT_EQ(port.SetFlowControl(0, LINE_CTS), 0);
    port.GetStatus(&status, 7);
    EXPECT_EQ(status.blockReceived, 1) << "CTS low holds the waiting bytes";
    m_line.modemInputs = win32posix::kLineCts;
    port.GetStatus(&status, 7);
    EXPECT_EQ(status.blockReceived, 0);
}

TEST_F(WinCommPortFake, QueueSizesGoToTheHeldCopy) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.received = "old";
    ASSERT_EQ(port.SetQueueSizes(0x12000, 0, 0), 0);
    PortStatus status{};
    port.GetStatus(&status, 7);
    EXPECT_EQ(status.rxSize, 0x2000) << "low 16 bits";
    EXPECT_EQ(status.txSize, 2048);
    EXPECT_EQ(status.rxCount, 0) << "queues purged";
}

TEST_F(WinCommPortFake, VanishedLineNeverHangsOrCrashes) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    m_line.received = "lost";
    m_line.failAll = EIO;
    char buffer[8];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(port.Write("abc", 3), 0u);
    EXPECT_EQ(port.Purge(0, -1), 0);
    EXPECT_EQ(port.TransmitImmediate('x'), COMM_FAILED);
    EXPECT_EQ(port.SetSettings(9600, 'N', 8, 1), COMM_FAILED);
}

TEST_F(WinCommPortFake, TransmitImmediateAndEventOperations) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    EXPECT_EQ(port.TransmitImmediate(0x55), 0);
    EXPECT_EQ(m_line.sent, "\x55");
    EXPECT_NE(port.SetEventChar('\r'), 0);
    uint32_t mask = 7;
    EXPECT_EQ(port.GetEventMask(&mask), 0);
    EXPECT_EQ(mask, 0u) << "Open cleared the mask";
    EXPECT_EQ(port.SetEventMask(EV_RXCHAR), 0);
    m_line.received = "e";
    EXPECT_EQ(port.WaitEvent(&mask), 0);
    EXPECT_EQ(mask, uint32_t{EV_RXCHAR});
}

TEST_F(WinCommPortFake, DirectCloseKeepsTheCountUntilDestruction) {
    {
        WinCommPort port(kIndex, 4096, 2048, 0);
        m_line.received = "stale";
        EXPECT_EQ(port.Close(), 0);
        EXPECT_EQ(m_line.outputLines, 0u);
        EXPECT_TRUE(m_line.received.empty());
        EXPECT_EQ(port.Close(), COMM_CLOSE_FAILED) << "nothing left to close";
        WinCommPort again(kIndex, 4096, 2048, 0);
        EXPECT_EQ(again.PeekError(), COMM_IN_USE);
    }
    EXPECT_EQ(g_portOpenCount[kIndex], 0);
    WinCommPort reopened(kIndex, 4096, 2048, 0);
    EXPECT_EQ(reopened.PeekError(), 0);
}

struct TranslationRow {
    LONG lastError;
    int status;
};

class WinCommPortTranslation : public ::testing::TestWithParam<TranslationRow> {};

TEST_P(WinCommPortTranslation, MapsTheLastError) {
    WinCommPort port(0, 4096, 2048, 1);
    SetLastError(static_cast<DWORD>(GetParam().lastError));
    EXPECT_EQ(port.TranslateLastError(), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WinCommPortTranslation,
    ::testing::Values(TranslationRow{IE_BADID, COMM_DEVICE_ERROR}, TranslationRow{IE_OPEN, COMM_IN_USE},
                      TranslationRow{IE_NOPEN, COMM_DEVICE_ERROR}, TranslationRow{IE_MEMORY, COMM_NO_MEMORY},
                      TranslationRow{IE_DEFAULT, COMM_BAD_OUTPUT_FLOW}, TranslationRow{-6, COMM_FAILED},
                      TranslationRow{-9, COMM_FAILED}, TranslationRow{IE_HARDWARE, COMM_DEVICE_ERROR},
                      TranslationRow{IE_BYTESIZE, COMM_BAD_DATA_BITS},
                      TranslationRow{IE_BAUDRATE, COMM_BAD_BAUD},
                      TranslationRow{ERROR_FILE_NOT_FOUND, COMM_FAILED},
                      TranslationRow{ERROR_ACCESS_DENIED, COMM_FAILED}, TranslationRow{0, COMM_FAILED}));

TEST(WinCommPortEmpty, HoldsNothingAndRefusesSettings) {
    WinCommPort port(3, 4096, 2048, 1);
    EXPECT_EQ(port.PeekError(), 0);
    EXPECT_EQ(g_portOpenCount[3], 0);
    EXPECT_EQ(port.SetSettings(9600, 'N', 8, 1), COMM_DEVICE_ERROR);
    EXPECT_EQ(port.LineControl(LINE_DTR, 1), 0);
}

} // namespace
