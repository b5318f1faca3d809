// The serial functions of the stand-in over a real pseudo-terminal and over the in-memory line.
#include "fake_serial_posix.h"
#include "pty_posix.h"
#include "serial_line_posix.h"

#include <windows.h>

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>
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
    void TearDown() override { CloseHandle(m_handle), close(m_master); }
    std::string m_slave;
    int m_master = -1;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// Each row's DCB as the terminal holds it, read back with TCGETS2 on the master. A pty forces CS8
// and clears PARENB but keeps PARODD, CMSPAR, CSTOPB and separate input and output speeds, so the
// rows check what the line was told, both ways of each bit; GetCommState then reports the speed
// and stop bits, 8 data bits, and the fields Linux has no place for as they were given.
TEST_F(SerialPty, EachDcbRowReachesTheTerminal) {
    // Baud, parity, stop bits, CTS flow, XON out, XON in, parity check; the cflag bits of PARODD | CMSPAR |
    // CSTOPB | CRTSCTS and the iflag bits of IXON | IXOFF | INPCK.
    const struct {
        DWORD baud;
        BYTE parity, stopBits;
        bool ctsFlow, xonOut, xonIn, parityCheck;
        tcflag_t cflag, iflag;
    } rows[] = {{128000, ODDPARITY, ONESTOPBIT, true, false, false, true, PARODD | CRTSCTS, INPCK},
                {9600, EVENPARITY, TWOSTOPBITS, false, true, false, false, CSTOPB, IXON},
                {38400, MARKPARITY, ONESTOPBIT, false, false, true, false, PARODD | CMSPAR, IXOFF},
                {300, SPACEPARITY, TWOSTOPBITS, true, true, true, true, CMSPAR | CSTOPB | CRTSCTS,
                 IXON | IXOFF | INPCK}};
    DCB dcb{};
    ASSERT_TRUE(GetCommState(m_handle, &dcb));
    for (const auto& row : rows) {
        dcb.BaudRate = row.baud, dcb.Parity = row.parity, dcb.StopBits = row.stopBits,
        dcb.fOutxCtsFlow = row.ctsFlow;
        dcb.fOutX = row.xonOut, dcb.fInX = row.xonIn, dcb.fParity = row.parityCheck,
        dcb.fOutxDsrFlow = !row.ctsFlow;
        // XonLim and fOutxDsrFlow have no Linux equivalent: kept as given.
        dcb.XonChar = char(&row - rows), dcb.XoffChar = char(0x20 + (&row - rows)),
        dcb.XonLim = WORD(row.baud / 100);
        ASSERT_TRUE(SetCommState(m_handle, &dcb));
        termios2 tio{};
        ASSERT_EQ(ioctl(m_master, TCGETS2, &tio), 0);
        EXPECT_EQ((std::vector<tcflag_t>{
                      tio.c_ospeed, tio.c_ispeed, tio.c_cflag & CBAUD, (tio.c_cflag >> IBSHIFT) & CBAUD,
                      tio.c_cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS),
                      tio.c_iflag & (IXON | IXOFF | INPCK), tio.c_cc[VSTART], tio.c_cc[VSTOP]}),
                  (std::vector<tcflag_t>{row.baud, row.baud, BOTHER, BOTHER, row.cflag, row.iflag,
                                         tcflag_t(cc_t(dcb.XonChar)), tcflag_t(cc_t(dcb.XoffChar))}))
            << row.baud;
        DCB back{};
        ASSERT_TRUE(GetCommState(m_handle, &back));
        EXPECT_EQ(
            (std::vector<DWORD>{back.BaudRate, back.StopBits, back.ByteSize, back.XonLim, BYTE(back.XonChar),
                                back.fOutxCtsFlow, back.fOutX, back.fInX, back.fParity, back.fOutxDsrFlow}),
            (std::vector<DWORD>{row.baud, row.stopBits, 8, dcb.XonLim, BYTE(dcb.XonChar), row.ctsFlow,
                                row.xonOut, row.xonIn, row.parityCheck, !row.ctsFlow}))
            << row.baud;
    }
}

