// The emulator's event loop; see board.h.
#include "board.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace board {
namespace {

constexpr int64_t kMs = 1000000; // nanoseconds in a millisecond
constexpr int64_t kSecond = 1000 * kMs;
constexpr int64_t kBitsPerByte = 10;        // 8N1: start, 8 data, stop
constexpr int64_t kSpentGrace = 1000 * kMs; // a client that sends nothing more still sees the unplug
constexpr size_t kReadChunk = 256;

timespec ToTimespec(int64_t ns) {
    return {static_cast<time_t>(ns / kSecond), static_cast<long>(ns % kSecond)};
}

} // namespace

int64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * kSecond + now.tv_nsec;
}

Board::Board(const BoardOptions& options, std::FILE* out, std::FILE* log)
    : m_options(options), m_out(out), m_log(log), m_readings(m_options), m_protocol(m_options, m_readings),
      m_start(NowNs()) {}

std::string Board::Start() {
    return Plug();
}

std::string Board::Plug() {
    std::string error = m_line.Open(m_options);
    if (error.empty() && m_options.device.empty())
        error = m_link.Create(m_options.com, m_line.Path(), m_options.force);
    if (!error.empty()) {
        m_line.Close();
        return error;
    }
    m_commands = 0;
    m_spent = false;
    m_dropAt = m_returnAt = -1;
    std::fprintf(m_out, "%s\nready\n", m_line.Path().c_str());
    std::fflush(m_out);
    if (m_line.ClientPresent()) OnClientArrived(NowNs());
    return {};
}

void Board::Unplug(int64_t now) {
    m_outbox.Clear();
    m_writeBlocked = false;
    m_link.Remove(); // the device vanishes first, as when an adapter is pulled
    m_line.Close();
    m_dropAt = -1;
    m_nextNoise = -1;
    std::fprintf(m_out, "unplugged\n");
    std::fflush(m_out);
    if (m_options.returnAfterMs < 0)
        End(0);
    else
        m_returnAt = now + m_options.returnAfterMs * kMs;
}

void Board::End(int status) {
    m_link.Remove();
    m_line.Close();
    m_ended = true;
    m_status = status;
}

int Board::Run(int stopFd) {
    while (!m_ended) {
        int64_t now = NowNs();
        ServeTimers(now);
        if (m_ended || !PollOnce(stopFd, now)) break;
    }
    End(m_status);
    return m_status;
}

// Everything that is due at `now`: output, stray bytes, floods, unplugging and plugging back in.
void Board::ServeTimers(int64_t now) {
    if (m_returnAt >= 0 && now >= m_returnAt) {
        m_returnAt = -1;
        std::string error = Plug();
        if (!error.empty()) {
            std::fprintf(m_log, "korvane-board: cannot plug the line back in: %s\n", error.c_str());
            End(1);
            return;
        }
    }
    if (m_line.Fd() < 0 || !m_line.ClientPresent()) return;
    Flush(now);
    FeedFaults(now);
    if (m_spent && m_outbox.Empty() && m_dropAt < 0) m_dropAt = now + kSpentGrace;
    if (m_dropAt >= 0 && now >= m_dropAt) Unplug(now);
}

// --noise and --flood: stray bytes between commands, frames without pause.
void Board::FeedFaults(int64_t now) {
    if (m_spent) return;
    if (m_nextNoise >= 0 && now >= m_nextNoise) {
        m_random ^= m_random << 13, m_random ^= m_random >> 17, m_random ^= m_random << 5;
        if (m_outbox.Empty()) m_outbox.Add({static_cast<uint8_t>(m_random)}, now, 0); // never inside a reply
        m_nextNoise = std::max(m_nextNoise + kSecond / m_options.noisePerSecond, now);
        Flush(now);
    }
    while (m_options.flood && m_line.ClientPresent() && m_outbox.Empty() && !m_writeBlocked) {
        TiltFrame frame = m_readings.Tilt((now - m_start) / kMs);
        int64_t wire = WireTime(m_line.Speed());
        m_outbox.Add({frame.begin(), frame.end()}, now + wire, wire);
        Flush(now);
    }
}

void Board::Flush(int64_t now) {
    if (m_line.Fd() < 0 || !m_line.ClientPresent()) return;
    m_writeBlocked = !m_outbox.Flush(m_line.Fd(), now);
    if (m_writeBlocked && errno != EAGAIN) OnClientGone(now); // EIO: the client closed meanwhile
}

