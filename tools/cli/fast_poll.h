// korvane-cli poll --fast: the program's exchanges as fast as the board answers. Each exchange
// reads its reply as soon as the whole of it is queued (the program's 30 or 50 ms wait is only the
// time-out; the discard before it and the exact count stay), back to back or one every --interval.
//
// The pace and the tally are their own pieces so that other commands that sample the board fast
// reuse them: FastPace hands out the start of each exchange, FastTally counts replies and misses and
// writes the closing line "N replies, M missed in S.SSS s (R per second)".
#pragma once

#include "board_poll.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace cli {

class Ticker;

/// When each fast exchange starts: at once (back to back), or on a non-drifting schedule of
/// `intervalMs` (a late exchange does not shift the ones after it; missed turns are skipped).
class FastPace {
public:
    /// `intervalMs` 0: back to back.
    explicit FastPace(int intervalMs);
    ~FastPace();
    FastPace(const FastPace&) = delete;
    FastPace& operator=(const FastPace&) = delete;

    /// False when the schedule's timer could not be made; Failure() says why.
    bool Ok() const;
    std::string Failure() const;
    /// Waits for the next exchange's turn (the first comes at once). False when a stop was requested
    /// (StopRequests). *tMs: the turn's start in milliseconds since the first, with its fraction.
    bool Next(double* tMs);
    /// Seconds since the first turn.
    double Seconds() const;

private:
    std::chrono::steady_clock::time_point m_start{};
    bool m_started = false;
    std::unique_ptr<Ticker> m_ticker; ///< null when back to back
};

/// Replies and misses of a run of exchanges.
struct FastTally {
    long long replies = 0;
    long long missed = 0;
    /// "N replies, M missed in S.SSS s (R per second)" with a newline; R is replies per second.
    std::string Summary(double seconds) const;
};

/// The row's time in fast mode: milliseconds with three decimals.
std::string FastTime(double tMs);

/// The fast poll after a successful connection: asks the driver for low latency (a driver without
/// it is no failure), then runs exchanges until `request.count` or a stop, writing rows as the
/// ordinary poll does, and the summary on `err`. Returns the exit status.
int RunFastPoll(const PollRequest& request, std::FILE* out, std::FILE* err);

} // namespace cli