TEST_F(SerialPty, RefusedStatesFailWithInvalidParameterAndKeepTheLine) {
    void (*const edits[])(DCB*) = {[](DCB* d) { d->ByteSize = 4; }, [](DCB* d) { d->Parity = 5; },
                                   [](DCB* d) { d->BaudRate = 0; },
                                   [](DCB* d) { d->StopBits = ONE5STOPBITS, d->ByteSize = 6; },
                                   [](DCB* d) { d->XoffChar = d->XonChar; }};
    DCB before{};
    ASSERT_TRUE(GetCommState(m_handle, &before));
    for (const auto& edit : edits) {
        DCB dcb = before, after{};
        edit(&dcb);
        EXPECT_EQ((std::tuple{SetCommState(m_handle, &dcb), GetLastError(), GetCommState(m_handle, &after),
                              after.BaudRate}),
                  std::tuple(FALSE, DWORD{ERROR_INVALID_PARAMETER}, TRUE, before.BaudRate))
            << &edit - edits;
    }
}

// A driver that rounds 128000 to 115200 did not meet it; 3% either way is met.
TEST(SerialRates, ARateIsMetWithinThreePercent) {
    // clang-format off
    const std::tuple<uint32_t, uint32_t, bool> rows[] = {
        {128000, 115200, false}, {38400, 39552, true}, {38400, 39553, false}, {38400, 37248, true},
        {38400, 37247, false}, {9600, 0, false}, {4000000000u, 4000000000u, true}, {300, 4000000000u, false}};
    // clang-format on
    for (const auto& [wanted, got, met] : rows)
        EXPECT_EQ(win32posix::RateWithinTolerance(wanted, got), met) << wanted << " set as " << got;
}

