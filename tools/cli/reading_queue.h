// The readings a publisher holds while they travel to the broker: a ring of fixed-size messages
// allocated once, oldest first.
//
// A message is pushed when its reading is taken, handed out (in order) when the broker can take it
// and removed when it is acknowledged. The handed-out messages are always the oldest ones; when the
// connection that carried them is lost they are handed out again on the next one. A full ring
// drops its oldest message (handed out or not) and counts it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace cli {

class ReadingQueue {
public:
    /// The longest message a slot holds; a longer one is cut (no reading comes near it).
    static constexpr size_t kMessageBytes = 200;

    /// A ring of `capacity` messages (at least 1). Untouched slots cost no memory until used.
    explicit ReadingQueue(size_t capacity);

    /// Appends `message`; when the ring is full its oldest message is dropped first.
    void Push(std::string_view message);
    /// The oldest message not handed out yet; empty when there is none.
    std::string_view NextUnsent() const;
    /// Marks the message NextUnsent() returned as handed out under `id` (the broker's message id).
    void MarkSent(int id);
    /// The message handed out under `id` was acknowledged: it is counted as published and leaves the
    /// ring with every acknowledged one before it. False when no message in the ring has that id
    /// (one dropped meanwhile).
    bool Acknowledge(int id);
    /// The connection that carried the handed-out messages is gone: they count as not sent again.
    void Resend() { m_sent = 0; }

    size_t Size() const { return m_size; }     ///< messages held, handed out or not
    size_t InFlight() const { return m_sent; } ///< messages handed out, not acknowledged yet
    uint64_t Published() const { return m_published; }
    uint64_t Dropped() const { return m_dropped; }

private:
    struct Slot {
        int id; // the message id while handed out; kAcknowledged once acknowledged
        uint16_t length;
        char text[kMessageBytes];
    };
    static constexpr int kAcknowledged = -1;

    Slot& At(size_t index) const { return m_slots[(m_head + index) % m_capacity]; }
    void PopFront();

    std::unique_ptr<Slot[]> m_slots;
    size_t m_capacity;
    size_t m_head = 0;
    size_t m_size = 0;
    size_t m_sent = 0; // the oldest m_sent messages are handed out
    uint64_t m_published = 0;
    uint64_t m_dropped = 0;
};

} // namespace cli
