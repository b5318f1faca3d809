// The serial port interface of the link library: status codes, line identifiers, flow-control
// values, the records a port fills, and the abstract port `CommPort`.
//
// Every port operation returns at once. Failures are negative status codes (never exceptions);
// most operations also record their failure in the port, where the owner reads it with
// PeekError() or TakeError().
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Status codes. 0 is success; failures are these negative values and no others.

/// Success.
constexpr int COMM_OK = 0;
/// General failure: an unmapped platform error, a bad input flow value, a drain limit run out,
/// a refused immediate byte, or any failure of PortSettings.
constexpr int COMM_FAILED = -801;
/// Nothing to read (ReadByte on an empty queue); CommLink's read time-out.
constexpr int COMM_NO_DATA = -802;
/// Operation or value not offered by the port or link.
constexpr int COMM_NOT_SUPPORTED = -803;
/// Write handed over fewer bytes than asked for (recorded only; Write returns the count).
constexpr int COMM_SHORT_WRITE = -805;
/// Break could not be set or cleared.
constexpr int COMM_BREAK_FAILED = -827;
/// Device error (IE_HARDWARE, IE_NOPEN, IE_BADID).
constexpr int COMM_DEVICE_ERROR = -828;
/// The platform refused to close the device.
constexpr int COMM_CLOSE_FAILED = -829;
/// Input flow value outside the accepted set (recorded only; the call returns COMM_FAILED).
constexpr int COMM_BAD_INPUT_FLOW = -830;
/// Output flow value outside the accepted set; also IE_DEFAULT.
constexpr int COMM_BAD_OUTPUT_FLOW = -832;
/// The port could not allocate its records; also IE_MEMORY.
constexpr int COMM_NO_MEMORY = -836;
/// The port index is already open (or outside the open-count table); also IE_OPEN.
constexpr int COMM_IN_USE = -838;
/// Baud rate refused (IE_BAUDRATE).
constexpr int COMM_BAD_BAUD = -839;
/// SetSettings: parity letter not in g_parityTable.
constexpr int COMM_BAD_PARITY = -840;
/// SetSettings: stop bits other than 1 or 2.
constexpr int COMM_BAD_STOP_BITS = -841;
/// SetSettings: data bits outside 4..8; also IE_BYTESIZE.
constexpr int COMM_BAD_DATA_BITS = -842;

// ---------------------------------------------------------------------------------------------
// Line identifiers for LineControl (value -1 queries without changing anything).

constexpr int LINE_DTR = 3;            ///< output: 0 drops, other values raise; returns as last set
constexpr int LINE_RTS = 4;            ///< output: as LINE_DTR
constexpr int LINE_BREAK = 7;          ///< passes the value to Break
constexpr int LINE_CTS = 12;           ///< input now, 1 or 0
constexpr int LINE_DSR = 13;           ///< input now
constexpr int LINE_RING = 14;          ///< input now
constexpr int LINE_RLSD = 15;          ///< carrier input now
constexpr int LINE_OVERRUN = 25;       ///< 1 when an overrun was gathered since TakeLineState
constexpr int LINE_PARITY_ERROR = 26;  ///< as LINE_OVERRUN, for parity errors
constexpr int LINE_FRAMING_ERROR = 27; ///< as LINE_OVERRUN, for framing errors
constexpr int LINE_BREAK_DETECT = 28;  ///< as LINE_OVERRUN, for a break received
constexpr int LINE_RX_OVERFLOW = 31;   ///< as LINE_OVERRUN, for a receive queue overflow
/// LineControl's answer for an identifier it does not know.
constexpr int LINE_UNKNOWN = 2;

// Flow-control values for SetFlowControl(input, output). The handshake lines reuse LINE_ ids:
// input takes LINE_DTR or LINE_RTS, output takes LINE_CTS or LINE_DSR.
constexpr int FLOW_NONE = 0;     ///< no handshake
constexpr int FLOW_XON_XOFF = 1; ///< software flow control with XON/XOFF

// ---------------------------------------------------------------------------------------------
// Records.

