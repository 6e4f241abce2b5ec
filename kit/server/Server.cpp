#include "server/Server.h"

#include "protocol/Messages.h"
#include "server/Listener.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace SimServer {

using namespace Protocol;
using std::chrono::milliseconds;

namespace {

// How long a refused or closed client may take to read its last frame.
constexpr milliseconds k_refusal_linger{1000};
constexpr milliseconds k_close_linger{200};
// What a queued client may send ahead before the server stops reading it.
constexpr size_t k_queued_input_limit = 64u << 10;
// Input read from one client per turn of the loop, so none holds it up.
constexpr int k_reads_per_turn = 16;
// Clients accepted per turn of the loop, so that the others are not held
// up by a burst of connects.
constexpr int k_accepts_per_turn = 64;
// The descriptors polled before the clients': stop, finished, listener,
// drain.
constexpr size_t k_fixed_fds = 4;

std::string systemError(std::string const& what) {
    return what + ": " + std::strerror(errno);
}

int pollTimeout(std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point wake) {
    if (wake <= now) return 0;
    auto const left = std::chrono::duration_cast<milliseconds>(wake - now).count();
    return static_cast<int>(left + 1);  // rounds up: wake after the deadline, not just before it
}

}  // namespace

Server::Server(ServerSettings settings, ServerLog& log) : m_settings(std::move(settings)), m_log(log) {}

Server::~Server() {
    stop();
    joinAll();
}

bool Server::listen(std::string& error) {
    return listenOn(m_settings.listenAddress, m_settings.port, m_listener, m_port, error) &&
           (!m_settings.healthChecks ||
            m_health.listen(m_settings.listenAddress, m_settings.healthPort, error));
}

void Server::serve() {
    m_log.line("listening on " + address());
    if (healthChecks()) m_log.line("health checks on " + healthAddress());
    std::vector<pollfd> fds;
    std::vector<Waiting*> polled;
    for (;;) {
        Clock::time_point now = Clock::now();
        bool const accepting = m_listener.valid() && now >= m_accept_paused_until;
        fds.assign({{m_stop.fd(), POLLIN, 0},
                    {m_finished.fd(), POLLIN, 0},
                    {accepting ? m_listener.fd() : -1, POLLIN, 0},
                    {m_draining ? -1 : m_drain.fd(), POLLIN, 0}});
        polled.clear();
        Clock::time_point wake = now + std::chrono::seconds(1);
        if (!accepting && m_listener.valid()) wake = std::min(wake, m_accept_paused_until);
        if (m_draining) wake = std::min(wake, m_drain_deadline);
        for (Waiting& client : m_waiting) {
            short events = client.out.empty() ? 0 : POLLOUT;
            if (client.stage != Waiting::Stage::Queued || client.decoder.buffered() < k_queued_input_limit)
                events |= POLLIN;
            fds.push_back({client.socket.fd(), events, 0});
            polled.push_back(&client);
            wake = std::min(wake, client.deadline);
            if (client.stage == Waiting::Stage::Queued && client.version >= k_queued_frame_version)
                wake = std::min(wake, client.nextNotice);
        }
        size_t const health = fds.size();
        if (healthChecks()) m_health.prepare(fds, now, wake);
        int const ready = ::poll(fds.data(), fds.size(), pollTimeout(now, wake));
        if (ready < 0 && errno != EINTR) {
            m_log.line(systemError("poll"));
            break;
        }
        if (ready > 0 && fds[0].revents != 0) break;
        now = Clock::now();
        if (ready > 0 && fds[1].revents != 0) m_finished.drain();
        reapFinished(now);
        for (size_t i = 0; ready > 0 && i < polled.size(); ++i) {
            short const events = fds[k_fixed_fds + i].revents;
            Waiting& client = *polled[i];
            if ((events & POLLOUT) != 0) flush(client);
            if ((events & (POLLIN | POLLHUP | POLLERR)) != 0 && !client.ended) readFrom(client, now);
        }
        if (ready > 0 && fds[2].revents != 0) acceptAll(now, k_accepts_per_turn);
        if (ready > 0 && fds[3].revents != 0) startDrain(now);
        expire(now);
        admit();
        notifyQueued(now);
        removeEnded();
        if (healthChecks()) m_health.handle(fds, health, now);
        if (m_draining && drainEnded(now)) break;
    }
    m_log.line("stopping: closing " + std::to_string(m_connections.size()) + " connections");
    m_listener.close();
    m_health.close();
    stop();  // connections watch the same pipe
    Clock::time_point const now = Clock::now();
    for (Waiting& client : m_waiting)
        if (client.stage != Waiting::Stage::Closing && !client.ended)
            refuse(client, k_err_shutdown, errorName(k_err_shutdown), now);
    joinAll();
    m_waiting.clear();
    m_log.line("stopped");
}

