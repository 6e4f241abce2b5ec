#include "protocol/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace Protocol {

namespace {

using Clock = std::chrono::steady_clock;

std::string systemError(char const* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

int remainingMilliseconds(Clock::time_point deadline) {
    auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Connects a non-blocking socket and waits for the outcome until deadline.
bool connectOne(addrinfo const& address, Clock::time_point deadline, Socket& socket, std::string& error) {
    Socket candidate(
        ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol));
    if (!candidate.valid()) {
        error = systemError("socket");
        return false;
    }
    if (::connect(candidate.fd(), address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            error = systemError("connect");
            return false;
        }
        pollfd waiting{candidate.fd(), POLLOUT, 0};
        int const ready = ::poll(&waiting, 1, remainingMilliseconds(deadline));
        if (ready == 0) {
            error = "connect: timed out";
            return false;
        }
        int failure = 0;
        socklen_t length = sizeof failure;
        ::getsockopt(candidate.fd(), SOL_SOCKET, SO_ERROR, &failure, &length);
        if (ready < 0 || failure != 0) {
            errno = ready < 0 ? errno : failure;
            error = systemError("connect");
            return false;
        }
    }
    int const flags = ::fcntl(candidate.fd(), F_GETFL);
    ::fcntl(candidate.fd(), F_SETFL, flags & ~O_NONBLOCK);
    int const on = 1;
    ::setsockopt(candidate.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    socket = std::move(candidate);
    return true;
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.release();
    }
    return *this;
}

int Socket::release() {
    int const fd = m_fd;
    m_fd = -1;
    return fd;
}

void Socket::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

void Socket::shutdown() {
    if (m_fd >= 0) ::shutdown(m_fd, SHUT_RDWR);
}

void Socket::finish(std::chrono::milliseconds linger) {
    if (m_fd < 0) return;
    ::shutdown(m_fd, SHUT_WR);
    Clock::time_point const deadline = Clock::now() + linger;
    uint8_t buffer[4096];
    size_t got = 0;
    std::string ignored;
    while (Clock::now() < deadline &&
           receive(buffer, sizeof buffer, std::chrono::milliseconds(remainingMilliseconds(deadline)), got,
                   ignored) == Received::Data) {}
    close();
}

bool Socket::connectTo(std::string const& host, uint16_t port, std::chrono::milliseconds timeout,
                       Socket& socket, std::string& error) {
    Clock::time_point const deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string const service = std::to_string(port);
    int const status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
        error = "cannot resolve " + host + ": " + ::gai_strerror(status);
        return false;
    }
    error = "no address for " + host;
    bool connected = false;
    for (addrinfo* address = found; address != nullptr && !connected; address = address->ai_next)
        connected = connectOne(*address, deadline, socket, error);
    ::freeaddrinfo(found);
    return connected;
}

void Socket::setSendTimeout(std::chrono::milliseconds timeout) {
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    limit.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

bool Socket::sendAll(uint8_t const* data, size_t size, std::string& error) {
    while (size > 0) {
        ssize_t const sent = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) {
            error = errno == EAGAIN || errno == EWOULDBLOCK ? "send: timed out" : systemError("send");
            return false;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

Socket::Sent Socket::sendAll(uint8_t const* data, size_t size, std::chrono::milliseconds stallLimit,
                             int wakeFd, std::string& error) {
    Clock::time_point stallDeadline = Clock::now() + stallLimit;
    while (size > 0) {
        ssize_t const sent = ::send(m_fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            data += sent;
            size -= static_cast<size_t>(sent);
            stallDeadline = Clock::now() + stallLimit;
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            error = systemError("send");
            return Sent::Failed;
        }
        pollfd fds[2] = {{m_fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        int const ready = ::poll(fds, wakeFd >= 0 ? 2 : 1, remainingMilliseconds(stallDeadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            error = systemError("poll");
            return Sent::Failed;
        }
        if (wakeFd >= 0 && fds[1].revents != 0) {
            error = "send: interrupted";
            return Sent::Woken;
        }
        if (ready == 0) {
            error = "send: timed out";
            return Sent::Stalled;
        }
    }
    return Sent::All;
}

bool Socket::sendNow(void const* data, size_t size, size_t& sent) {
    sent = 0;
    while (sent < size) {
        ssize_t const count =
            ::send(m_fd, static_cast<char const*>(data) + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (count <= 0) return false;
        sent += static_cast<size_t>(count);
    }
    return true;
}

Socket::Received Socket::receiveNow(uint8_t* buffer, size_t size, size_t& got, std::string& error) {
    got = 0;
    for (;;) {
        ssize_t const count = ::recv(m_fd, buffer, size, MSG_DONTWAIT);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Received::Timeout;
        if (count < 0) {
            error = systemError("recv");
            return Received::Failed;
        }
        if (count == 0) return Received::Closed;
        got = static_cast<size_t>(count);
        return Received::Data;
    }
}

Socket::Received Socket::receive(uint8_t* buffer, size_t size, std::chrono::milliseconds timeout, size_t& got,
                                 std::string& error) {
    Clock::time_point const deadline = Clock::now() + timeout;
    got = 0;
    for (;;) {
        pollfd waiting{m_fd, POLLIN, 0};
        int const ready = ::poll(&waiting, 1, remainingMilliseconds(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            error = systemError("poll");
            return Received::Failed;
        }
        if (ready == 0) return Received::Timeout;
        ssize_t const count = ::recv(m_fd, buffer, size, 0);
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (count < 0) {
            error = systemError("recv");
            return Received::Failed;
        }
        if (count == 0) return Received::Closed;
        got = static_cast<size_t>(count);
        return Received::Data;
    }
}

std::string Socket::peerName() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return "unknown";
    char host[INET6_ADDRSTRLEN] = "";
    char service[16] = "";
    if (::getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service,
                      sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "unknown";
    return std::string(host) + ":" + service;
}

}  // namespace Protocol
