#include "server/HealthPort.h"

#include "server/Listener.h"

#include <sys/socket.h>
#include <cerrno>

namespace SimServer {

namespace {

// A client that does not take its answer within this time is closed.
constexpr std::chrono::milliseconds k_answer_time{1000};
// Reads from one client per turn of the loop: more than a whole request.
constexpr int k_reads_per_turn = 8;

// The header ends with an empty line; a bare "\n" ending counts too.
bool headerComplete(std::string const& request) {
    return request.find("\r\n\r\n") != std::string::npos || request.find("\n\n") != std::string::npos;
}

}  // namespace

char const* const HealthPort::k_ready_answer =
    "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 6\r\nConnection: close\r\n\r\nready\n";
char const* const HealthPort::k_draining_answer =
    "HTTP/1.0 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n"
    "Connection: close\r\n\r\ndraining\n";

bool HealthPort::listen(std::string const& address, uint16_t port, std::string& error) {
    if (listenOn(address, port, m_listener, m_port, error)) return true;
    error += " (health checks)";
    return false;
}

void HealthPort::prepare(std::vector<pollfd>& fds, Clock::time_point now, Clock::time_point& wake) {
    bool const accepting = now >= m_accept_paused_until;
    fds.push_back({accepting ? m_listener.fd() : -1, POLLIN, 0});
    if (!accepting && m_accept_paused_until < wake) wake = m_accept_paused_until;
    m_polled.clear();
    for (Client& client : m_clients) {
        fds.push_back({client.socket.fd(), short(client.out.empty() ? POLLIN : POLLIN | POLLOUT), 0});
        m_polled.push_back(&client);
        if (client.deadline < wake) wake = client.deadline;
    }
}

void HealthPort::handle(std::vector<pollfd> const& fds, size_t first, Clock::time_point now) {
    for (size_t i = 0; i < m_polled.size(); ++i) {
        Client& client = *m_polled[i];
        short const events = fds[first + 1 + i].revents;
        if ((events & POLLOUT) != 0) flush(client);
        if ((events & (POLLIN | POLLHUP | POLLERR)) != 0 && !client.ended) readFrom(client, now);
    }
    if (fds[first].fd >= 0 && fds[first].revents != 0) acceptAll(now);
    for (Client& client : m_clients)
        if (now >= client.deadline) client.ended = true;  // silent, slow, or done reading
    m_clients.remove_if([](Client const& client) { return client.ended; });
}

void HealthPort::close() {
    m_clients.clear();
    m_listener.close();
}

void HealthPort::acceptAll(Clock::time_point now) {
    for (size_t taken = 0; taken < k_max_clients; ++taken) {
        Protocol::Socket socket(::accept4(m_listener.fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!socket.valid()) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                m_accept_paused_until = now + std::chrono::milliseconds(100);
            return;
        }
        if (m_clients.size() >= k_max_clients) continue;  // closed at once
        m_clients.emplace_back();
        m_clients.back().socket = std::move(socket);
        m_clients.back().deadline = now + k_request_time;
    }
}

// Reads what has come (a bounded amount per turn, so that a client that
// keeps sending does not hold up the loop); answers once the header is
// complete, or the client has closed its side; a request too long gets no
// answer.
void HealthPort::readFrom(Client& client, Clock::time_point now) {
    char buffer[1024];
    for (int turn = 0; turn < k_reads_per_turn; ++turn) {
        ssize_t const got = ::recv(client.socket.fd(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (got <= 0) {
            if (got == 0 && !client.answered) return answer(client, now);
            client.ended = true;
            return;
        }
        if (client.answered) continue;  // dropped while the answer goes out
        client.request.append(buffer, size_t(got));
        if (headerComplete(client.request)) return answer(client, now);
        if (client.request.size() > k_max_request) {
            client.ended = true;
            return;
        }
    }
}

void HealthPort::answer(Client& client, Clock::time_point now) {
    client.answered = true;
    client.request.clear();
    client.out = m_draining ? k_draining_answer : k_ready_answer;
    client.deadline = now + k_answer_time;
    flush(client);
}

void HealthPort::flush(Client& client) {
    size_t sent = 0;
    bool const connected = client.socket.sendNow(client.out.data(), client.out.size(), sent);
    client.out.erase(0, sent);
    if (!connected) {
        client.ended = true;
        return;
    }
    if (!client.out.empty()) return;
    dropInput(client);
    client.ended = true;
}

// Input left unread when the socket closes would make the system reset
// the connection, which may cost the client its answer.
void HealthPort::dropInput(Client& client) {
    char buffer[1024];
    for (int turn = 0; turn < k_reads_per_turn; ++turn)
        if (::recv(client.socket.fd(), buffer, sizeof buffer, MSG_DONTWAIT) <= 0) return;
}

}  // namespace SimServer
