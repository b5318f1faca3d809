// Scheduled output.
#include "outbox.h"

#include <unistd.h>

namespace board {

void Outbox::Add(const std::vector<uint8_t>& bytes, int64_t firstDue, int64_t spacing) {
    int64_t due = firstDue;
    for (uint8_t byte : bytes) {
        m_bytes.push_back({byte, due});
        due += spacing;
    }
}

bool Outbox::Flush(int fd, int64_t now) {
    while (!m_bytes.empty() && m_bytes.front().due <= now) {
        uint8_t chunk[256];
        size_t count = 0;
        while (count < sizeof chunk && count < m_bytes.size() && m_bytes[count].due <= now) {
            chunk[count] = m_bytes[count].byte;
            ++count;
        }
        ssize_t written = write(fd, chunk, count);
        if (written <= 0) return false;
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + written);
    }
    return true;
}

} // namespace board
