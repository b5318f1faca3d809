// The serial functions of the stand-in over a real pseudo-terminal and over the in-memory line.
#include "fake_serial_posix.h"
#include "termios2_posix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
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
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(m_master, 0);
        ASSERT_EQ(grantpt(m_master) | unlockpt(m_master), 0);
        char name[128];
        ASSERT_EQ(ptsname_r(m_master, name, sizeof name), 0);
        m_slave = name;
        m_handle = Open(m_slave);
        ASSERT_NE(m_handle, INVALID_HANDLE_VALUE) << GetLastError();
    }
    void TearDown() override {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
        if (m_master >= 0) close(m_master);
    }
    // Waits (at most a second) until the handle side has `count` bytes queued.
    DWORD WaitQueued(DWORD count) {
        COMSTAT status{};
        for (int i = 0; i < 1000 && status.cbInQue < count; ++i) {
            ClearCommError(m_handle, nullptr, &status);
            Sleep(1);
        }
        return status.cbInQue;
    }
    int m_master = -1;
    std::string m_slave;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

TEST_F(SerialPty, SecondOpenIsDeniedUntilTheFirstCloses) {
    EXPECT_EQ(Open(m_slave), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    ASSERT_TRUE(CloseHandle(m_handle));
    m_handle = Open(m_slave);
    EXPECT_NE(m_handle, INVALID_HANDLE_VALUE);
}

TEST_F(SerialPty, StateReachesTheTerminal) {
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
    uint32_t speed = 0;
    ASSERT_TRUE(tty2::GetSpeed(m_master, &speed));
    EXPECT_EQ(speed, 128000u);
    DCB back{};
    ASSERT_TRUE(GetCommState(m_handle, &back));
    EXPECT_EQ(back.BaudRate, 128000u);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    EXPECT_EQ(back.fOutxCtsFlow, 1u);
    EXPECT_EQ(back.fOutX, 1u);
    EXPECT_EQ(back.fOutxDsrFlow, 1u);
    EXPECT_EQ(back.XonLim, 777);
    EXPECT_EQ(back.EvtChar, '\n');
    EXPECT_EQ(back.ByteSize, 8) << "a pty forces 8 data bits";
}

struct RefusedRow {
    const char* name;
    void (*edit)(DCB*);
};

class RefusedState : public SerialPty, public ::testing::WithParamInterface<RefusedRow> {};

TEST_P(RefusedState, FailsWithInvalidParameterAndKeepsTheLine) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(m_handle, &dcb));
    DCB before = dcb;
    GetParam().edit(&dcb);
    EXPECT_FALSE(SetCommState(m_handle, &dcb));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    DCB after{};
    ASSERT_TRUE(GetCommState(m_handle, &after));
    EXPECT_EQ(after.BaudRate, before.BaudRate);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedState,
    ::testing::Values(RefusedRow{"ByteSize4", [](DCB* d) { d->ByteSize = 4; }},
                      RefusedRow{"Parity5", [](DCB* d) { d->Parity = 5; }},
                      RefusedRow{"Baud0", [](DCB* d) { d->BaudRate = 0; }},
                      RefusedRow{"HalfStopOn8Bits", [](DCB* d) { d->StopBits = ONE5STOPBITS; }},
                      RefusedRow{"SameXonXoff", [](DCB* d) { d->XoffChar = d->XonChar; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialPty, ReadAndWriteNeverWait) {
    char buffer[8];
    DWORD got = 99;
    OVERLAPPED overlapped{};
    EXPECT_TRUE(ReadFile(m_handle, buffer, sizeof buffer, &got, &overlapped));
    EXPECT_EQ(got, 0u);
    ASSERT_EQ(write(m_master, "hey", 3), 3);
    ASSERT_EQ(WaitQueued(3), 3u);
    EXPECT_TRUE(ReadFile(m_handle, buffer, sizeof buffer, &got, &overlapped));
    EXPECT_EQ(std::string(buffer, got), "hey");
    DWORD result = 0;
    EXPECT_TRUE(GetOverlappedResult(m_handle, &overlapped, &result, TRUE));
    EXPECT_EQ(result, 3u);
    std::string big(1 << 20, 'b');
    DWORD put = 0;
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
    DWORD put = 7;
    EXPECT_FALSE(WriteFile(m_handle, "x", 1, &put, nullptr));
    EXPECT_EQ(put, 0u);
    DWORD mask = 0;
    ASSERT_TRUE(SetCommMask(m_handle, EV_RXCHAR));
    EXPECT_FALSE(WaitCommEvent(m_handle, &mask, nullptr));
}

TEST(SerialHandles, UnknownHandlesAreRefused) {
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    DCB dcb{};
    EXPECT_FALSE(GetCommState(reinterpret_cast<HANDLE>(4000), &dcb));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

struct OpenRow {
    const char* name;
    std::string (*make)(const std::string& dir); // returns the path to open
    DWORD error;
};

class OpenRefused : public ::testing::TestWithParam<OpenRow> {};

TEST_P(OpenRefused, NotATerminalIsRefusedWithAWindowsError) {
    char pattern[] = "/tmp/korvane-open-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string path = GetParam().make(pattern);
    EXPECT_EQ(Open(path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), GetParam().error);
    std::filesystem::remove_all(pattern);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OpenRefused,
    ::testing::Values(OpenRow{"Missing", [](const std::string& d) { return d + "/none"; },
                              ERROR_FILE_NOT_FOUND},
                      OpenRow{"RegularFile",
                              [](const std::string& d) {
                                  std::ofstream(d + "/file") << "text";
                                  return d + "/file";
                              },
                              ERROR_INVALID_FUNCTION},
                      OpenRow{"Directory", [](const std::string& d) { return d; }, ERROR_ACCESS_DENIED},
                      OpenRow{"DanglingLink",
                              [](const std::string& d) {
                                  std::filesystem::create_symlink(d + "/gone", d + "/link");
                                  return d + "/link";
                              },
                              ERROR_FILE_NOT_FOUND}),
    [](const auto& info) { return std::string(info.param.name); });

class SerialFake : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(win32posix::InstallSerialLine(42, &m_line));
        m_handle = Open("\\\\.\\COM42");
        ASSERT_NE(m_handle, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        CloseHandle(m_handle);
        win32posix::InstallSerialLine(42, nullptr);
    }
    win32posix::FakeSerialLine m_line;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

TEST_F(SerialFake, ErrorBitsAreCounterDeltas) {
    DWORD errors = 0;
    COMSTAT stat{};
    m_line.counters.frame = 2;
    m_line.counters.bufOverrun = 1;
    ASSERT_TRUE(ClearCommError(m_handle, &errors, &stat));
    EXPECT_EQ(errors, DWORD{CE_FRAME | CE_RXOVER});
    ASSERT_TRUE(ClearCommError(m_handle, &errors, &stat));
    EXPECT_EQ(errors, 0u) << "only what happened since the previous call";
    m_line.counters.brk = 1;
    m_line.counters.overrun = 4;
    m_line.counters.parity = 9;
    ASSERT_TRUE(ClearCommError(m_handle, &errors, &stat));
    EXPECT_EQ(errors, DWORD{CE_BREAK | CE_OVERRUN | CE_RXPARITY});
}

TEST_F(SerialFake, SecondOpenOfAnInstalledLineIsDenied) {
    EXPECT_EQ(Open("COM42"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}

TEST_F(SerialFake, ModemStatusAndEvents) {
    m_line.modemInputs = win32posix::kLineCts | win32posix::kLineRing;
    DWORD status = 0;
    ASSERT_TRUE(GetCommModemStatus(m_handle, &status));
    EXPECT_EQ(status, MS_CTS_ON | MS_RING_ON);
    DWORD mask = 0;
    EXPECT_FALSE(WaitCommEvent(m_handle, &mask, nullptr)) << "an empty mask waits for nothing";
    ASSERT_TRUE(SetCommMask(m_handle, EV_CTS | EV_ERR));
    std::thread peer([this] {
        Sleep(30);
        m_line.modemInputs = 0; // CTS drops while the wait goes on
    });
    EXPECT_TRUE(WaitCommEvent(m_handle, &mask, nullptr));
    peer.join();
    EXPECT_EQ(mask, DWORD{EV_CTS});
}

} // namespace
