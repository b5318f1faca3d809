// The comm state of the in-memory line (COM256, the last COM number), which holds every setting,
// for any DCB: one that SetCommState takes reads back from GetCommState as it was given, except where
// Windows itself normalises (fBinary, DCBlength, two stop bits on a 5-bit word read as 1.5); one it
// refuses changes nothing. The DCB's checks are the same for a pseudo-terminal, where rows pin which
// bit each field sets and what a refusal leaves (SerialPty.EachDcbRow..., SerialPty.RefusedStates...).
#include "fuzz_check.h"

#include <fake_serial_posix.h>

namespace {

bool Same(const void* a, const void* b, size_t size) {
    return std::memcmp(a, b, size) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static win32posix::FakeSerialLine fake;
    static const HANDLE handle =
        (win32posix::InstallSerialLine(256, &fake),
         CreateFileA("COM256", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    FUZZ_CHECK(handle != INVALID_HANDLE_VALUE);
    const DCB wanted = FuzzInput{data, size}.Take<DCB>();
    DCB before{}, after{}, given = wanted, expected = wanted;
    FUZZ_CHECK(GetCommState(handle, &before));
    const bool taken = SetCommState(handle, &given);
    FUZZ_CHECK(Same(&given, &wanted, sizeof(DCB)) && GetCommState(handle, &after)); // the record is only read
    if (!taken)
        return FUZZ_CHECK(GetLastError() == ERROR_INVALID_PARAMETER && Same(&after, &before, sizeof(DCB))), 0;
    expected.DCBlength = sizeof(DCB), expected.fBinary = 1;
    if (wanted.StopBits != ONESTOPBIT) expected.StopBits = wanted.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    FUZZ_CHECK(Same(&after, &expected, sizeof(DCB)));
    return 0;
}