// Waits for the next event and handles it. Returns false when `stopFd` became readable.
bool Board::PollOnce(int stopFd, int64_t now) {
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {-1, 0, 0}};
    if (m_line.Fd() >= 0 && m_line.ClientPresent())
        fds[1] = {m_line.Fd(), static_cast<short>(POLLIN | (m_writeBlocked ? POLLOUT : 0)), 0};
    else if (m_line.WatchFd() >= 0)
        fds[1] = {m_line.WatchFd(), POLLIN, 0};
    int64_t wake = NextWake();
    timespec timeout = ToTimespec(std::max<int64_t>(wake - now, 0));
    if (ppoll(fds, 2, wake < 0 ? nullptr : &timeout, nullptr) < 0 && errno != EINTR) {
        std::fprintf(m_log, "korvane-board: poll failed: %s\n", std::strerror(errno));
        End(1);
        return false;
    }
    if (fds[0].revents) return false;
    now = NowNs();
    if (fds[1].revents && fds[1].fd == m_line.Fd())
        OnLineEvents(fds[1].revents, now);
    else if (fds[1].revents && m_line.Recheck())
        OnClientArrived(now);
    return true;
}

// The earliest scheduled event, or -1 when the board only waits for bytes or clients.
int64_t Board::NextWake() const {
    int64_t wake = -1;
    auto consider = [&wake](int64_t at) {
        if (at >= 0 && (wake < 0 || at < wake)) wake = at;
    };
    consider(m_returnAt);
    if (m_line.Fd() < 0 || !m_line.ClientPresent()) return wake;
    if (!m_outbox.Empty() && !m_writeBlocked) consider(m_outbox.NextDue());
    if (!m_spent) consider(m_nextNoise);
    consider(m_dropAt);
    return wake;
}

void Board::OnLineEvents(short revents, int64_t now) {
    if (revents & POLLIN)
        ReadCommands(now);
    else if (revents & (POLLHUP | POLLERR))
        OnClientGone(now);
    if (!m_ended && m_line.Fd() >= 0 && (revents & POLLOUT)) Flush(now);
}

void Board::ReadCommands(int64_t now) {
    uint8_t bytes[kReadChunk];
    ssize_t count = read(m_line.Fd(), bytes, sizeof bytes);
    if (count < 0 && errno == EAGAIN) return;
    if (count <= 0) {
        if (m_options.device.empty()) return OnClientGone(now);
        std::fprintf(m_log, "korvane-board: %s failed: %s\n", m_line.Path().c_str(),
                     count < 0 ? std::strerror(errno) : "end of file");
        return End(1);
    }
    for (ssize_t i = 0; i < count && m_line.Fd() >= 0; ++i) OnByte(bytes[i], now);
    Flush(now);
}

void Board::OnByte(uint8_t byte, int64_t now) {
    if (m_spent) return Unplug(now); // this byte finds the adapter gone
    uint32_t speed = m_line.Speed();
    Answer answer = m_protocol.Handle(byte, speed, (now - m_start) / kMs);
    const bool silent = SilentNow(now);
    if (silent) answer.reply.clear();
    if (m_options.log) {
        std::fprintf(m_log, "%s\n",
                     LogLine(byte, speed, m_options.baud, m_options.silent || silent, answer).c_str());
        std::fflush(m_log);
    }
    if (!answer.reply.empty()) {
        int64_t wire = m_options.wire ? WireTime(speed) : 0;
        // With --wire the command itself takes a byte time to arrive, and each reply byte another.
        m_outbox.Add(answer.reply, now + m_options.delayMs * kMs + 2 * wire, wire);
    }
    if (answer.command && answer.heard && m_options.dropAfter > 0 && ++m_commands >= m_options.dropAfter)
        m_spent = true;
    if (!silent && answer.command && answer.heard && m_options.silentAfter > 0 &&
        ++m_answered >= m_options.silentAfter)
        m_silentSince = now;
}

// --silent-after: silent from the command after the Nth answered one until --answer-after has
// passed (judged when a byte comes, so no timer is needed).
bool Board::SilentNow(int64_t now) {
    if (m_silentSince < 0) return false;
    if (m_options.answerAfterMs < 0 || now - m_silentSince < m_options.answerAfterMs * kMs) return true;
    m_silentSince = -1;
    m_answered = 0;
    return false;
}

void Board::OnClientGone(int64_t now) {
    m_outbox.Clear(); // nobody to receive it; a real port loses it too
    m_writeBlocked = false;
    m_nextNoise = -1;
    m_line.ClientLeft();
    if (m_line.ClientPresent()) OnClientArrived(now);
}

void Board::OnClientArrived(int64_t now) {
    if (m_options.noisePerSecond > 0) m_nextNoise = now + kSecond / m_options.noisePerSecond;
}

// Time one byte takes on the wire at `baud`; the board's own speed when the line's is unknown.
int64_t Board::WireTime(uint32_t baud) const {
    if (!m_options.wire) return 0;
    uint32_t rate = baud ? baud : (m_options.baud ? m_options.baud : 38400u);
    return kBitsPerByte * kSecond / rate;
}

} // namespace board
