// The Windows serial communications API for POSIX systems: files and handles, overlapped I/O,
// the comm state and status records, the comm functions and the last-error value. Included by
// <windows.h>; only real Windows names and values appear here.
//
// Device names. "\\.\COMn" (or "COMn") opens $XDG_CONFIG_HOME/korvane/devices/COMn, a symbolic
// link to the device, when that entry exists (even when it dangles: the open then fails), else
// /dev/ttyS<n-1>. XDG_CONFIG_HOME defaults to ~/.config. Any other name is opened as a path.
// Only terminals open: anything else fails (regular file ERROR_INVALID_FUNCTION, directory
// ERROR_ACCESS_DENIED, missing or dangling ERROR_FILE_NOT_FOUND).
//
// Share mode 0 is exclusive: the stand-in takes flock(LOCK_EX|LOCK_NB) and TIOCEXCL, so a second
// open of the device, from this process or another, fails with ERROR_ACCESS_DENIED (root too).
// The device is put in raw mode with HUPCL off; closing does not drop DTR by itself.
//
// I/O never blocks. ReadFile and WriteFile complete at once with what the kernel had or took,
// return TRUE and fill the OVERLAPPED (Internal 0, InternalHigh the count), so
// GetOverlappedResult only reads the count back. Time-outs are stored and reported, nothing more.
// A line installed for tests may leave an operation pending instead: the call fails with
// ERROR_IO_PENDING and Internal is STATUS_PENDING until a pending write finds the transmit queue
// run dry (ClearCommError sees it) or GetOverlappedResult is asked for the operation's count.
//
// How a DCB meets the Linux line (termios2 through TCGETS2/TCSETS2 with BOTHER, any rate):
//
// | DCB                                | Linux                                                     |
// |------------------------------------|-----------------------------------------------------------|
// | BaudRate                           | c_ospeed = c_ispeed, BOTHER; a rate the driver does not   |
// |                                    | meet within 3% fails with ERROR_INVALID_PARAMETER         |
// | ByteSize 5..8                      | CS5..CS8 (other sizes: ERROR_INVALID_PARAMETER)           |
// | Parity NO/ODD/EVEN/MARK/SPACE      | -, PARENB|PARODD, PARENB, PARENB|CMSPAR|PARODD,           |
// |                                    | PARENB|CMSPAR                                             |
// | StopBits ONE / ONE5 / TWO          | -, CSTOPB (1.5 bits on a 5-bit word, as UARTs do), CSTOPB |
// | fOutxCtsFlow, RTS_CONTROL_HANDSHAKE| CRTSCTS (Linux has one switch for both directions)        |
// | fOutX, fInX, XonChar, XoffChar     | IXON, IXOFF, VSTART, VSTOP                                |
// | fParity                            | INPCK                                                     |
// | fDtrControl, fRtsControl ENABLE/   | DTR/RTS raised/dropped through TIOCMBIS/TIOCMBIC          |
// |   DISABLE                          |   (ptys have no modem lines: ignored there)               |
// | fBinary                            | always 1 when read back (raw mode)                        |
// | fOutxDsrFlow, DTR_CONTROL_HANDSHAKE| none: kept and reported back, no effect                   |
// | fDsrSensitivity, fTXContinueOnXoff,| none: kept and reported back, no effect                   |
// |   fErrorChar, fNull, fAbortOnError,|                                                           |
// |   RTS_CONTROL_TOGGLE, XonLim,      |                                                           |
// |   XoffLim, ErrorChar, EofChar,     |                                                           |
// |   EvtChar                          |                                                           |
//
// A pseudo-terminal forces 8 data bits and no parity: GetCommState reports what it holds.
#pragma once

#include <cstdint>

typedef uintptr_t ULONG_PTR;
typedef DWORD* LPDWORD;
typedef void* PVOID;
typedef const void* LPCVOID;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define MAXDWORD 0xffffffffu

// CreateFileA.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_OVERLAPPED 0x40000000u