/// Filled by GetStatus. Seven 32-bit words; the last holds the 16-bit hold flags.
struct PortStatus {
    int32_t rxFlag;             ///< always 1 on the Windows port
    int32_t rxCount;            ///< bytes waiting in the receive queue
    int32_t rxSize;             ///< receive queue size
    int32_t txFlag;             ///< always 1 on the Windows port
    int32_t txCount;            ///< bytes waiting in the transmit queue
    int32_t txSize;             ///< transmit queue size
    uint16_t blockSent : 1;     ///< bit 0: the port sent XOFF and holds the peer
    uint16_t blockReceived : 1; ///< bit 1: the port's sending is held (CTS, DSR or XOFF received)
    uint16_t otherFlags : 14;   ///< bits 2-15: always 0
};
static_assert(sizeof(PortStatus) == 28, "PortStatus is seven 32-bit words");

/// Filled by TakeLineState: four bytes of 2-bit fields, each the low two bits of
/// LineControl(id, -1) for the identifier in brackets. The order is fixed and is not
/// identifier order (CTS after DSR; the error fields of byte 3).
struct LineStateSnapshot {
    uint8_t dtr : 2, rts : 2, breakOn : 2, dsr : 2;                         // 3, 4, 7, 13
    uint8_t cts : 2, ring : 2, rlsd : 2, line20 : 2;                        // 12, 14, 15, 20
    uint8_t line19 : 2, line17 : 2, line18 : 2, breakDetect : 2;            // 19, 17, 18, 28
    uint8_t parityError : 2, framingError : 2, rxOverflow : 2, overrun : 2; // 26, 27, 31, 25
};
static_assert(sizeof(LineStateSnapshot) == 4, "LineStateSnapshot is four bytes");

/// Number of fields in a LineStateSnapshot.
constexpr int SNAPSHOT_FIELDS = 16;
/// The line identifier of each snapshot field, byte 0 to byte 3, low field first.
extern const int g_snapshotLineIds[SNAPSHOT_FIELDS];
/// Stores the low two bits of `value` in field `field` (0..15, as g_snapshotLineIds) of `snapshot`.
void SetSnapshotField(LineStateSnapshot* snapshot, int field, int value);

/// One parity letter and the platform's DCB Parity value for it.
struct ParityEntry {
    char letter;
    uint8_t value;
};
/// 'N' 0, 'O' 1, 'E' 2, 'M' 3, 'S' 4. Letters compare exactly: upper case only.
extern const ParityEntry g_parityTable[5];
/// The platform parity value for `letter`, or -1 when the letter is not in the table.
int ParityValueOf(char letter);
/// The letter for a platform parity value, or the character with code 0 when there is none.
char ParityLetterOf(int value);

/// Number of port indices the open-count table holds (COM1 to COM256).
constexpr int COMM_MAX_PORTS = 256;
/// Open count per 0-based port index: 1 while a port object has that device open, else 0.
extern uint16_t g_portOpenCount[COMM_MAX_PORTS];
/// True when `index` has a slot in g_portOpenCount.
inline bool PortIndexValid(int index) {
    return index >= 0 && index < COMM_MAX_PORTS;
}

/// Receives one line of DumpState text. The line is valid only during the call.
typedef void (*DumpLineCallback)(const char* line);

// ---------------------------------------------------------------------------------------------
// Library helpers.

/// `count` bytes from the general heap, all zero; null when memory is exhausted.
void* MemAllocZeroed(size_t count);
/// Releases a block from MemAllocZeroed; null does nothing.
void MemFree(void* block);
/// Shows "Pure Virtual function called @<path>,<line>" in a "Library Error" message box (through
/// LibraryServices::ShowError), then ends the process with exit code 1 through the normal exit
/// (exit handlers run).
[[noreturn]] void PureVirtualError(const char* path, int line);

// ---------------------------------------------------------------------------------------------

/// The abstract serial port. One object stands for one COM port, named by a 0-based index.
/// An implementation's constructor opens the device; the owner then checks PeekError() or
/// TakeError() (non-zero: unusable), uses the port, and destroys it after every link and holder
/// that uses it. The operations below that a port class does not override end the process
/// through PureVirtualError.
class CommPort {
public:
    CommPort();
    /// Lowers the index's open count when this port raised it; a count of 0 is never lowered.
    virtual ~CommPort();

