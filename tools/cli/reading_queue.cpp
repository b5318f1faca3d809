#include "reading_queue.h"

#include <algorithm>
#include <cstring>

namespace cli {

// `new Slot[n]` leaves the slots uninitialised, so the pages of a large ring are only taken as
// readings fill them.
ReadingQueue::ReadingQueue(size_t capacity)
    : m_slots(new Slot[std::max<size_t>(capacity, 1)]), m_capacity(std::max<size_t>(capacity, 1)) {}

void ReadingQueue::Push(std::string_view message) {
    if (m_size == m_capacity) {
        if (m_sent > 0) --m_sent;
        PopFront();
        ++m_dropped;
    }
    Slot& slot = At(m_size++);
    slot.id = 0;
    slot.length = static_cast<uint16_t>(std::min(message.size(), kMessageBytes));
    std::memcpy(slot.text, message.data(), slot.length);
}

std::string_view ReadingQueue::NextUnsent() const {
    if (m_sent == m_size) return {};
    const Slot& slot = At(m_sent);
    return {slot.text, slot.length};
}

void ReadingQueue::MarkSent(int id) {
    At(m_sent++).id = id;
}

bool ReadingQueue::Acknowledge(int id) {
    size_t index = 0;
    while (index < m_sent && At(index).id != id) ++index;
    if (index == m_sent) return false;
    At(index).id = kAcknowledged;
    // Acknowledgements may come out of order: a message leaves once all before it have.
    while (m_sent > 0 && At(0).id == kAcknowledged) {
        --m_sent;
        PopFront();
        ++m_published;
    }
    return true;
}

void ReadingQueue::PopFront() {
    m_head = (m_head + 1) % m_capacity;
    --m_size;
}

} // namespace cli
