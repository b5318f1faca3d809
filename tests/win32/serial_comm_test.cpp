// The serial functions of the stand-in over a real pseudo-terminal.
#include "pty_posix.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <unistd.h>

namespace {

// A pty pair; the handle side opens the slave by its path.
class SerialPty : public ::testing::Test {
protected:
    void SetUp() override {
        m_master = pty::OpenMaster(&m_slave);
        ASSERT_GE(m_master, 0);
        m_handle = CreateFileA(m_slave.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
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
    EXPECT_EQ(std::tuple(back.BaudRate, back.StopBits, back.XonLim, back.EvtChar, back.ByteSize),
              std::tuple(128000u, BYTE{TWOSTOPBITS}, WORD{777}, '\n', BYTE{8}))
        << "a pty forces 8 data bits";
    EXPECT_EQ(back.fOutxCtsFlow + back.fOutX + back.fOutxDsrFlow, 3u) << "each flow bit, one of them kept";
}

TEST_F(SerialPty, RefusedStatesFailWithInvalidParameterAndKeepTheLine) {
    void (*const edits[])(DCB*) = {[](DCB* d) { d->ByteSize = 4; }, [](DCB* d) { d->Parity = 5; },
                                   [](DCB* d) { d->BaudRate = 0; },
                                   [](DCB* d) { d->StopBits = ONE5STOPBITS; }, // on 8 data bits
                                   [](DCB* d) { d->XoffChar = d->XonChar; }};
    DCB before{};
    ASSERT_TRUE(GetCommState(m_handle, &before));
    for (const auto& edit : edits) {
        SCOPED_TRACE(&edit - edits);
        DCB dcb = before, after{};
        edit(&dcb);
        EXPECT_FALSE(SetCommState(m_handle, &dcb));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
        ASSERT_TRUE(GetCommState(m_handle, &after));
        EXPECT_EQ(after.BaudRate, before.BaudRate);
    }
}

// The kernel takes what fits and the call comes back; the overlapped result is known at once. A pty
// has no modem lines and no error counters, which is no failure.
TEST_F(SerialPty, WriteNeverWaitsAndWhatAPtyLacksIsNoFailure) {
    std::string big(1 << 20, 'b');
    DWORD put = 0, result = 0;
    OVERLAPPED overlapped{};
    EXPECT_TRUE(WriteFile(m_handle, big.data(), static_cast<DWORD>(big.size()), &put, &overlapped));
    EXPECT_GT(put, 0u);
    EXPECT_LT(put, big.size());
    EXPECT_TRUE(GetOverlappedResult(m_handle, &overlapped, &result, TRUE));
    EXPECT_EQ(result, put);
    EXPECT_TRUE(PurgeComm(m_handle, PURGE_TXCLEAR | PURGE_RXCLEAR));
    DWORD errors = 1;
    EXPECT_TRUE(ClearCommError(m_handle, &errors, nullptr));
    EXPECT_EQ(errors, 0u);
    EXPECT_FALSE(EscapeCommFunction(m_handle, SETDTR));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FUNCTION});
    EXPECT_TRUE(SetCommBreak(m_handle) && ClearCommBreak(m_handle));
}

} // namespace
