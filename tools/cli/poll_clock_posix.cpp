// The poll's stop request and ticks on POSIX: signals and a timerfd.
#include "poll_clock.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/timerfd.h>
#include <unistd.h>

namespace cli {
namespace {

volatile std::sig_atomic_t s_stopRequested = 0;

extern "C" void RequestStop(int) {
    s_stopRequested = 1;
}

// The handlers in place before the present StopRequests, put back by its destructor.
struct sigaction s_oldInt {};
struct sigaction s_oldTerm {};
struct sigaction s_oldPipe {};

} // namespace

const char* const kStopRequestWords = "Ctrl-C or SIGTERM";

// SIGINT and SIGTERM set the stop flag (without SA_RESTART, so a wait for the next tick returns at
// once); SIGPIPE is ignored so that a closed pipe shows as a failed write.
StopRequests::StopRequests() {
    s_stopRequested = 0;
    struct sigaction stop {};
    stop.sa_handler = RequestStop;
    sigemptyset(&stop.sa_mask);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &stop, &s_oldInt);
    sigaction(SIGTERM, &stop, &s_oldTerm);
    sigaction(SIGPIPE, &ignore, &s_oldPipe);
}

StopRequests::~StopRequests() {
    sigaction(SIGINT, &s_oldInt, nullptr);
    sigaction(SIGTERM, &s_oldTerm, nullptr);
    sigaction(SIGPIPE, &s_oldPipe, nullptr);
}

bool StopRequests::Requested() {
    return s_stopRequested != 0;
}

bool ReaderGone() {
    return errno == EPIPE;
}

Ticker::Ticker(int periodMs) : m_fd(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC)) {
    const timespec period{periodMs / 1000, (periodMs % 1000) * 1000000L};
    const itimerspec spec{period, period};
    if (m_fd >= 0 && timerfd_settime(m_fd, 0, &spec, nullptr) != 0) {
        m_error = errno;
        close(m_fd);
        m_fd = -1;
    } else if (m_fd < 0) {
        m_error = errno;
    }
}

Ticker::~Ticker() {
    if (m_fd >= 0) close(m_fd);
}

bool Ticker::Ok() const {
    return m_fd >= 0;
}

std::string Ticker::Failure() const {
    return std::strerror(m_error);
}

uint64_t Ticker::Wait() {
    uint64_t periods = 0;
    while (!s_stopRequested) {
        if (read(m_fd, &periods, sizeof periods) == sizeof periods) return periods;
        if (errno != EINTR) return 0;
    }
    return 0;
}

} // namespace cli