// The kernel takes what fits and the call comes back; the overlapped result is known at once. A pty
// has no error counters, which is no failure, and no transmit queue: a status query costs the one
// system call that reads what is queued, after a write as before it. Then, the pty full,
// the wait behind the port's idle step: with the far end silent it waits out its bound (it waits, not
// spins); a byte from the far end (50 ms in) ends it then, long before its 10 s.
TEST_F(SerialPty, WriteNeverWaitsAndTheIdleWaitEndsWhenAByteComesOrItsBoundPasses) {
    std::string big(1 << 20, 'b');
    DWORD put = 0, result = 0, errors = 1;
    OVERLAPPED overlapped{};
    EXPECT_EQ(
        (std::tuple{WriteFile(m_handle, big.data(), DWORD(big.size()), &put, &overlapped),
                    put > 0 && put < big.size(), GetOverlappedResult(m_handle, &overlapped, &result, TRUE),
                    result == put, PurgeComm(m_handle, PURGE_TXCLEAR | PURGE_RXCLEAR),
                    ClearCommError(m_handle, &errors, nullptr), errors}),
        std::tuple(TRUE, true, TRUE, true, TRUE, TRUE, DWORD{0}))
        << put;
    auto queryCost = [&] {
        const uint64_t before = win32posix::TtySyscallCount();
        ClearCommError(m_handle, &errors, nullptr);
        return win32posix::TtySyscallCount() - before;
    };
    queryCost();
    const uint64_t idle = queryCost();
    ASSERT_TRUE(WriteFile(m_handle, "x", 1, &put, &overlapped));
    const uint64_t afterWrite = queryCost();
    EXPECT_EQ(std::tuple(idle, afterWrite, queryCost()), std::tuple(1u, 1u, 1u));
    for (int n = 0; n < 100 && put > 0; ++n, usleep(5000))
        WriteFile(m_handle, big.data(), static_cast<DWORD>(big.size()), &put, nullptr);
    ASSERT_EQ(put, 0u) << "the pty is full";
    for (bool byte : {false, true}) {
        std::thread peer([&] {
            usleep(50000);
            EXPECT_EQ(byte ? write(m_master, "Q", 1) : 1, 1);
        });
        queryCost(); // finds the queue empty
        const auto start = std::chrono::steady_clock::now();
        const BOOL ready = win32posix::WaitCommReady(m_handle, byte ? 10000 : 200);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        peer.join();
        // After a wait that saw nothing come, the first status query needs no read; the next reads.
        const uint64_t quiet = byte ? 0 : queryCost(), next = byte ? 1 : queryCost();
        const bool quietCosts = quiet == 0 && next == 1;
        EXPECT_EQ((std::tuple{ready, took.count() >= (byte ? 45 : 195), took.count() < 5000, quietCosts}),
                  std::tuple(TRUE, true, true, true))
            << "a byte: " << byte << ", " << took.count() << " ms";
    }
    // Once the status query has taken that byte in, the next wait looks again at once, and only
    // the next: a caller that does not read cannot spin.
    auto waitedMs = [&] {
        const auto start = std::chrono::steady_clock::now();
        win32posix::WaitCommReady(m_handle, 200);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    COMSTAT status{};
    ClearCommError(m_handle, &errors, &status);
    const double first = waitedMs(), second = waitedMs();
    EXPECT_EQ(std::tuple(status.cbInQue, first < 100, second >= 195), std::tuple(1u, true, true)) << first;
}

// The far end may set VMIN 0 (an empty read is then an end of file, as on a hung-up line): the queue
// is still counted, and only a real hang-up fails the status query.
TEST_F(SerialPty, AnEmptyQueueIsNotAHangUpWhateverTheFarEndSetsVminTo) {
    termios2 tio{};
    ASSERT_EQ(ioctl(m_master, TCGETS2, &tio), 0);
    tio.c_cc[VMIN] = 0;
    ASSERT_EQ(ioctl(m_master, TCSETS2, &tio), 0);
    COMSTAT status{};
    DWORD errors = 0;
    EXPECT_TRUE(ClearCommError(m_handle, &errors, &status)) << GetLastError();
    ASSERT_EQ(write(m_master, "ab", 2), 2);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (ClearCommError(m_handle, &errors, &status) && status.cbInQue < 2 &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(status.cbInQue, 2u);
    close(std::exchange(m_master, -1));
    EXPECT_FALSE(ClearCommError(m_handle, &errors, &status));
}

// CTS flow that the in-memory line gained or lost shows in GetCommState, while a DCB that asked for it
// by either of its two fields keeps its own choice of field (how stop bits read back is pinned by the
// fuzz target commstate). Rows: the DCB applied before (fOutxCtsFlow, fRtsControl), CTS flow on the
// line now, and what is read back (fOutxCtsFlow, fRtsControl).
TEST(SerialFake, StateReadsBackCtsFlowFromTheLine) {
    const std::tuple<bool, DWORD, bool, bool, DWORD> rows[] = {
        {false, RTS_CONTROL_ENABLE, true, true, RTS_CONTROL_HANDSHAKE},
        {true, RTS_CONTROL_DISABLE, true, true, RTS_CONTROL_DISABLE},
        {true, RTS_CONTROL_HANDSHAKE, false, false, RTS_CONTROL_ENABLE}};
    win32posix::FakeSerialLine line;
    ASSERT_TRUE(win32posix::InstallSerialLine(9, &line));
    HANDLE handle = CreateFileA("COM9", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    for (const auto& [ctsField, rtsControl, cts, ctsBack, rtsBack] : rows) {
        DCB dcb{}, back{};
        ASSERT_TRUE(GetCommState(handle, &dcb));
        dcb.fOutxCtsFlow = ctsField, dcb.fRtsControl = rtsControl;
        ASSERT_TRUE(SetCommState(handle, &dcb));
        line.settings.rtsCts = cts;
        EXPECT_EQ((std::tuple{GetCommState(handle, &back), bool(back.fOutxCtsFlow), DWORD{back.fRtsControl}}),
                  std::tuple(TRUE, ctsBack, rtsBack))
            << ctsField << " " << rtsControl << " " << cts;
    }
    CloseHandle(handle);
    win32posix::InstallSerialLine(9, nullptr);
}

} // namespace
