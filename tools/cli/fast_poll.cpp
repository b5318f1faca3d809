// korvane-cli poll --fast: the pace, the tally and the loop of exchanges.
#include "fast_poll.h"

#include "BoardLink.h"
#include "BoardRows.h"
#include "poll_clock.h"

#include <cerrno>
#include <cstring>

namespace cli {

FastPace::FastPace(int intervalMs) {
    if (intervalMs > 0) m_ticker = std::make_unique<Ticker>(intervalMs);
}

FastPace::~FastPace() = default;

bool FastPace::Ok() const {
    return !m_ticker || m_ticker->Ok();
}

std::string FastPace::Failure() const {
    return m_ticker ? m_ticker->Failure() : std::string();
}

bool FastPace::Next(double* tMs) {
    // The schedule's first turn is now; after that the ticker gives each turn (0: a stop came).
    if (m_started && m_ticker && m_ticker->Wait() == 0) return false;
    if (StopRequests::Requested()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (!m_started) m_start = now;
    m_started = true;
    *tMs = std::chrono::duration<double, std::milli>(now - m_start).count();
    return true;
}

double FastPace::Seconds() const {
    return m_started ? std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count()
                     : 0.0;
}

std::string FastTally::Summary(double seconds) const {
    char line[160];
    std::snprintf(line, sizeof line, "%lld replies, %lld missed in %.3f s (%.1f per second)\n", replies,
                  missed, seconds, seconds > 0 ? static_cast<double>(replies) / seconds : 0.0);
    return line;
}

std::string FastTime(double tMs) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", tMs);
    return text;
}

namespace {

// One fast exchange after the discard: its row, or the program's message for a voltage reply of
// the wrong length. False when `out` could not be written.
bool RunFastExchange(const PollRequest& request, double tMs, FastTally* tally, std::FILE* out,
                     std::FILE* err) {
    DiscardStrayBytes();
    std::string row;
    TiltFrame frame{};
    if (request.mode == PollMode::Tilt) {
        if (ExchangeTiltFast(&frame)) row = TiltRow(request.format, FastTime(tMs), frame);
    } else if (ExchangeVoltagesFast()) {
        row = VoltageRow(request.format, FastTime(tMs), g_fVoltage);
    } else {
        std::fprintf(err, "%s\n", kVoltageErrorMessage);
    }
    ++(row.empty() ? tally->missed : tally->replies);
    return row.empty() || (std::fputs(row.c_str(), out) >= 0 && std::fflush(out) == 0);
}

} // namespace

int RunFastPoll(const PollRequest& request, std::FILE* out, std::FILE* err) {
    FastPace pace(request.intervalMs);
    if (!pace.Ok()) {
        std::fprintf(err, "korvane-cli: cannot make the interval timer: %s\n", pace.Failure().c_str());
        return EXIT_FAILED;
    }
    RequestLowLatency(); // a driver without the flag keeps its own pace
    std::string header = HeaderLine(request.mode, request.format);
    bool written = std::fputs(header.c_str(), out) >= 0 && std::fflush(out) == 0;
    FastTally tally;
    double tMs = 0;
    for (long long n = 0; written && (request.count == 0 || n < request.count) && pace.Next(&tMs); ++n)
        written = RunFastExchange(request, tMs, &tally, out, err);
    std::fputs(tally.Summary(pace.Seconds()).c_str(), err);
    if (written || ReaderGone()) return EXIT_OK;
    std::fprintf(err, "korvane-cli: cannot write the rows: %s\n", std::strerror(errno));
    return EXIT_FAILED;
}

} // namespace cli
