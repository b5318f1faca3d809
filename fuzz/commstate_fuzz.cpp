// The comm state on both kinds of line, for any DCB. On the in-memory line, which holds every
// setting, a DCB that SetCommState takes reads back from GetCommState as it was given, except where
// Windows itself normalises (fBinary, DCBlength, two stop bits on a 5-bit word read as 1.5); a DCB
// it refuses changes nothing. On a pseudo-terminal the same DCB is taken or refused alike; taken, its
// speed reaches the terminal both ways (TCGETS2), refused, the terminal stays as it was. Which bit
// each field sets is pinned by rows (SerialPty.EachDcbRowReachesTheTerminal).
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

// Returns whether the line took the DCB.
bool CheckInMemory(Lines& lines, const DCB& wanted) {
    DCB before{}, after{}, given = wanted;
    FUZZ_CHECK(GetCommState(lines.fakeHandle, &before));
    bool taken = SetCommState(lines.fakeHandle, &given);
    FUZZ_CHECK(Same(given, wanted)); // the caller's record is only read
    FUZZ_CHECK(GetCommState(lines.fakeHandle, &after));
    if (!taken) {
        FUZZ_CHECK(GetLastError() == ERROR_INVALID_PARAMETER && Same(after, before));
        return false;
    }
    DCB expected = wanted;
    expected.DCBlength = sizeof(DCB);
    expected.fBinary = 1;
    if (wanted.StopBits != ONESTOPBIT) expected.StopBits = wanted.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    FUZZ_CHECK(Same(after, expected));
    return true;
}

void CheckTerminal(Lines& lines, const DCB& wanted, bool takenInMemory) {
    struct termios2 before = Terminal(lines.master);
    DCB given = wanted, back{};
    bool taken = SetCommState(lines.ptyHandle, &given);
    struct termios2 now = Terminal(lines.master);
    FUZZ_CHECK(taken == takenInMemory);
    if (!taken) {
        FUZZ_CHECK(std::memcmp(&before, &now, sizeof now) == 0);
        return;
    }
    FUZZ_CHECK(now.c_ospeed == wanted.BaudRate && now.c_ispeed == wanted.BaudRate);
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
    CheckTerminal(lines, wanted, CheckInMemory(lines, wanted));
    return 0;
}
