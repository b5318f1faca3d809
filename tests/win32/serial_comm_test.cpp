// The serial functions of the stand-in over a real pseudo-terminal and over the in-memory line.
#include "fake_serial_posix.h"
#include "pty_posix.h"
#include "serial_line_posix.h"

#include <windows.h>

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
    void TearDown() override {
        CloseHandle(m_handle);
        if (m_master >= 0) close(m_master);
    }
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
                 IXON | IXOFF | INPCK},
                {115200, NOPARITY, ONESTOPBIT, false, false, false, false, 0, 0}};
    DCB dcb{};
    ASSERT_TRUE(GetCommState(m_handle, &dcb));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.baud);
        dcb.BaudRate = row.baud, dcb.Parity = row.parity, dcb.StopBits = row.stopBits;
        dcb.fOutxCtsFlow = row.ctsFlow, dcb.fOutX = row.xonOut, dcb.fInX = row.xonIn,
        dcb.fParity = row.parityCheck;
        // XonLim and fOutxDsrFlow have no Linux equivalent: kept as given.
        dcb.XonChar = char(&row - rows), dcb.XoffChar = char(0x20 + (&row - rows)),
        dcb.fOutxDsrFlow = !row.ctsFlow;
        dcb.XonLim = static_cast<WORD>(row.baud / 100);
        ASSERT_TRUE(SetCommState(m_handle, &dcb));
        termios2 tio{};
        ASSERT_EQ(ioctl(m_master, TCGETS2, &tio), 0);
        EXPECT_EQ(
            std::tuple(tio.c_ospeed, tio.c_ispeed, tio.c_cflag & CBAUD, (tio.c_cflag >> IBSHIFT) & CBAUD),
            std::tuple(row.baud, row.baud, tcflag_t{BOTHER}, tcflag_t{BOTHER}));
        EXPECT_EQ(std::tuple(tio.c_cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS),
                             tio.c_iflag & (IXON | IXOFF | INPCK), tio.c_cc[VSTART], tio.c_cc[VSTOP]),
                  std::tuple(row.cflag, row.iflag, cc_t(dcb.XonChar), cc_t(dcb.XoffChar)));
        DCB back{};
        ASSERT_TRUE(GetCommState(m_handle, &back));
        EXPECT_EQ(std::tuple(back.BaudRate, back.StopBits, back.ByteSize, back.XonLim, back.XonChar),
                  std::tuple(row.baud, row.stopBits, BYTE{8}, dcb.XonLim, dcb.XonChar));
        EXPECT_EQ(
            (std::vector<DWORD>{back.fOutxCtsFlow, back.fOutX, back.fInX, back.fParity, back.fOutxDsrFlow}),
            (std::vector<DWORD>{row.ctsFlow, row.xonOut, row.xonIn, row.parityCheck, !row.ctsFlow}));
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
        {128000, 115200, false}, {115200, 115200, true}, {38400, 39552, true}, {38400, 39553, false},
        {38400, 37248, true}, {38400, 37247, false}, {9600, 0, false}, {4000000000u, 4000000000u, true},
        {4000000000u, 0, false}, {300, 4000000000u, false}};
    // clang-format on
    for (const auto& [wanted, got, met] : rows)
        EXPECT_EQ(win32posix::RateWithinTolerance(wanted, got), met) << wanted << " set as " << got;
}

// The kernel takes what fits and the call comes back; the overlapped result is known at once. A pty
// has no modem lines and no error counters, which is no failure.
TEST_F(SerialPty, WriteNeverWaitsAndWhatAPtyLacksIsNoFailure) {
    std::string big(1 << 20, 'b');
    DWORD put = 0, result = 0;
    OVERLAPPED overlapped{};
    EXPECT_EQ((std::tuple{WriteFile(m_handle, big.data(), DWORD(big.size()), &put, &overlapped),
                          put > 0 && put < big.size()}),
              std::tuple(TRUE, true))
        << put;
    DWORD errors = 1;
    EXPECT_EQ((std::tuple{GetOverlappedResult(m_handle, &overlapped, &result, TRUE), result,
                          PurgeComm(m_handle, PURGE_TXCLEAR | PURGE_RXCLEAR),
                          ClearCommError(m_handle, &errors, nullptr), errors}),
              std::tuple(TRUE, put, TRUE, TRUE, DWORD{0}));
    EXPECT_EQ((std::tuple{EscapeCommFunction(m_handle, SETDTR), GetLastError()}),
              std::tuple(FALSE, DWORD{ERROR_INVALID_FUNCTION}));
    EXPECT_TRUE(SetCommBreak(m_handle) && ClearCommBreak(m_handle));
    // A pty has no transmit queue (it hands each write to its master's side): a status query after a
    // write costs what one before it does, the system call it takes to read what is queued.
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

// What is not a serial device is refused with the error a Windows program expects.
TEST_F(SerialPty, WhatIsNotATerminalIsRefusedWithAWindowsError) {
    char dir[] = "/tmp/korvane-bad-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string plain = std::string(dir) + "/plain";
    std::ofstream(plain) << "not a terminal";
    const std::pair<std::string, DWORD> rows[] = {{plain, ERROR_INVALID_FUNCTION},
                                                  {dir, ERROR_ACCESS_DENIED},
                                                  {plain + "/gone", ERROR_PATH_NOT_FOUND},
                                                  {std::string(dir) + "/gone", ERROR_FILE_NOT_FOUND}};
    for (const auto& [path, error] : rows)
        EXPECT_EQ((std::tuple{CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr),
                              GetLastError()}),
                  std::tuple(INVALID_HANDLE_VALUE, error))
            << path;
    std::filesystem::remove_all(dir);
}

