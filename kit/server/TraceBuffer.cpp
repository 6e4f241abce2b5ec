#include "server/TraceBuffer.h"

#include <algorithm>

namespace SimServer {

TraceBuffer::TraceBuffer(size_t capacity, std::function<void()> wake)
    : m_capacity(capacity), m_wake(std::move(wake)) {}

void TraceBuffer::open() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bytes.clear();
    m_start = 0;
    m_abandoned = false;
}

void TraceBuffer::abandon() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_abandoned = true;
        std::vector<uint8_t>().swap(m_bytes);
        m_start = 0;
    }
    m_room.notify_all();
}

size_t TraceBuffer::take(std::vector<uint8_t>& bytes, size_t most) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        size_t const count = std::min(most, m_bytes.size() - m_start);
        bytes.assign(m_bytes.begin() + std::ptrdiff_t(m_start),
                     m_bytes.begin() + std::ptrdiff_t(m_start + count));
        m_start += count;
        // Compacting once half is taken keeps the copying linear.
        if (m_start == m_bytes.size()) {
            m_bytes.clear();
            m_start = 0;
        } else if (m_start >= m_bytes.size() / 2) {
            m_bytes.erase(m_bytes.begin(), m_bytes.begin() + std::ptrdiff_t(m_start));
            m_start = 0;
        }
    }
    m_room.notify_all();
    return bytes.size();
}

size_t TraceBuffer::size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bytes.size() - m_start;
}

std::streamsize TraceBuffer::xsputn(char const* data, std::streamsize count) {
    bool wasEmpty = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_room.wait(lock, [this] { return m_abandoned || m_bytes.size() - m_start < m_capacity; });
        if (m_abandoned) return count;
        wasEmpty = m_bytes.size() == m_start;
        m_bytes.insert(m_bytes.end(), data, data + count);
    }
    if (wasEmpty) m_wake();
    return count;
}

TraceBuffer::int_type TraceBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    char const byte = traits_type::to_char_type(c);
    xsputn(&byte, 1);
    return c;
}

}  // namespace SimServer
