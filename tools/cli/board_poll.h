// korvane-cli poll: connect as the program does, then run the program's discard and exchange once
// per 100 ms tick and write a row for every valid reply.
//
// Ticks follow a monotonic clock (poll_clock.h): a late tick does not shift the ones after it, and
// ticks missed while the process was held up are skipped, not run in a burst. A stop request (SIGINT
// or SIGTERM; on Windows Ctrl+C, Ctrl+Break or closing the console) ends the poll at the next tick
// boundary; the port is closed and the exit status is 0 either way.
//
// The board's state changes go to standard error as watch.h says. A silent board keeps the poll
// going (rows resume when it answers); a port that fails ends it with status 1, unless --reconnect
// asks to reopen it: rows then resume on the same t_ms clock (the ticks in between are missing).
#pragma once

#include "args.h"

#include <cstdio>

namespace cli {

/// What to poll and how to write it.
struct PollRequest {
    int com = 0;
    PollMode mode = PollMode::Tilt;
    long long count = 0; ///< ticks to run; 0 runs until SIGINT or SIGTERM
    RowFormat format = RowFormat::Text;
    bool reconnect = false; ///< reopen a port that failed, once a second, instead of ending
    bool fast = false;  ///< --fast: each reply read as soon as it is whole (fast_poll.h)
    int intervalMs = 0; ///< --interval: one fast exchange every this many ms; 0 back to back
};

/// The poll period, as the program's timer.
constexpr int kTickMs = 100;

/// Runs the poll: rows to `out` (flushed one by one), messages to `err`. Returns 0, the connection's
/// result when it failed (its message on `err`), EXIT_FAILED when the port failed without
/// --reconnect (after "COMn: device gone") or when `out` could not be written
/// (a reader that went away, as `| head` does, ends the poll quietly with 0).
int PollBoard(const PollRequest& request, std::FILE* out, std::FILE* err);

} // namespace cli