// The in-memory line's settings as GetCommState reports them: two stop bits on a 5-bit word are
// 1.5; CTS flow that the line gained or lost shows, while a DCB that asked for it by either of its
// two fields keeps its own choice of field.
TEST(SerialFake, StateReadsBackStopBitsAndCtsFlowFromTheLine) {
    // The DCB applied before (fOutxCtsFlow, fRtsControl), the line now (data bits, two stop bits, CTS
    // flow) and what is read back (stop bits, fOutxCtsFlow, fRtsControl).
    const std::tuple<bool, DWORD, uint8_t, bool, bool, BYTE, bool, DWORD> rows[] = {
        {false, RTS_CONTROL_ENABLE, 5, true, false, ONE5STOPBITS, false, RTS_CONTROL_ENABLE},
        {false, RTS_CONTROL_ENABLE, 7, true, false, TWOSTOPBITS, false, RTS_CONTROL_ENABLE},
        {false, RTS_CONTROL_ENABLE, 5, false, false, ONESTOPBIT, false, RTS_CONTROL_ENABLE},
        {false, RTS_CONTROL_ENABLE, 8, false, true, ONESTOPBIT, true, RTS_CONTROL_HANDSHAKE},
        {false, RTS_CONTROL_HANDSHAKE, 8, false, true, ONESTOPBIT, false, RTS_CONTROL_HANDSHAKE},
        {true, RTS_CONTROL_DISABLE, 8, false, true, ONESTOPBIT, true, RTS_CONTROL_DISABLE},
        {true, RTS_CONTROL_HANDSHAKE, 8, false, false, ONESTOPBIT, false, RTS_CONTROL_ENABLE}};
    win32posix::FakeSerialLine line;
    ASSERT_TRUE(win32posix::InstallSerialLine(9, &line));
    HANDLE handle = CreateFileA("COM9", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    for (const auto& [ctsField, rtsControl, dataBits, twoStop, cts, stopBits, ctsBack, rtsBack] : rows) {
        DCB dcb{}, back{};
        ASSERT_TRUE(GetCommState(handle, &dcb));
        dcb.fOutxCtsFlow = ctsField, dcb.fRtsControl = rtsControl;
        ASSERT_TRUE(SetCommState(handle, &dcb));
        line.settings.dataBits = dataBits, line.settings.twoStopBits = twoStop, line.settings.rtsCts = cts;
        ASSERT_TRUE(GetCommState(handle, &back));
        EXPECT_EQ(std::tuple(back.ByteSize, back.StopBits, bool(back.fOutxCtsFlow), DWORD{back.fRtsControl}),
                  std::tuple(dataBits, stopBits, ctsBack, rtsBack))
            << ctsField << " " << rtsControl << " " << int{dataBits} << " " << twoStop << " " << cts;
    }
    CloseHandle(handle);
    win32posix::InstallSerialLine(9, nullptr);
}

} // namespace

// The wait behind the port's idle step. The pty full and the far end (50 ms in) silent: it waits out
// its bound; the far end reading, so there is room again, or sending a byte: it ends then, long before
// its bound of 10 s.
TEST_F(SerialPty, WaitCommReadyEndsWhenRoomOrAByteComesOrItsBoundPasses) {
    std::string big(1 << 20, 'b');
    DWORD put = 1;
    for (int n = 0; n < 100 && put > 0; ++n, usleep(5000))
        WriteFile(m_handle, big.data(), static_cast<DWORD>(big.size()), &put, nullptr);
    ASSERT_EQ(put, 0u) << "the pty is full";
    const std::tuple<void (*)(int), DWORD, DWORD> rows[] = {
        {[](int) {}, 200, 0},
        {[](int master) {
             for (char all[65536]; read(master, all, sizeof all) > 0;) {
             }
         },
         10000, 0},
        {[](int master) { EXPECT_EQ(write(master, "Q", 1), 1); }, 10000, 1}};
    for (const auto& [farEnd, boundMs, queued] : rows) {
        std::thread peer([&, act = farEnd] { usleep(50000), act(m_master); });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(win32posix::WaitCommReady(m_handle, boundMs));
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        peer.join();
        EXPECT_GE(took.count(), std::min(45.0, boundMs - 5.0)) << "it waited, not spun";
        EXPECT_EQ(took.count() < boundMs / 2, boundMs > 1000) << took.count();
        COMSTAT status{};
        EXPECT_TRUE(ClearCommError(m_handle, nullptr, &status) && status.cbInQue == queued);
        WriteFile(m_handle, "z", 1, &put, nullptr); // once taken whole, the wait is for bytes only
    }
}
