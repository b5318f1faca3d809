// The tick of every korvane-cli command that polls the board (poll today, a publisher later): the
// program's PollTick, with the board's state changes and DVM's error as lines on standard error.
//
//   COM3: no reply                  a run of 3 ticks without a valid reply began
//   COM3: device gone               the port failed (pulled adapter, hang-up, COM link gone)
//   COM3: back at 38400 baud        valid replies again after either (38400 or 128000)
//   Error reading voltages.         a voltage reply failed: once per run of failed ticks
//
// With reopening (--reconnect), a failed port is reopened by the ticks once a second (5 s after a
// port that opened without a board answering); without, the poll ends after "device gone".
#pragma once

#include "BoardLink.h"
#include "args.h"

#include <cstdio>

namespace cli {

/// One poll's ticks over the connection ConnectBoard made on COM`com`.
class BoardWatch {
public:
    /// Starts the state afresh (StartPolling); `reopen` reopens a failed port. Lines go to `err`.
    BoardWatch(int com, bool reopen, std::FILE* err);
    /// Runs one tick of `mode` at tick count `nowMs` (`fast`: with the fast exchange) and writes its
    /// lines. The outcome tells a row (validReply) and whether the board is lost.
    TickOutcome Tick(PollMode mode, uint32_t nowMs, bool fast = false);
    /// True once the port failed and is not being reopened: the poll ends, with status 1.
    bool Ended() const;

private:
    int m_com;
    bool m_reopen;
    std::FILE* m_err;
    bool m_voltageRunReported = false;
};

} // namespace cli