// Last-error values the stand-in reports.
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NOT_READY 21L
#define ERROR_BAD_COMMAND 22L
#define ERROR_GEN_FAILURE 31L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INVALID_NAME 123L
#define ERROR_BUSY 170L
#define ERROR_OPERATION_ABORTED 995L
#define ERROR_IO_INCOMPLETE 996L
#define ERROR_IO_PENDING 997L
#define ERROR_NOACCESS 998L
#define ERROR_IO_DEVICE 1117L
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#define ERROR_DEVICE_REMOVED 1617L

// Legacy communication error codes (16-bit Windows), still in the SDK headers.
#define IE_BADID (-1)
#define IE_OPEN (-2)
#define IE_NOPEN (-3)
#define IE_MEMORY (-4)
#define IE_DEFAULT (-5)
#define IE_HARDWARE (-10)
#define IE_BYTESIZE (-11)
#define IE_BAUDRATE (-12)

// Overlapped I/O.
#define STATUS_PENDING ((DWORD)0x00000103L)
#define HasOverlappedIoCompleted(lpOverlapped) (((DWORD)(lpOverlapped)->Internal) != STATUS_PENDING)

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wnested-anon-types"
#pragma clang diagnostic ignored "-Wgnu-anonymous-struct"
#endif
typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    union {
        struct {
            DWORD Offset;
            DWORD OffsetHigh;
        };
        PVOID Pointer;
    };
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;
#pragma GCC diagnostic pop

// DCB values.
#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4
#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2
#define DTR_CONTROL_DISABLE 0x00
#define DTR_CONTROL_ENABLE 0x01
#define DTR_CONTROL_HANDSHAKE 0x02
#define RTS_CONTROL_DISABLE 0x00
#define RTS_CONTROL_ENABLE 0x01
#define RTS_CONTROL_HANDSHAKE 0x02
#define RTS_CONTROL_TOGGLE 0x03

typedef struct _DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
} DCB, *LPDCB;

typedef struct _COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

typedef struct _COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
} COMSTAT, *LPCOMSTAT;

// ClearCommError error bits.
#define CE_RXOVER 0x0001
#define CE_OVERRUN 0x0002
#define CE_RXPARITY 0x0004
#define CE_FRAME 0x0008
#define CE_BREAK 0x0010
#define CE_TXFULL 0x0100

// PurgeComm.
#define PURGE_TXABORT 0x0001
#define PURGE_RXABORT 0x0002
#define PURGE_TXCLEAR 0x0004
#define PURGE_RXCLEAR 0x0008

// EscapeCommFunction.
#define SETXOFF 1
#define SETXON 2
#define SETRTS 3
#define CLRRTS 4
#define SETDTR 5
#define CLRDTR 6
#define SETBREAK 8
#define CLRBREAK 9

// GetCommModemStatus.
#define MS_CTS_ON ((DWORD)0x0010)
#define MS_DSR_ON ((DWORD)0x0020)
#define MS_RING_ON ((DWORD)0x0040)
#define MS_RLSD_ON ((DWORD)0x0080)

// Event mask bits.
#define EV_RXCHAR 0x0001
#define EV_RXFLAG 0x0002
#define EV_TXEMPTY 0x0004
#define EV_CTS 0x0008
#define EV_DSR 0x0010
#define EV_RLSD 0x0020
#define EV_BREAK 0x0040
#define EV_ERR 0x0080
#define EV_RING 0x0100

/// The calling thread's last error (a Windows error code); set by every failing call below.
DWORD GetLastError(void);
/// Sets the calling thread's last error.
void SetLastError(DWORD error);

/// Opens a serial device (see the top of this header). Returns a handle, or INVALID_HANDLE_VALUE
/// with the last error set. Only OPEN_EXISTING is accepted (else ERROR_INVALID_PARAMETER).
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD creation,
                   DWORD flags, HANDLE templateFile);
