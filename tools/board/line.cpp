// Pseudo-terminal and device lines; see line.h.
#include "line.h"

#include "pty_posix.h"
#include "termios2_posix.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace board {

Line::~Line() {
    Close();
}

std::string Line::Open(const BoardOptions& options) {
    Close();
    m_pseudo = options.device.empty();
    if (!m_pseudo) {
        m_fd = pty::OpenRaw(options.device, options.baud);
        if (m_fd < 0) return "cannot open " + options.device + ": " + std::strerror(errno);
        m_path = options.device;
        m_present = true;
        return {};
    }
    m_fd = pty::OpenMaster(&m_path);
    if (m_fd < 0) return std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    // Opens and closes of the slave wake the board; without a client nothing else would.
    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch < 0 || inotify_add_watch(m_watch, m_path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        std::string reason = std::strerror(errno);
        Close();
        return "cannot watch the pseudo-terminal: " + reason;
    }
    Recheck();
    return {};
}

void Line::Close() {
    if (m_fd >= 0) close(m_fd);
    if (m_watch >= 0) close(m_watch);
    m_fd = m_watch = -1;
    m_present = false;
    m_path.clear();
}

bool Line::Recheck() {
    if (!m_pseudo || m_fd < 0) return false;
    // Drain first, then look: an open after the look leaves a fresh event behind.
    DrainWatch();
    pollfd master{m_fd, 0, 0};
    bool present = poll(&master, 1, 0) >= 0 && !(master.revents & (POLLHUP | POLLERR));
    bool arrived = present && !m_present;
    m_present = present;
    return arrived;
}

void Line::ClientLeft() {
    if (!m_pseudo) return;
    m_present = false;
    pty::DiscardUnread(m_path); // best effort: a client holding the slave exclusively keeps them
    Recheck();
}

uint32_t Line::Speed() const {
    uint32_t baud = 0;
    return m_fd >= 0 && tty2::GetSpeed(m_fd, &baud) ? baud : 0;
}

void Line::DrainWatch() {
    alignas(inotify_event) char events[4096];
    while (read(m_watch, events, sizeof events) > 0) {
    }
}

} // namespace board
