#include "board_poll.h"

#include "BoardLink.h"
#include "connect.h"
#include "rows.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <sys/timerfd.h>
#include <unistd.h>

namespace cli {
namespace {

volatile std::sig_atomic_t s_stopRequested = 0;

extern "C" void RequestStop(int) {
    s_stopRequested = 1;
}

// SIGINT and SIGTERM set the stop flag (without SA_RESTART, so a wait for the next tick returns at
// once); SIGPIPE is ignored so that a closed pipe shows as a failed write. The destructor puts the
// previous handlers back.
class StopSignals {
public:
    StopSignals() {
        s_stopRequested = 0;
        struct sigaction stop {};
        stop.sa_handler = RequestStop;
        sigemptyset(&stop.sa_mask);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGINT, &stop, &m_oldInt);
        sigaction(SIGTERM, &stop, &m_oldTerm);
        sigaction(SIGPIPE, &ignore, &m_oldPipe);
    }
    ~StopSignals() {
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
        sigaction(SIGPIPE, &m_oldPipe, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
    struct sigaction m_oldPipe {};
};

// A periodic timer on the monotonic clock whose first period starts when it is made.
class Ticker {
public:
    Ticker() : m_fd(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC)) {
        const timespec period{0, kTickMs * 1000000L};
        const itimerspec spec{period, period};
        if (m_fd >= 0 && timerfd_settime(m_fd, 0, &spec, nullptr) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~Ticker() {
        if (m_fd >= 0) close(m_fd);
    }
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

    bool Ok() const { return m_fd >= 0; }
    /// Sleeps until the next tick; the number of periods since the last one, 0 when a stop came.
    uint64_t Wait() {
        uint64_t periods = 0;
        while (!s_stopRequested) {
            if (read(m_fd, &periods, sizeof periods) == sizeof periods) return periods;
            if (errno != EINTR) return 0;
        }
        return 0;
    }

private:
    int m_fd;
};

// One tick: the discard and the exchange of `mode`; the row, or the program's message for a voltage
// reply of the wrong length. False when `out` could not be written.
bool RunTick(const PollRequest& request, long long tMs, std::FILE* out, std::FILE* err) {
    DiscardStrayBytes();
    std::string row;
    TiltFrame frame{};
    if (request.mode == PollMode::Tilt) {
        if (ExchangeTilt(&frame)) row = TiltRow(request.format, tMs, frame);
    } else if (ExchangeVoltages()) {
        row = VoltageRow(request.format, tMs, g_fVoltage);
    } else {
        std::fprintf(err, "%s\n", kVoltageErrorMessage);
    }
    return row.empty() || (std::fputs(row.c_str(), out) >= 0 && std::fflush(out) == 0);
}

// The tick loop after a successful connection. Returns the exit status.
int RunTicks(const PollRequest& request, std::FILE* out, std::FILE* err) {
    Ticker ticker;
    if (!ticker.Ok()) {
        std::fprintf(err, "korvane-cli: cannot make the tick timer: %s\n", std::strerror(errno));
        return EXIT_FAILED;
    }
    std::string header = HeaderLine(request.mode, request.format);
    bool written = std::fputs(header.c_str(), out) >= 0 && std::fflush(out) == 0;
    long long periods = 0;
    for (long long tick = 0; written && !s_stopRequested; ++tick) {
        written = RunTick(request, periods * kTickMs, out, err);
        if (request.count > 0 && tick + 1 >= request.count) break;
        periods += static_cast<long long>(ticker.Wait());
    }
    if (written || errno == EPIPE) return EXIT_OK;
    std::fprintf(err, "korvane-cli: cannot write the rows: %s\n", std::strerror(errno));
    return EXIT_FAILED;
}

} // namespace

int PollBoard(const PollRequest& request, std::FILE* out, std::FILE* err) {
    StopSignals signals;
    int result = ConnectOrExplain(request.com, err);
    if (result == CONNECT_OK) result = RunTicks(request, out, err);
    DisconnectBoard();
    return result;
}

} // namespace cli
