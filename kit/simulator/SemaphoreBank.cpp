#include "simulator/SemaphoreBank.h"

#include <algorithm>

namespace Simulator {

SemaphoreBank::SemaphoreBank(unsigned count) : m_values(count, 0) {}

void SemaphoreBank::reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fill(m_values.begin(), m_values.end(), 0);
}

bool SemaphoreBank::tryTake(unsigned index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_values[index] == 0) return false;
    --m_values[index];
    return true;
}

void SemaphoreBank::give(unsigned index) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_values[index];
    }
    m_changed.notify_all();
}

uint64_t SemaphoreBank::value(unsigned index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_values[index];
}

bool SemaphoreBank::take(unsigned index) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_values[index] != 0 || !m_open; });
    if (m_values[index] == 0) return false;
    --m_values[index];
    return true;
}

bool SemaphoreBank::waitAvailable(unsigned index, std::atomic<uint8_t> const& stop) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_values[index] != 0 || stop.load() != 0; });
    return m_values[index] != 0;
}

void SemaphoreBank::setOpen(bool open) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = open;
    }
    m_changed.notify_all();
}

void SemaphoreBank::wakeAll() {
    // Taking the lock orders this after a waiter's check of its condition,
    // so the wake-up cannot fall between the check and the wait.
    { std::lock_guard<std::mutex> lock(m_mutex); }
    m_changed.notify_all();
}

}  // namespace Simulator
