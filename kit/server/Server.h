// The qxsim server: listens on a TCP address and serves each client on a
// thread of its own with a simulated processor of its own, up to a
// maximum number of connections.
//
// One thread (serve) does everything else without ever blocking on a
// client: it accepts, reads hellos (a client that does not finish its
// handshake in time is dropped), keeps clients that find every connection
// busy in a bounded queue until a slot frees or their wait expires, sends
// refusals and lets closed connections linger, all from one poll(). A slot
// is free again as soon as its connection's thread is done. stop() (safe
// from a signal handler through stopFd) ends the accept loop and every
// connection, aborting their runs.
//
// drain() (drainFd for signal handlers) stops gracefully: the clients
// waiting in the listen backlog are accepted, then the simulator port is
// closed, so that new clients are refused by the system and a balancer
// turns elsewhere; the health port answers "draining"; every client
// already accepted is served as usual (its handshake, its wait in the
// queue, its connection until it closes), and serve() returns when none
// is left, or when the drain grace is over, ending the rest as stop()
// does. The health port (optional) is served by the same loop.
#ifndef SERVER_SERVER_H
#define SERVER_SERVER_H

#include "protocol/FrameDecoder.h"
#include "protocol/HostAddress.h"
#include "protocol/Socket.h"
#include "server/Connection.h"
#include "server/Handshake.h"
#include "server/HealthPort.h"
#include "server/ServerLog.h"
#include "server/ServerSettings.h"
#include "server/WakePipe.h"

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace SimServer {

class Server {
public:
    // Clients in their handshake at once; more are refused at once.
    static constexpr size_t k_max_handshakes = 256;

    Server(ServerSettings settings, ServerLog& log);
    ~Server();  // stops and joins every thread
    Server(Server const&) = delete;
    Server& operator=(Server const&) = delete;

    // Binds and listens; false with the reason on failure.
    bool listen(std::string& error);
    // The port listened on, useful after asking for port 0.
    uint16_t port() const { return m_port; }
    // "address:port", an IPv6 address in brackets.
    std::string address() const { return Protocol::hostAndPort(m_settings.listenAddress, m_port); }
    bool healthChecks() const { return m_health.listening(); }
    uint16_t healthPort() const { return m_health.port(); }
    std::string healthAddress() const {
        return Protocol::hostAndPort(m_settings.listenAddress, healthPort());
    }

    // Accepts and serves clients until stop; then ends every connection
    // and returns once their threads are joined.
    void serve();
    void stop() { m_stop.notify(); }
    // Writing a byte here stops the server; for signal handlers.
    int stopFd() const { return m_stop.writeFd(); }
    void drain() { m_drain.notify(); }
    // Writing a byte here starts a drain; for signal handlers.
    int drainFd() const { return m_drain.writeFd(); }

private:
    using Clock = std::chrono::steady_clock;

    // A client that has no connection thread: in its handshake, queued for
    // a slot, or being closed (its last frame sent, its input drained).
    struct Waiting {
        enum class Stage { Handshake, Queued, Closing };
        Stage stage = Stage::Handshake;
        Protocol::Socket socket;
        unsigned id = 0;
        std::string peer;
        Protocol::FrameDecoder decoder{k_handshake_frame_size};
        uint16_t version = 0;
        Clock::time_point deadline;
        Clock::time_point nextNotice;
        std::vector<uint8_t> out;  // bytes still to send
        bool ended = false;        // nothing more to do: close it
    };

    struct Running {
        std::unique_ptr<Connection> connection;
        std::thread thread;
        std::string name;  // for the log
    };

    Clock::time_point pollOnce();
    void acceptAll(Clock::time_point now, int limit);
    void readFrom(Waiting& client, Clock::time_point now);
    void onHello(Waiting& client, Protocol::Frame const& frame, Clock::time_point now);
    void enqueue(Waiting& client, Clock::time_point now);
    void refuse(Waiting& client, int code, std::string const& text, Clock::time_point now);
    void flush(Waiting& client);
    void expire(Clock::time_point now);
    void admit();
    void startConnection(Waiting& client);
    void notifyQueued(Clock::time_point now);
    void reapFinished(Clock::time_point now);
    void removeEnded();
    void joinAll();
    void startDrain(Clock::time_point now);
    bool drainEnded(Clock::time_point now);
    size_t count(Waiting::Stage stage) const;
    std::string name(Waiting const& client) const;

    ServerSettings const m_settings;
    ServerLog& m_log;
    WakePipe m_stop;
    WakePipe m_finished;  // a connection's thread is done
    WakePipe m_drain;
    bool m_draining = false;
    Clock::time_point m_drain_deadline;
    Protocol::Socket m_listener;
    HealthPort m_health;
    uint16_t m_port = 0;
    unsigned m_next_id = 1;
    Clock::time_point m_accept_paused_until;
    std::list<Waiting> m_waiting;  // in arrival order: the queue is fair
    std::list<Running> m_connections;
};

}  // namespace SimServer

#endif
