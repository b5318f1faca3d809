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

struct Lines {
    win32posix::FakeSerialLine fake;
    HANDLE fakeHandle = (win32posix::InstallSerialLine(256, &fake), Open("COM256")); // the last COM number
    std::string slave;
    int master = pty::OpenMaster(&slave);
    HANDLE ptyHandle = Open(slave.c_str());

    static HANDLE Open(const char* name) {
        HANDLE handle =
            CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        return FUZZ_CHECK(handle != INVALID_HANDLE_VALUE), handle;
    }
    termios2 Terminal() const {
        termios2 tio{};
        return FUZZ_CHECK(ioctl(master, TCGETS2, &tio) == 0), tio;
    }
};

bool Same(const void* a, const void* b, size_t size) {
    return std::memcmp(a, b, size) == 0;
}

// Returns whether the in-memory line took the DCB.
bool CheckInMemory(Lines& lines, const DCB& wanted) {
    DCB before{}, after{}, given = wanted, expected = wanted;
    FUZZ_CHECK(GetCommState(lines.fakeHandle, &before));
    const bool taken = SetCommState(lines.fakeHandle, &given);
    FUZZ_CHECK(Same(&given, &wanted, sizeof(DCB)) &&
               GetCommState(lines.fakeHandle, &after)); // the record is only read
    if (!taken)
        return FUZZ_CHECK(GetLastError() == ERROR_INVALID_PARAMETER && Same(&after, &before, sizeof(DCB))),
               false;
    expected.DCBlength = sizeof(DCB), expected.fBinary = 1;
    if (wanted.StopBits != ONESTOPBIT) expected.StopBits = wanted.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    return FUZZ_CHECK(Same(&after, &expected, sizeof(DCB))), true;
}

// A pty forces 8 data bits and no parity; what Linux has no place for is kept.
void CheckTerminal(Lines& lines, const DCB& wanted, bool takenInMemory) {
    const termios2 before = lines.Terminal();
    DCB given = wanted, back{};
    const bool taken = SetCommState(lines.ptyHandle, &given);
    const termios2 now = lines.Terminal();
    FUZZ_CHECK(taken == takenInMemory);
    if (!taken) return FUZZ_CHECK(Same(&before, &now, sizeof now));
    FUZZ_CHECK(now.c_ospeed == wanted.BaudRate && now.c_ispeed == wanted.BaudRate &&
               GetCommState(lines.ptyHandle, &back));
    FUZZ_CHECK(back.BaudRate == wanted.BaudRate && back.ByteSize == 8 && back.Parity == NOPARITY);
    FUZZ_CHECK(back.XonLim == wanted.XonLim && back.EvtChar == wanted.EvtChar && back.fNull == wanted.fNull);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Lines lines;
    FuzzInput in{data, size};
    const DCB wanted = in.Take<DCB>();
    CheckTerminal(lines, wanted, CheckInMemory(lines, wanted));
    return 0;
}
