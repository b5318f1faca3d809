// The sensor board emulator: plugs a line in, answers commands on it, injects the faults the
// options ask for, and unplugs it again. Usable in-process (tests run Run on a thread) and by the
// korvane-board program. It never busy-waits: every wait is a poll with a timeout taken from the
// next scheduled event, and with no client and no fault running it sleeps until something happens.
#pragma once

#include "comlink.h"
#include "line.h"
#include "options.h"
#include "outbox.h"
#include "protocol.h"
#include "readings.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace board {

/// One emulated board. Lifecycle messages go to `out`: the line's path and "ready" after each
/// plug-in, "unplugged" after each unplug. --log lines and run-time failures go to `log`.
class Board {
public:
    Board(const BoardOptions& options, std::FILE* out, std::FILE* log);
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    /// Plugs the line in and links it. Returns an empty string, or what went wrong.
    std::string Start();
    /// Serves until `stopFd` becomes readable, or until an unplug with no return. Returns 0, or 1
    /// after a failure that it has reported on `log`. The link is removed before it returns.
    int Run(int stopFd);
    /// The path a client opens (the slave or the device); empty while unplugged.
    const std::string& Path() const { return m_line.Path(); }

private:
    std::string Plug();
    void Unplug(int64_t now);
    void ServeTimers(int64_t now);
    void FeedFaults(int64_t now);
    bool PollOnce(int stopFd, int64_t now);
    void OnLineEvents(short revents, int64_t now);
    void ReadCommands(int64_t now);
    void OnByte(uint8_t byte, int64_t now);
    bool SilentNow(int64_t now);
    void OnClientGone(int64_t now);
    void OnClientArrived(int64_t now);
    void Flush(int64_t now);
    int64_t NextWake() const;
    int64_t WireTime(uint32_t baud) const;
    void End(int status);

    BoardOptions m_options;
    std::FILE* m_out;
    std::FILE* m_log;
    Readings m_readings;
    Protocol m_protocol;
    Line m_line;
    ComLink m_link;
    Outbox m_outbox;
    int64_t m_start;
    bool m_ended = false;
    int m_status = 0;
    bool m_writeBlocked = false; ///< the client's queue is full: wait for POLLOUT
    int m_commands = 0;          ///< commands heard since the last plug-in
    bool m_spent = false;        ///< --drop-after reached: the next byte finds the line gone
    int64_t m_dropAt = -1;       ///< unplug at this time even without another byte; -1 none
    int64_t m_returnAt = -1;     ///< plug back in at this time; -1 none
    int64_t m_nextNoise = -1;    ///< next stray byte; -1 none
    int m_answered = 0;          ///< commands answered since the board last fell silent (--silent-after)
    int64_t m_silentSince = -1;  ///< fell silent at this time (--silent-after); -1 answering
    uint32_t m_random = 0x9E3779B9u;
};

/// Monotonic time in nanoseconds.
int64_t NowNs();

} // namespace board
