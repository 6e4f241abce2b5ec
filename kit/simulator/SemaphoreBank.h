// The counting semaphores of a node, shared by the program (its wait and
// signal instructions, on the thread that runs it) and the host (any
// other thread). Every operation is thread-safe.
//
// The semaphores also order memory: what one side wrote before a signal
// is visible to the side whose wait that signal satisfied.
#ifndef SIMULATOR_SEMAPHOREBANK_H
#define SIMULATOR_SEMAPHOREBANK_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace Simulator {

class SemaphoreBank {
public:
    explicit SemaphoreBank(unsigned count);

    unsigned count() const { return unsigned(m_values.size()); }

    // Every value to zero.
    void reset();

    // Decrements when above zero; never blocks. The index must exist.
    bool tryTake(unsigned index);

    // Increments and wakes the waiters. The index must exist.
    void give(unsigned index);

    uint64_t value(unsigned index) const;

    // Host side: blocks until the semaphore can be taken (true) or the bank
    // is closed while it is zero (false). The index must exist.
    bool take(unsigned index);

    // Program side, after tryTake failed: blocks until the semaphore is
    // above zero (true) or stop turns non-zero (false). Takes nothing.
    bool waitAvailable(unsigned index, std::atomic<uint8_t> const& stop);

    // A closed bank makes host waits give up; the processor closes it when
    // its program has ended and opens it when a program is loaded.
    void setOpen(bool open);

    // Wakes every waiter so that it looks at its stop condition again.
    void wakeAll();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint64_t> m_values;
    bool m_open = false;
};

}  // namespace Simulator

#endif