    /// Gives up the rest of the time slice: 0, or a negative status that ends CommLink's waits.
    virtual int Idle();
    /// Gathers the line errors the device reported since the last call.
    virtual void PollLineStatus();
    /// Opens and sets up the device of the port's index; the outcome is recorded (-838 in use).
    virtual void Open(int index);
    /// Opens the device file only: 0, or a status that is also recorded.
    virtual int OpenDevice();
    /// Empties both queues, drops DTR and RTS, closes the device: 0 or COMM_CLOSE_FAILED.
    virtual int Close();
    /// Fills `status` (flag bits 2-15 cleared); `request` says which fields the caller reads (1
    /// receive side, 7 all).
    virtual void GetStatus(PortStatus* status, int request);
    /// New queue sizes (0 keeps one): 0 or the status of applying the configuration.
    virtual int SetQueueSizes(int rxSize, int xoffLimit, int txSize);
    /// Applies an input and an output flow value: 0, -801 (bad input), -803, -832 or a platform code.
    /// A refused pair changes nothing.
    virtual int SetFlowControl(int inputFlow, int outputFlow);
    /// The pair last applied with success (0, 0 after construction); returns 0.
    virtual int GetFlowControl(int* inputFlow, int* outputFlow);
    /// state < 0 queries; 1 starts a break, other values stop it. The state set, or COMM_BREAK_FAILED.
    virtual int Break(int state);
    /// Sets or queries one line (LINE_ ids); LINE_UNKNOWN for an unknown identifier.
    virtual int LineControl(int lineId, int value);
    /// Applies baud, parity letter, data bits (4..8) and stop bits (1, 2): 0 or a status.
    virtual int SetSettings(int baud, char parity, int dataBits, int stopBits);
    /// The present configuration; cannot fail.
    virtual void GetSettings(int* baud, char* parity, int* dataBits, int* stopBits);
    /// Fills `snapshot`, then clears the gathered line errors; returns 0.
    virtual int TakeLineState(LineStateSnapshot* snapshot);
    /// Queues one byte: 0, or the recorded error when it was not accepted.
    virtual int WriteByte(uint8_t byte);
    /// Write of the zero-terminated text without its terminator; returns the count accepted.
    virtual int WriteString(const char* text);
    /// Queues as many bytes as fit and returns that count; records -805 when it is short.
    virtual uint32_t Write(const void* bytes, uint32_t count);
    /// Sends one byte ahead of the queue: 0 or COMM_FAILED.
    virtual int TransmitImmediate(uint8_t byte);
    /// The next received byte (0..255), or COMM_NO_DATA when none is queued.
    virtual int ReadByte();
    /// Copies at most `count` queued bytes into `buffer`; returns the count (0 when none).
    virtual uint32_t Read(void* buffer, uint32_t count);
    /// transmit != 0: drop the transmit queue. Else drainLimit 0: drop the receive queue. Else
    /// read and drop bytes until none is left (0) or drainLimit reads delivered one (COMM_FAILED).
    virtual int Purge(int transmit, int drainLimit);
    /// Hands six lines describing the configuration and queues to `callback`.
    virtual void DumpState(DumpLineCallback callback);
    /// Always COMM_NOT_SUPPORTED.
    virtual int Reserved1();
    /// Always COMM_NOT_SUPPORTED.
    virtual int Reserved2();
    /// A wait step of up to `limitMs` (what is left of the caller's time-out; 1 or more): a port
    /// that can sleep on its device returns as soon as bytes arrive, or room frees after a write it
    /// could not take whole, and at the limit at the latest. This version is one Idle step. Results
    /// as Idle's. CommLink's waits call this, so a port that overrides it must end them as Idle does.
    virtual int IdleUpTo(int limitMs);

    /// The recorded error code, then 0 is left in its place.
    int TakeError();
    /// The recorded error code, left in place.
    int PeekError() const;

protected:
    int m_index;     ///< 0-based port index (COM1 is 0)
    int m_lastError; ///< last recorded failure; 0 for none
    /// True once this object raised g_portOpenCount[m_index]: only it may lower the count.
    bool m_raisedOpenCount = false;
};
