// WinCommPort::DumpState: the six lines character for character.
#include "WinCommPort.h"
#include "fake_serial_posix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_lines;
win32posix::FakeSerialLine* g_lineForCallback = nullptr;

void Collect(const char* line) {
    g_lines.emplace_back(line);
    // Bytes arriving while line 5 is handled show in line 6: the status is read after line 5.
    if (g_lines.size() == 5 && g_lineForCallback) g_lineForCallback->received = "late";
}

class DumpState : public ::testing::Test {
protected:
    static constexpr int kIndex = 11;
    void SetUp() override {
        g_lines.clear();
        g_lineForCallback = nullptr;
        ASSERT_TRUE(win32posix::InstallSerialLine(kIndex + 1, &m_line));
    }
    void TearDown() override { win32posix::InstallSerialLine(kIndex + 1, nullptr); }
    win32posix::FakeSerialLine m_line;
};

TEST_F(DumpState, FreshPortAt9600) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.SetSettings(9600, 'N', 8, 1), 0);
    port.DumpState(Collect);
    const std::vector<std::string> expected = {
        "Port type: MS Win32  BaudRate: 9600    ByteSize: 8  Parity: 0",
        "StopBits: 0  fBinary: 1  fRtsControl: 1",
        "Parity: 0  OutCtsFlow: 0  OutDsrFlow: 0  DtrControl: 1  OutX: 0  InX: 0",
        "Null: 0  XonChar: 11  XoffChar: 13",
        "XonLim: 1024  XoffLim: 128   EofChr: 00  EvtChr: 00",
        "RX sz/ct:  4096/0      TX sz/ct:  2048/0      BLOCK SENT:0  BLOCK RECEIVED:0",
    };
    EXPECT_EQ(g_lines, expected);
    EXPECT_EQ(g_lines[0].size(), 61u);
    EXPECT_EQ(g_lines[5].size(), 76u);
}

TEST_F(DumpState, WideValuesAreNeverCut) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    ASSERT_EQ(port.SetSettings(12000000, 'M', 7, 2), 0);
    ASSERT_NE(port.SetEventChar('\x80'), 0);
    ASSERT_EQ(port.SetFlowControl(1, 12), 0);
    m_line.received.assign(1234567, 'r');
    m_line.outQueue = 4000000000u;
    port.DumpState(Collect);
    ASSERT_EQ(g_lines.size(), 6u);
    EXPECT_EQ(g_lines[0], "Port type: MS Win32  BaudRate: 12000000  ByteSize: 7  Parity: 3");
    EXPECT_EQ(g_lines[1], "StopBits: 2  fBinary: 1  fRtsControl: 1");
    EXPECT_EQ(g_lines[2], "Parity: 0  OutCtsFlow: 1  OutDsrFlow: 0  DtrControl: 1  OutX: 0  InX: 1");
    EXPECT_EQ(g_lines[4], "XonLim: 1024  XoffLim: 128   EofChr: 00  EvtChr: 80");
    EXPECT_EQ(g_lines[5],
              "RX sz/ct:  4096/1234567  TX sz/ct:  2048/-294967296  BLOCK SENT:0  BLOCK RECEIVED:1");
}

TEST_F(DumpState, StatusIsReadAfterTheFifthLineAndKeepsLineErrors) {
    WinCommPort port(kIndex, 4096, 2048, 0);
    g_lineForCallback = &m_line;
    m_line.counters.frame = 3;
    port.DumpState(Collect);
    ASSERT_EQ(g_lines.size(), 6u);
    EXPECT_EQ(g_lines[5].substr(0, 22), "RX sz/ct:  4096/4     ");
    LineStateSnapshot snapshot{};
    port.TakeLineState(&snapshot);
    EXPECT_EQ(snapshot.framingError, 1);
}

} // namespace