// Takes at most limit clients from the listen backlog, fewer when it is
// empty.
void Server::acceptAll(Clock::time_point now, int limit) {
    for (int taken = 0; taken < limit; ++taken) {
        Socket socket(::accept4(m_listener.fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!socket.valid()) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            // Out of descriptors or memory: the pending clients stay in the
            // listen backlog until closing ones make room.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                m_accept_paused_until = now + milliseconds(100);
            return;
        }
        int const on = 1;
        ::setsockopt(socket.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_waiting.emplace_back();
        Waiting& client = m_waiting.back();
        client.socket = std::move(socket);
        client.id = m_next_id++;
        client.peer = client.socket.peerName();
        client.deadline = now + m_settings.handshakeTimeout;
        m_log.line(name(client) + " opened");
        if (count(Waiting::Stage::Handshake) > k_max_handshakes)
            refuse(client, k_err_busy,
                   "more than " + std::to_string(k_max_handshakes) + " clients are in their handshake", now);
    }
}

void Server::readFrom(Waiting& client, Clock::time_point now) {
    uint8_t buffer[4096];
    for (int turn = 0; turn < k_reads_per_turn; ++turn) {
        size_t got = 0;
        std::string error;
        Socket::Received const received = client.socket.receiveNow(buffer, sizeof buffer, got, error);
        if (received == Socket::Received::Timeout) return;
        if (received != Socket::Received::Data) {
            if (client.stage != Waiting::Stage::Closing)
                m_log.line(
                    name(client) + " closed: " +
                    (received == Socket::Received::Closed ? "the client closed the connection" : error));
            client.ended = true;
            return;
        }
        if (client.stage == Waiting::Stage::Closing) continue;  // dropped: the client reads our last frame
        client.decoder.feed(buffer, got);
        if (client.stage == Waiting::Stage::Queued) {
            if (client.decoder.buffered() >= k_queued_input_limit) return;
            continue;
        }
        Frame frame;
        switch (client.decoder.next(frame)) {
            case FrameDecoder::Result::NeedMore: continue;
            case FrameDecoder::Result::Error:
                return refuse(client, k_err_protocol, client.decoder.error(), now);
            case FrameDecoder::Result::Frame: return onHello(client, frame, now);
        }
    }
}

void Server::onHello(Waiting& client, Frame const& frame, Clock::time_point now) {
    Hello hello;
    ErrorMessage refusal;
    if (!acceptHello(frame, m_settings.token, hello, refusal))
        return refuse(client, refusal.code, refusal.text, now);
    client.version = hello.version;
    if (m_connections.size() < m_settings.maxConnections && count(Waiting::Stage::Queued) == 0)
        return startConnection(client);
    if (count(Waiting::Stage::Queued) >= m_settings.queueLength)
        return refuse(client, k_err_busy,
                      "the server already serves its maximum of " +
                          std::to_string(m_settings.maxConnections) + " connections and its queue of " +
                          std::to_string(m_settings.queueLength) + " waiting clients is full",
                      now);
    enqueue(client, now);
}

void Server::enqueue(Waiting& client, Clock::time_point now) {
    client.stage = Waiting::Stage::Queued;
    client.deadline = now + m_settings.queueTimeout;
    client.nextNotice = now;
    m_log.line(name(client) + " queued: " + std::to_string(count(Waiting::Stage::Queued)) +
               " clients wait for a connection");
}

// Sends the error frame without waiting; the rest goes out as the client
// reads, until the linger deadline.
void Server::refuse(Waiting& client, int code, std::string const& text, Clock::time_point now) {
    if (client.stage != Waiting::Stage::Closing) m_log.line(name(client) + " closed: " + text);
    ErrorMessage message;
    message.code = code;
    message.text = text;
    std::vector<uint8_t> const frame = encode(message);
    client.out.insert(client.out.end(), frame.begin(), frame.end());
    client.stage = Waiting::Stage::Closing;
    client.deadline = now + k_refusal_linger;
    flush(client);
}

void Server::flush(Waiting& client) {
    size_t sent = 0;
    bool const connected = client.socket.sendNow(client.out.data(), client.out.size(), sent);
    client.out.erase(client.out.begin(), client.out.begin() + std::ptrdiff_t(sent));
    if (!connected) {
        client.out.clear();
        client.ended = true;
        return;
    }
    if (!client.out.empty()) return;
    if (client.stage == Waiting::Stage::Closing) ::shutdown(client.socket.fd(), SHUT_WR);
}

void Server::expire(Clock::time_point now) {
    for (Waiting& client : m_waiting) {
        if (client.ended || now < client.deadline) continue;
        switch (client.stage) {
            case Waiting::Stage::Handshake:
                refuse(client, k_err_timeout,
                       "no handshake within " + std::to_string(m_settings.handshakeTimeout.count()) + " ms",
                       now);
                break;
            case Waiting::Stage::Queued:
                refuse(
                    client, k_err_busy,
                    "the server already serves its maximum of " + std::to_string(m_settings.maxConnections) +
                        " connections and none became free within " + durationText(m_settings.queueTimeout),
                    now);
                break;
            case Waiting::Stage::Closing: client.ended = true; break;
        }
    }
}

// Queued clients take free slots in the order they came; one whose
// queued notice is still partly unsent goes once it is out, so that its
// welcome follows whole frames.
void Server::admit() {
    for (Waiting& client : m_waiting) {
        if (m_connections.size() >= m_settings.maxConnections) return;
        if (client.stage == Waiting::Stage::Queued && !client.ended && client.out.empty())
            startConnection(client);
    }
}

void Server::startConnection(Waiting& client) {
    Running running;
    running.name = name(client);
    running.connection = std::make_unique<Connection>(std::move(client.socket), std::move(client.decoder),
                                                      client.id, client.version, m_settings, m_log,
                                                      m_stop.fd(), [this] { m_finished.notify(); });
    client.ended = true;
    Connection* connection = running.connection.get();
    running.thread = std::thread([connection] { connection->serve(); });
    m_connections.push_back(std::move(running));
}

void Server::notifyQueued(Clock::time_point now) {
    uint32_t position = 0;
    for (Waiting& client : m_waiting) {
        if (client.stage != Waiting::Stage::Queued || client.ended) continue;
        ++position;
        if (client.version < k_queued_frame_version || now < client.nextNotice || !client.out.empty())
            continue;
        Queued queued;
        queued.position = position;
        client.out = encode(queued);
        client.nextNotice = now + milliseconds(k_heartbeat_milliseconds);
        flush(client);
    }
}

// Joins the threads of connections that are done, at once, so that their
// slots are free for the queue; their sockets linger a little for the
// client to read the last frame.
void Server::reapFinished(Clock::time_point now) {
    for (auto running = m_connections.begin(); running != m_connections.end();) {
        if (!running->connection->finished()) {
            ++running;
            continue;
        }
        running->thread.join();
        m_log.line(running->name + " closed: " + running->connection->reason());
        m_waiting.emplace_back();
        Waiting& closing = m_waiting.back();
        closing.stage = Waiting::Stage::Closing;
        closing.socket = running->connection->takeSocket();
        closing.deadline = now + k_close_linger;
        running = m_connections.erase(running);
    }
}

void Server::removeEnded() {
    m_waiting.remove_if([](Waiting const& client) { return client.ended; });
}

// The simulator port closes (new clients are refused by the system, so a
// balancer turns elsewhere) and the health port says so. The clients
// whose connect the system has already completed are taken from the
// backlog first: a balancer counts them as handed over and cannot send
// them elsewhere, so they are served like those already accepted, which
// the drain waits for.
void Server::startDrain(Clock::time_point now) {
    m_drain.drain();
    m_draining = true;
    m_drain_deadline = now + m_settings.drainGrace;
    if (m_listener.valid()) acceptAll(now, std::numeric_limits<int>::max());
    m_listener.close();
    m_health.setDraining();
    m_log.line("draining: " + std::to_string(m_connections.size()) + " connections open, closing within " +
               durationText(m_settings.drainGrace));
}

// Over once no connection is served, no client is in its handshake or
// the queue, and every refused or closed client has had its last frame;
// or once the grace is over.
bool Server::drainEnded(Clock::time_point now) {
    if (m_connections.empty() && m_waiting.empty()) {
        m_log.line("drained: every connection closed");
        return true;
    }
    if (now < m_drain_deadline) return false;
    m_log.line("drain grace of " + durationText(m_settings.drainGrace) + " over: closing " +
               std::to_string(m_connections.size()) + " connections");
    return true;
}

void Server::joinAll() {
    for (Running& running : m_connections) {
        if (running.thread.joinable()) running.thread.join();
        m_log.line(running.name + " closed: " + running.connection->reason());
    }
    m_connections.clear();
}

size_t Server::count(Waiting::Stage stage) const {
    return size_t(std::count_if(m_waiting.begin(), m_waiting.end(), [stage](Waiting const& client) {
        return client.stage == stage && !client.ended;
    }));
}

std::string Server::name(Waiting const& client) const {
    return "connection " + std::to_string(client.id) + " from " + client.peer;
}

}  // namespace SimServer
