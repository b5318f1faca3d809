// What a poll needs from the system: the user's request to stop, and a tick every period that does
// not drift.
//
// POSIX: SIGINT and SIGTERM request the stop (SIGPIPE is ignored meanwhile, so that a closed pipe
// shows as a failed write); the ticks come from a timerfd on the monotonic clock.
// Windows: Ctrl+C, Ctrl+Break and closing the console window request the stop (a console control
// handler); the ticks are deadlines on the steady clock (see tick_schedule.h), waited for on an
// event that the stop request sets. Closing the window lets the poll finish its tick and close the
// port before the system ends the process.
//
// Either way a late tick does not shift the ones after it, ticks missed while the process was held
// up are skipped rather than run in a burst, and a stop ends the wait for the next tick at once.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

/// How the user stops a poll here, for the help: "Ctrl-C or SIGTERM" on POSIX.
extern const char* const kStopRequestWords;

/// Catches the stop requests while it lives (one at a time) and puts the previous handling back when
/// it goes. Made before connecting, so that a request during the connection is kept too.
class StopRequests {
public:
    StopRequests();
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    /// True once a stop was requested since the present StopRequests was made.
    static bool Requested();
};

/// True when the write of a row that just failed failed because its reader went away (a pipe
/// closed, as `| head` leaves it): the poll then ends quietly. POSIX: EPIPE; Windows: the pipe's
/// own errors as well, which the C library reports as EINVAL.
bool ReaderGone();

/// The poll's tick schedule: its first period starts when it is made.
class Ticker {
public:
    /// `periodMs`: the length of one period.
    explicit Ticker(int periodMs);
    ~Ticker();
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

    /// False when the system would not give the timer; Failure() says why.
    bool Ok() const;
    /// Why the timer could not be made, as a phrase.
    std::string Failure() const;
    /// Sleeps until the next tick; the number of periods since the last one, 0 when a stop came.
    uint64_t Wait();

private:
#ifdef _WIN32
    int m_periodMs;
    int64_t m_startMs;    // the steady clock when the first period began
    uint64_t m_counted{}; // the periods handed out so far
#else
    int m_fd;
    int m_error{}; // errno when the timerfd could not be made
#endif
};

} // namespace cli
