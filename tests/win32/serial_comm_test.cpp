// The serial functions of the stand-in over a real pseudo-terminal and over the in-memory line.
#include "fake_serial_posix.h"
#include "pty_posix.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unistd.h>

namespace {

HANDLE Open(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

// A pty pair; the handle side opens the slave by its path.
class SerialPty : public ::testing::Test {
protected:
    void SetUp() override {
        m_master = pty::OpenMaster(&m_slave);
        ASSERT_GE(m_master, 0);
        m_handle = Open(m_slave);
        ASSERT_NE(m_handle, INVALID_HANDLE_VALUE) << GetLastError();
    }
    void TearDown() override {
        CloseHandle(m_handle);
        if (m_master >= 0) close(m_master);
    }
    std::string m_slave;
    int m_master = -1;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

TEST_F(SerialPty, StateReachesTheTerminalAndWhatLinuxLacksIsKept) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(m_handle, &dcb));
    dcb.BaudRate = 128000;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutX = 1;
    dcb.fOutxDsrFlow = 1; // no Linux equivalent: kept
    dcb.XonLim = 777;
    dcb.EvtChar = '\n';
    ASSERT_TRUE(SetCommState(m_handle, &dcb));
    DCB back{};
    ASSERT_TRUE(GetCommState(m_handle, &back));
    EXPECT_EQ(back.BaudRate, 128000u);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    EXPECT_EQ(back.fOutxCtsFlow + back.fOutX + back.fOutxDsrFlow, 3u);
    EXPECT_EQ(back.XonLim, 777);
    EXPECT_EQ(back.EvtChar, '\n');
    EXPECT_EQ(back.ByteSize, 8) << "a pty forces 8 data bits";
}

TEST_F(SerialPty, RefusedStatesFailWithInvalidParameterAndKeepTheLine) {
    const std::pair<const char*, void (*)(DCB*)> rows[] = {
        {"ByteSize4", [](DCB* d) { d->ByteSize = 4; }},
        {"Parity5", [](DCB* d) { d->Parity = 5; }},
        {"Baud0", [](DCB* d) { d->BaudRate = 0; }},
        {"HalfStopOn8Bits", [](DCB* d) { d->StopBits = ONE5STOPBITS; }},
        {"SameXonXoff", [](DCB* d) { d->XoffChar = d->XonChar; }},
    };
    DCB before{};
    ASSERT_TRUE(GetCommState(m_handle, &before));
    for (const auto& [name, edit] : rows) {
        DCB dcb = before, after{};
        edit(&dcb);
        EXPECT_FALSE(SetCommState(m_handle, &dcb)) << name;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER}) << name;
        ASSERT_TRUE(GetCommState(m_handle, &after));
        EXPECT_EQ(after.BaudRate, before.BaudRate) << name;
    }
}

TEST_F(SerialPty, ReadAndWriteNeverWait) {
    char buffer[8];
    DWORD got = 0, result = 0, put = 0;
    OVERLAPPED overlapped{};
    ASSERT_EQ(write(m_master, "hey", 3), 3);
    COMSTAT queued{};
    for (int i = 0; i < 1000 && queued.cbInQue < 3; ++i, Sleep(1)) ClearCommError(m_handle, nullptr, &queued);
    EXPECT_TRUE(ReadFile(m_handle, buffer, sizeof buffer, &got, &overlapped));
    EXPECT_EQ(std::string(buffer, got), "hey");
    EXPECT_TRUE(GetOverlappedResult(m_handle, &overlapped, &result, TRUE));
    EXPECT_EQ(result, 3u);
    std::string big(1 << 20, 'b');
    EXPECT_TRUE(WriteFile(m_handle, big.data(), static_cast<DWORD>(big.size()), &put, nullptr));
    EXPECT_GT(put, 0u);
    EXPECT_LT(put, big.size()) << "the kernel took what fits and the call came back";
    EXPECT_TRUE(PurgeComm(m_handle, PURGE_TXCLEAR | PURGE_RXCLEAR));
}

TEST_F(SerialPty, ModemCallsFailOnAPtyButBreakWorks) {
    DWORD status = 0xff;
    EXPECT_FALSE(GetCommModemStatus(m_handle, &status));
    EXPECT_EQ(status, 0u);
    EXPECT_FALSE(EscapeCommFunction(m_handle, SETDTR));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FUNCTION});
    EXPECT_TRUE(SetCommBreak(m_handle));
    EXPECT_TRUE(ClearCommBreak(m_handle));
    DWORD errors = 1;
    COMSTAT stat{};
    EXPECT_TRUE(ClearCommError(m_handle, &errors, &stat)) << "no counters is not a failure";
    EXPECT_EQ(errors, 0u);
}

TEST_F(SerialPty, VanishedMasterGivesFailuresNotHangs) {
    close(m_master);
    m_master = -1;
    COMSTAT stat{};
    stat.cbInQue = 5;
    EXPECT_FALSE(ClearCommError(m_handle, nullptr, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);
    DWORD mask = 0;
    ASSERT_TRUE(SetCommMask(m_handle, EV_RXCHAR));
    EXPECT_FALSE(WaitCommEvent(m_handle, &mask, nullptr));
}

TEST(SerialFake, ErrorBitsAreCounterDeltasAndWaitsWakeOnModemChanges) {
    win32posix::FakeSerialLine line;
    ASSERT_TRUE(win32posix::InstallSerialLine(42, &line));
    HANDLE handle = Open("\\\\.\\COM42");
    DWORD errors = 0, status = 0, mask = 0;
    line.counters = {2, 0, 0, 0, 1}; // frame, overrun, parity, brk, bufOverrun
    EXPECT_TRUE(ClearCommError(handle, &errors, nullptr));
    EXPECT_EQ(errors, DWORD{CE_FRAME | CE_RXOVER});
    EXPECT_TRUE(ClearCommError(handle, &errors, nullptr));
    EXPECT_EQ(errors, 0u) << "only what happened since the previous call";
    line.counters = {2, 4, 9, 1, 1};
    EXPECT_TRUE(ClearCommError(handle, &errors, nullptr));
    EXPECT_EQ(errors, DWORD{CE_BREAK | CE_OVERRUN | CE_RXPARITY});

    line.modemInputs = win32posix::kLineCts | win32posix::kLineRing;
    EXPECT_TRUE(GetCommModemStatus(handle, &status));
    EXPECT_EQ(status, MS_CTS_ON | MS_RING_ON);
    EXPECT_FALSE(WaitCommEvent(handle, &mask, nullptr)) << "an empty mask waits for nothing";
    EXPECT_TRUE(SetCommMask(handle, EV_CTS | EV_ERR));
    std::thread peer([&line] {
        Sleep(30);
        line.modemInputs = 0; // CTS drops while the wait goes on
    });
    EXPECT_TRUE(WaitCommEvent(handle, &mask, nullptr));
    peer.join();
    EXPECT_EQ(mask, DWORD{EV_CTS});
    CloseHandle(handle);
    win32posix::InstallSerialLine(42, nullptr);
}

} // namespace
