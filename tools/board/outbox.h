// Bytes the board has decided to send, each with the time it may go out. Replies are due at once,
// later with --delay, or one by one at the line's pace with --wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace board {

/// A queue of bytes with due times (monotonic nanoseconds), sent in order.
class Outbox {
public:
    /// Queues `bytes`: the first due at `firstDue`, each next one `spacing` later.
    void Add(const std::vector<uint8_t>& bytes, int64_t firstDue, int64_t spacing);
    /// Writes the bytes that are due at `now` to the non-blocking `fd`. Returns false when the fd
    /// would block or failed (errno set), true otherwise; what was not written stays queued.
    bool Flush(int fd, int64_t now);
    /// Due time of the first byte; only meaningful when not Empty.
    int64_t NextDue() const { return m_bytes.front().due; }
    bool Empty() const { return m_bytes.empty(); }
    /// Forgets everything queued.
    void Clear() { m_bytes.clear(); }

private:
    struct Pending {
        uint8_t byte;
        int64_t due;
    };
    std::deque<Pending> m_bytes;
};

} // namespace board
