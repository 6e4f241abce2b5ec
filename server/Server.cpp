#include "server/Server.h"

#include "protocol/Messages.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace SimServer {

namespace {

std::string systemError(std::string const& what) { return what + ": " + std::strerror(errno); }

} // namespace

Server::Server(ServerSettings settings, ServerLog& log) : m_settings(std::move(settings)), m_log(log) {}

Server::~Server()
{
    stop();
    joinAll();
}

bool Server::listen(std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string const service = std::to_string(m_settings.port);
    int const status = ::getaddrinfo(m_settings.listenAddress.c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
        error = "cannot resolve " + m_settings.listenAddress + ": " + ::gai_strerror(status);
        return false;
    }
    Protocol::Socket listener(::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol));
    int const on = 1;
    bool const bound = listener.valid() &&
                       ::setsockopt(listener.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                       ::bind(listener.fd(), found->ai_addr, found->ai_addrlen) == 0 &&
                       ::listen(listener.fd(), 64) == 0;
    ::freeaddrinfo(found);
    if (!bound) {
        error = systemError("cannot listen on " + m_settings.listenAddress + " port " + service);
        return false;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                                 : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    m_listener = std::move(listener);
    return true;
}

void Server::serve()
{
    m_log.line("listening on " + address());
    for (;;) {
        pollfd fds[2] = {{m_listener.fd(), POLLIN, 0}, {m_stop.fd(), POLLIN, 0}};
        int const ready = ::poll(fds, 2, 1000);
        if (ready < 0 && errno != EINTR) {
            m_log.line(systemError("poll"));
            break;
        }
        if (ready > 0 && fds[1].revents != 0) break;
        if (ready > 0 && fds[0].revents != 0) accept();
        reapFinished();
    }
    m_log.line("stopping: closing " + std::to_string(m_connections.size()) + " connections");
    m_listener.close();
    stop();  // connections watch the same pipe
    joinAll();
    m_log.line("stopped");
}

void Server::accept()
{
    Protocol::Socket client(::accept4(m_listener.fd(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client.valid()) return;  // the client gave up before we took it
    int const on = 1;
    ::setsockopt(client.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    reapFinished();
    if (m_connections.size() >= m_settings.maxConnections) {
        std::string const text =
            "the server already serves its maximum of " + std::to_string(m_settings.maxConnections) + " connections";
        m_log.line("connection from " + client.peerName() + " refused: " + text);
        Protocol::ErrorMessage refusal;
        refusal.code = Protocol::kErrBusy;
        refusal.text = text;
        client.setSendTimeout(std::chrono::milliseconds(1000));
        std::string ignored;
        client.sendAll(Protocol::encode(refusal), ignored);
        client.finish(std::chrono::milliseconds(200));
        return;
    }
    Running running;
    running.connection = std::make_unique<Connection>(std::move(client), m_nextId++, m_settings, m_log, m_stop.fd());
    Connection* connection = running.connection.get();
    running.thread = std::thread([connection] { connection->serve(); });
    m_connections.push_back(std::move(running));
}

void Server::reapFinished()
{
    for (auto running = m_connections.begin(); running != m_connections.end();) {
        if (!running->connection->finished()) {
            ++running;
            continue;
        }
        running->thread.join();
        running = m_connections.erase(running);
    }
}

void Server::joinAll()
{
    for (Running& running : m_connections)
        if (running.thread.joinable()) running.thread.join();
    m_connections.clear();
}

} // namespace SimServer
