// The comm state on both kinds of line, for any DCB. On the in-memory line, which holds every
// setting, a DCB that SetCommState takes reads back from GetCommState as it was given, except where
// Windows itself normalises (fBinary, DCBlength, two stop bits on a 5-bit word read as 1.5); a DCB
// it refuses changes nothing. On a pseudo-terminal the same DCB must reach the terminal: read back
// with TCGETS2, both speeds, the parity bits a pty keeps (PARODD, CMSPAR), CSTOPB, CRTSCTS, IXON,
// IXOFF, INPCK and the XON/XOFF characters; a refused one leaves the terminal as it was.
#include "fuzz_check.h"

#include <fake_serial_posix.h>
#include <pty_posix.h>

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

using win32posix::FakeSerialLine;

constexpr int kFakeCom = 256;

struct Lines {
    FakeSerialLine fake;
    HANDLE fakeHandle = INVALID_HANDLE_VALUE;
    HANDLE ptyHandle = INVALID_HANDLE_VALUE;
    int master = -1;

    Lines() {
        std::string slave;
        win32posix::InstallSerialLine(kFakeCom, &fake);
        fakeHandle =
            CreateFileA("COM256", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        master = pty::OpenMaster(&slave);
        ptyHandle =
            CreateFileA(slave.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        FUZZ_CHECK(fakeHandle != INVALID_HANDLE_VALUE && ptyHandle != INVALID_HANDLE_VALUE && master >= 0);
    }
};

bool Same(const DCB& a, const DCB& b) {
    return std::memcmp(&a, &b, sizeof(DCB)) == 0;
}

struct termios2 Terminal(int fd) {
    struct termios2 tio {};
    FUZZ_CHECK(ioctl(fd, TCGETS2, &tio) == 0);
    return tio;
}

void CheckInMemory(Lines& lines, const DCB& wanted) {
    DCB before{}, after{}, given = wanted;
    FUZZ_CHECK(GetCommState(lines.fakeHandle, &before));
    bool taken = SetCommState(lines.fakeHandle, &given);
    FUZZ_CHECK(Same(given, wanted)); // the caller's record is only read
    FUZZ_CHECK(GetCommState(lines.fakeHandle, &after));
    if (!taken) {
        FUZZ_CHECK(GetLastError() == ERROR_INVALID_PARAMETER && Same(after, before));
        return;
    }
    DCB expected = wanted;
    expected.DCBlength = sizeof(DCB);
    expected.fBinary = 1;
    if (wanted.StopBits != ONESTOPBIT) expected.StopBits = wanted.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    FUZZ_CHECK(Same(after, expected));
}

void CheckTerminal(Lines& lines, const DCB& wanted) {
    struct termios2 before = Terminal(lines.master);
    DCB given = wanted, back{};
    bool taken = SetCommState(lines.ptyHandle, &given);
    struct termios2 now = Terminal(lines.master);
    if (!taken) {
        FUZZ_CHECK(std::memcmp(&before, &now, sizeof now) == 0);
        return;
    }
    const bool odd = wanted.Parity == ODDPARITY || wanted.Parity == MARKPARITY;
    const bool stick = wanted.Parity == MARKPARITY || wanted.Parity == SPACEPARITY;
    const bool cts = wanted.fOutxCtsFlow || wanted.fRtsControl == RTS_CONTROL_HANDSHAKE;
    FUZZ_CHECK(now.c_ospeed == wanted.BaudRate && now.c_ispeed == wanted.BaudRate);
    FUZZ_CHECK((now.c_cflag & CBAUD) == BOTHER && ((now.c_cflag >> IBSHIFT) & CBAUD) == BOTHER);
    FUZZ_CHECK(!!(now.c_cflag & PARODD) == odd && !!(now.c_cflag & CMSPAR) == stick);
    FUZZ_CHECK(!!(now.c_cflag & CSTOPB) == (wanted.StopBits != ONESTOPBIT) &&
               !!(now.c_cflag & CRTSCTS) == cts);
    FUZZ_CHECK(!!(now.c_iflag & IXON) == wanted.fOutX && !!(now.c_iflag & IXOFF) == wanted.fInX);
    FUZZ_CHECK(!!(now.c_iflag & INPCK) == wanted.fParity);
    FUZZ_CHECK(now.c_cc[VSTART] == static_cast<cc_t>(wanted.XonChar));
    FUZZ_CHECK(now.c_cc[VSTOP] == static_cast<cc_t>(wanted.XoffChar));
    // A pty forces 8 data bits and no parity; what Linux has no place for is kept.
    FUZZ_CHECK(GetCommState(lines.ptyHandle, &back));
    FUZZ_CHECK(back.BaudRate == wanted.BaudRate && back.ByteSize == 8 && back.Parity == NOPARITY);
    FUZZ_CHECK(back.XonLim == wanted.XonLim && back.EvtChar == wanted.EvtChar && back.fNull == wanted.fNull);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Lines lines;
    FuzzInput in{data, size};
    DCB wanted = in.Take<DCB>();
    CheckInMemory(lines, wanted);
    CheckTerminal(lines, wanted);
    return 0;
}
