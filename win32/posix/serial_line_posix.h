// The line behind a serial handle of the Windows API stand-in (POSIX only).
//
// The comm functions of <windows.h> translate Windows requests into operations of a SerialLine:
// a real terminal (OpenTtyLine: termios2 and ioctls) or a line installed for a COM number
// (InstallSerialLine, used by tests with FakeSerialLine to show what a pseudo-terminal cannot:
// parity errors, modem lines, a refused configuration). Every operation returns 0 or an errno
// value; the comm functions turn that into a Windows error with WindowsErrorFromErrno.
#pragma once

#include <windows.h>
#include "win32_posix.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

namespace win32posix {

/// The character format and flow control of a line, as termios can hold them.
struct LineSettings {
    uint32_t baud = 9600;
    uint8_t dataBits = 8;      ///< 5..8
    uint8_t parity = NOPARITY; ///< NOPARITY..SPACEPARITY
    bool twoStopBits = false;  ///< CSTOPB (1.5 bits on a 5-bit word)
    bool rtsCts = false;       ///< CRTSCTS
    bool xonOutput = false;    ///< IXON: obey XON/XOFF from the peer
    bool xonInput = false;     ///< IXOFF: send XON/XOFF to the peer
    char xonChar = 0x11;       ///< VSTART
    char xoffChar = 0x13;      ///< VSTOP
    bool parityCheck = false;  ///< INPCK
};

/// Line error counts since the line was opened (struct serial_icounter_struct's fields).
struct LineCounters {
    uint32_t frame = 0;
    uint32_t overrun = 0;
    uint32_t parity = 0;
    uint32_t brk = 0;
    uint32_t bufOverrun = 0;
};

/// Modem line bits of SerialLine::ModemLines / SetModemLines.
enum ModemLineBit : unsigned {
    kLineDtr = 1u << 0,
    kLineRts = 1u << 1,
    kLineCts = 1u << 2,
    kLineDsr = 1u << 3,
    kLineRing = 1u << 4,
    kLineDcd = 1u << 5,
};

/// One open serial line. All operations return at once: 0 or an errno value.
class SerialLine {
public:
    virtual ~SerialLine() = default;
    /// Copies at most `count` queued bytes; *got 0 when none is queued (not an error). EINPROGRESS
    /// with *got set: the bytes are copied, but the read is left pending until it is waited for.
    virtual int Read(void* buffer, size_t count, size_t* got) = 0;
    /// Hands over what fits of `count` bytes; *put 0 when nothing fits (not an error). EINPROGRESS
    /// with *put set: taken, but the write is left pending until the transmit queue runs dry.
    virtual int Write(const void* bytes, size_t count, size_t* put) = 0;
    /// Bytes waiting to be read and bytes waiting to be sent.
    virtual int Queues(uint32_t* inQueue, uint32_t* outQueue) = 0;
    /// Line error counts; ENOTTY when the line keeps none (then it is never asked again).
    virtual int Counters(LineCounters* counters) = 0;
    /// The present format and flow control.
    virtual int GetSettings(LineSettings* settings) = 0;
    /// Applies `settings`; EINVAL when the line cannot meet them (the old ones then stay).
    virtual int SetSettings(const LineSettings& settings) = 0;
    /// ModemLineBit set of the lines now; ENOTTY when the line has no modem lines.
    virtual int ModemLines(unsigned* bits) = 0;
    /// Raises (`on`) or drops the output lines in `bits` (kLineDtr, kLineRts).
    virtual int SetModemLines(unsigned bits, bool on) = 0;
    /// Starts or stops sending break.
    virtual int SetBreak(bool on) = 0;
    /// Discards the receive and/or the transmit queue.
    virtual int Flush(bool receive, bool transmit) = 0;
    /// Suspends (`stop`) or resumes output as if XOFF/XON had come (tcflow).
    virtual int FlowOutput(bool stop) = 0;
    /// Waits up to `timeoutMs` for bytes to read; 0 also when the time runs out.
    virtual int WaitReadable(int timeoutMs) = 0;
    /// Waits up to `timeoutMs` for bytes to arrive or, while the last write could not hand over all
    /// it was given, for room to free; 0 also when the time runs out. What happened since the
    /// previous wait ends it at once; bytes that were already queued before it do not.
    virtual int WaitReady(int timeoutMs) { return WaitReadable(timeoutMs); }
    /// Asks the driver to hand received bytes over at once rather than gather them (Linux's
    /// ASYNC_LOW_LATENCY; an FTDI adapter then drops its latency timer to 1 ms); put back when the
    /// line closes. ENOTTY or EINVAL when the driver has no such flag (a pty, most CDC-ACM ones).
    virtual int SetLowLatency() { return ENOTTY; }
};

/// Opens the terminal at `path` for exclusive use (flock and TIOCEXCL), non-blocking, raw, HUPCL
/// off, a left-over custom-divisor flag cleared. Returns the line, or null with *error set to an
/// errno value (ENOTTY for anything that is not a terminal, EWOULDBLOCK when it is held).
SerialLine* OpenTtyLine(const std::string& path, int* error);

/// True when a rate a driver set, `got`, is within 3% of the `wanted` one: a UART still talks then.
/// A terminal line refuses (EINVAL) a rate its driver rounded or clamped any further.
bool RateWithinTolerance(uint32_t wanted, uint32_t got);

/// Makes CreateFileA of COM `comNumber` (1-based) open `line` instead of a device. The caller
/// keeps ownership; the line must outlive the handles opened on it. Null removes the entry.
/// Returns false for a number outside 1..256.
bool InstallSerialLine(int comNumber, SerialLine* line);
/// The line installed for `comNumber`, or null.
SerialLine* InstalledSerialLine(int comNumber);

/// The file "\\.\COMn" stands for: $XDG_CONFIG_HOME/korvane/devices/COMn when that entry exists
/// (XDG_CONFIG_HOME defaults to ~/.config), else /dev/ttyS<n-1>. `comNumber` from 1.
std::string ComDevicePath(int comNumber);
/// The COM number in "\\.\COMn" or "COMn" (n from 1, decimal), or 0 for any other name.
int ComNumberOf(const char* name);

/// The Windows error for an errno value (one table; unknown values give ERROR_GEN_FAILURE).
DWORD WindowsErrorFromErrno(int error);

/// System calls the terminal lines have made in this process (for measurements).
uint64_t TtySyscallCount();

} // namespace win32posix