/// Closes a handle from CreateFileA: TRUE, or FALSE (ERROR_INVALID_HANDLE) for any other value.
BOOL CloseHandle(HANDLE handle);
/// Reads what is queued, at most `count` bytes, without waiting: TRUE with *got set (0 when
/// nothing is queued), FALSE when the device failed or vanished (*got 0).
BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped);
/// Hands over what the kernel takes of `count` bytes without waiting: TRUE with *put set, FALSE
/// when the device failed or vanished (*put 0).
BOOL WriteFile(HANDLE handle, LPCVOID bytes, DWORD count, LPDWORD put, LPOVERLAPPED overlapped);
/// The count of the operation in `overlapped`. Never waits: a pending one (see the top of this
/// header) finishes when asked, whatever `wait` says.
BOOL GetOverlappedResult(HANDLE handle, LPOVERLAPPED overlapped, LPDWORD count, BOOL wait);

/// Records the queue sizes (reported back by nothing; the kernel's queues are fixed): TRUE.
BOOL SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue);
/// The device's state merged with the kept fields (see the table above): TRUE or FALSE.
BOOL GetCommState(HANDLE handle, LPDCB dcb);
/// Applies `dcb`: TRUE, or FALSE with ERROR_INVALID_PARAMETER for values the line refuses.
BOOL SetCommState(HANDLE handle, LPDCB dcb);
/// The stored time-outs: TRUE or FALSE.
BOOL GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts);
/// Stores the time-outs (I/O never waits whatever they say): TRUE or FALSE.
BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts);
/// Queue counts (on a terminal the receive count is taken by reading what is queued into the line's
/// buffer, where the next ReadFile finds it; the transmit count by TIOCOUTQ), line errors since the previous
/// call (TIOCGICOUNT deltas; none on a pty) and hold bits (fCtsHold when CTS flow is on, bytes wait and CTS
/// is low). FALSE with zeroed results when the device failed or vanished.
BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT status);
/// Discards the receive and/or transmit queue (tcflush): TRUE or FALSE.
BOOL PurgeComm(HANDLE handle, DWORD flags);
/// SETDTR/CLRDTR/SETRTS/CLRRTS (modem ioctls; FALSE with ERROR_INVALID_FUNCTION on a pty),
/// SETBREAK/CLRBREAK, SETXON/SETXOFF (tcflow): TRUE or FALSE.
BOOL EscapeCommFunction(HANDLE handle, DWORD function);
/// Starts sending break: TRUE or FALSE.
BOOL SetCommBreak(HANDLE handle);
/// Stops sending break: TRUE or FALSE.
BOOL ClearCommBreak(HANDLE handle);
/// MS_*_ON bits of the modem inputs: TRUE, or FALSE with 0 stored (a pty has no modem lines).
BOOL GetCommModemStatus(HANDLE handle, LPDWORD status);
/// Writes one byte at once, ahead of nothing the kernel holds: TRUE, or FALSE when not taken.
BOOL TransmitCommChar(HANDLE handle, char c);
/// The stored event mask: TRUE or FALSE.
BOOL GetCommMask(HANDLE handle, LPDWORD mask);
/// Stores the event mask that WaitCommEvent watches: TRUE or FALSE.
BOOL SetCommMask(HANDLE handle, DWORD mask);
/// Waits until a watched event happens and stores it in *mask. Watches EV_RXCHAR (bytes queued),
/// EV_TXEMPTY (transmit queue empty), EV_ERR and EV_BREAK (line error counters), EV_CTS, EV_DSR,
/// EV_RLSD, EV_RING (modem input changes), checked every 10 ms while idle. FALSE with
/// ERROR_INVALID_PARAMETER for an empty mask and with the device's error when it vanishes; an
/// overlapped wait is not offered (ERROR_INVALID_PARAMETER).
BOOL WaitCommEvent(HANDLE handle, LPDWORD mask, LPOVERLAPPED overlapped);
