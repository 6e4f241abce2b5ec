// A TCP socket owned by one object, with the few operations the client and
// the server need: connect with a time limit, send everything, receive
// what has arrived within a time limit.
#ifndef PROTOCOL_SOCKET_H
#define PROTOCOL_SOCKET_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Protocol {

class Socket {
public:
    enum class Received { Data, Timeout, Closed, Failed };
    enum class Sent { All, Stalled, Woken, Failed };

    Socket() = default;
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() { close(); }
    Socket(Socket&& other) noexcept : m_fd(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(Socket const&) = delete;
    Socket& operator=(Socket const&) = delete;

    // Resolves host with getaddrinfo and tries its addresses in turn, each
    // within what is left of timeout.
    static bool connectTo(std::string const& host, uint16_t port, std::chrono::milliseconds timeout,
                          Socket& socket, std::string& error);

    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    int release();
    void close();
    // Ends both directions without closing the descriptor, which wakes a
    // thread blocked reading it.
    void shutdown();

    // Shuts the sending side and reads and drops what still arrives, for at
    // most linger, then closes: the peer then reads the last frame sent
    // instead of a reset caused by unread data.
    void finish(std::chrono::milliseconds linger);

    // Blocks until every byte is sent or sending fails or stalls longer
    // than the send timeout. Never raises SIGPIPE.
    bool sendAll(uint8_t const* data, size_t size, std::string& error);
    bool sendAll(std::vector<uint8_t> const& bytes, std::string& error) {
        return sendAll(bytes.data(), bytes.size(), error);
    }
    void setSendTimeout(std::chrono::milliseconds timeout);

    // Sends every byte without ever blocking in send: waits for room with
    // poll, giving up (Stalled) when no byte could be sent for stallLimit
    // or (Woken) as soon as wakeFd, when not -1, turns readable. Stalled
    // and Woken may leave a frame half sent: the connection is over then.
    Sent sendAll(uint8_t const* data, size_t size, std::chrono::milliseconds stallLimit, int wakeFd,
                 std::string& error);
    // Sends what the socket takes now, without waiting; sent is the number
    // of bytes gone. False when the connection failed. Never raises SIGPIPE.
    bool sendNow(void const* data, size_t size, size_t& sent);
    // Takes what has arrived without waiting: Data, Timeout (nothing yet),
    // Closed or Failed.
    Received receiveNow(uint8_t* buffer, size_t size, size_t& got, std::string& error);

    // Waits at most timeout for bytes and reads what is there (up to size).
    Received receive(uint8_t* buffer, size_t size, std::chrono::milliseconds timeout, size_t& got,
                     std::string& error);

    // The address of the other side, "address:port".
    std::string peerName() const;

private:
    int m_fd = -1;
};

}  // namespace Protocol

#endif
