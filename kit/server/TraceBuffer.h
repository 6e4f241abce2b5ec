// The trace of one connection's run on its way to the client: the
// processor writes the trace lines into it (as a stream buffer), the
// connection's thread takes them out and sends them. It holds at most
// about its capacity: a write that finds it full waits until the
// connection has taken enough, so a client that reads slowly slows the
// run down instead of making the server's memory grow. abandon() ends
// every wait and drops what is written until the next open().
#ifndef SERVER_TRACEBUFFER_H
#define SERVER_TRACEBUFFER_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <streambuf>
#include <vector>

namespace SimServer {

class TraceBuffer : public std::streambuf {
public:
    static constexpr size_t k_default_capacity = 4u << 20;

    // wake is called when bytes arrive in an empty buffer.
    TraceBuffer(size_t capacity, std::function<void()> wake);

    // Empty, and accepting bytes again.
    void open();
    // Drops everything; writes return at once and are dropped until open.
    void abandon();

    // Moves up to most bytes into bytes (replacing its content); their count.
    size_t take(std::vector<uint8_t>& bytes, size_t most);
    size_t size() const;
    size_t capacity() const { return m_capacity; }

protected:
    std::streamsize xsputn(char const* data, std::streamsize count) override;
    int_type overflow(int_type c) override;

private:
    size_t const m_capacity;
    std::function<void()> m_wake;
    mutable std::mutex m_mutex;
    std::condition_variable m_room;
    std::vector<uint8_t> m_bytes;
    size_t m_start = 0;  // first byte not yet taken
    bool m_abandoned = false;
};

}  // namespace SimServer

#endif
