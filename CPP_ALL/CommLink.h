// CommLink: a port plus waiting. Port operations never wait; the link adds reads with millisecond
// time-outs (polling, with the port's wait step IdleUpTo between attempts: a sleep on the device for
// at most what is left of the time-out), an optional pause after each single byte written, a quick
// count of waiting bytes, and a one-shot check after opening.
//
// For its lifetime the link puts the port at 9600 baud 'N' 8 1 without flow control, through a
// PortSettings and a FlowControlState it owns, and gives the previous state back when destroyed.
// It never owns or destroys the port. Use: construct over an opened port, CheckOpen once (non-zero:
// unusable), optionally add a PortSettings of your own, Send / RxCount / Receive, then destroy your
// holders, the link, and last the port.
#pragma once

#include "COMLINK.h"

class PortSettings;
class FlowControlState;

/// Bits of CheckOpen's status word: line errors gathered since the previous snapshot.
constexpr uint16_t LINK_PARITY_ERROR = 1;
constexpr uint16_t LINK_FRAMING_ERROR = 2;
constexpr uint16_t LINK_RX_OVERFLOW = 4;
constexpr uint16_t LINK_OVERRUN = 8;
constexpr uint16_t LINK_BREAK = 16;

/// Deadline arithmetic on the wrapping 32-bit millisecond tick count. A deadline is reached once
/// `span` milliseconds have passed since `start`, at any tick value (the 2^32 wrap included).
struct TickDeadline {
    uint32_t start;
    uint32_t span;
    /// A deadline `timeoutMs` from `now`; a negative time-out is already reached.
    static TickDeadline After(uint32_t now, int timeoutMs);
    /// True once `now` is at or past the deadline.
    bool ReachedAt(uint32_t now) const { return now - start >= span; }
    /// Milliseconds left at `now`; 0 once reached.
    int LeftAt(uint32_t now) const { return ReachedAt(now) ? 0 : static_cast<int>(span - (now - start)); }
};

class CommLink {
public:
    /// Over `port` (not owned). A port with a recorded error, or a null port, gives a bare link:
    /// no holders and the port untouched. Otherwise the port goes to 9600 'N' 8 1, no flow control.
    explicit CommLink(CommPort* port);
    /// Restores the flow-control pair, then the settings, that the port had before the link.
    virtual ~CommLink();
    CommLink(const CommLink&) = delete;
    CommLink& operator=(const CommLink&) = delete;

    /// Next byte (0..255) within `timeoutMs`; COMM_NO_DATA after the time-out; a negative wait-step
    /// status ends the wait and is returned; COMM_FAILED without a port.
    virtual int GetByte(int timeoutMs);
    /// Writes the low 8 bits of `byte`, then pauses m_pacingMs: the status of the last port
    /// operation (the write's, or the last wait step's); COMM_FAILED without a port.
    virtual int PutByte(int byte);
    /// Always COMM_NOT_SUPPORTED.
    virtual int Reserved();

    /// Hands `count` bytes to the port once, without waiting: the count accepted (0 for a null
    /// buffer, a count <= 0 or no port). The port records COMM_SHORT_WRITE when it is short.
    int Send(const void* bytes, int count);
    /// Reads up to `count` bytes within `timeoutMs` and stores a zero byte after them, so `buffer`
    /// needs count + 1 bytes. Returns the count stored (a time-out is not an error), 0 for a null
    /// buffer, a negative wait-step status (no terminator then), or COMM_FAILED without a port. A count
    /// below 0 is taken as 0.
    int Receive(void* buffer, int count, int timeoutMs);
    /// Bytes waiting in the port's receive queue (one status query); 0 without a port.
    int RxCount();
    /// Sets *status to 0, then: the port's recorded error (taken, so cleared in the port), or 0 with
    /// the LINK_ bits of the line errors gathered since the last snapshot. A bare link whose error
    /// was already taken returns COMM_FAILED without touching anything.
    int CheckOpen(uint16_t* status);

    /// The port all operations go to; holders take it from here. May be null.
    CommPort* GetPort() const { return m_port; }

protected:
    int m_pacingMs;           ///< pause after each PutByte, ms; 0 unless a subclass sets it
    CommPort* m_port;         ///< not owned
    FlowControlState* m_flow; ///< owned; null on a bare link
    PortSettings* m_settings; ///< owned; null on a bare link
};
