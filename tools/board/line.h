// The board's end of the serial line: the master side of a pseudo-terminal, or a real serial
// device. For a pseudo-terminal it also tracks whether a client has the slave open, so that the
// board neither spins on the master's hang-up nor leaves bytes behind for the next client.
#pragma once

#include "options.h"

#include <cstdint>
#include <string>

namespace board {

/// One plugged-in line. While no client has a pseudo-terminal's slave open, the master reports a
/// hang-up on every poll; the line then waits on WatchFd (a file watch on the slave) instead.
class Line {
public:
    Line() = default;
    /// Closes the line.
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    /// Opens a new pseudo-terminal, or `options.device` (raw, at the board's speed). Returns an
    /// empty string, or a message that says what failed.
    std::string Open(const BoardOptions& options);
    /// Closes the line: a client sees the device hang up. Idempotent.
    void Close();

    /// The fd the board reads commands from and writes replies to; -1 when closed.
    int Fd() const { return m_fd; }
    /// The path a client opens: the slave (/dev/pts/N) or the device.
    const std::string& Path() const { return m_path; }
    /// Whether a client is there to talk to. A real device always counts as present.
    bool ClientPresent() const { return m_present; }
    /// The fd to poll for POLLIN while no client is present; -1 when there is none to watch.
    int WatchFd() const { return m_present ? -1 : m_watch; }

    /// Looks again whether a client has the slave open (after WatchFd fired). Returns true when a
    /// client has just arrived.
    bool Recheck();
    /// The master hung up or failed: the client has gone. Bytes it left unread are thrown away,
    /// as a closed serial port loses them; then Recheck runs, since it may be back already.
    void ClientLeft();
    /// The line speed now, as the client set it; 0 when it cannot be read.
    uint32_t Speed() const;

private:
    void DrainWatch();

    int m_fd = -1;
    int m_watch = -1;
    bool m_pseudo = false;
    bool m_present = false;
    std::string m_path;
};

} // namespace board
