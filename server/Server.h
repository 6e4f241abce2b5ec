// The qxsim server: listens on a TCP address and serves each client on a
// thread of its own with a simulated processor of its own, up to a
// maximum number of connections; clients beyond it are refused with an
// error frame. stop() (safe from a signal handler through stopFd) ends the
// accept loop and every connection, aborting their runs.
#ifndef SERVER_SERVER_H
#define SERVER_SERVER_H

#include "protocol/Socket.h"
#include "server/Connection.h"
#include "server/ServerLog.h"
#include "server/ServerSettings.h"
#include "server/WakePipe.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>

namespace SimServer {

class Server {
public:
    Server(ServerSettings settings, ServerLog& log);
    ~Server();  // stops and joins every thread
    Server(Server const&) = delete;
    Server& operator=(Server const&) = delete;

    // Binds and listens; false with the reason on failure.
    bool listen(std::string& error);
    // The port listened on, useful after asking for port 0.
    uint16_t port() const { return m_port; }
    std::string address() const { return m_settings.listenAddress + ":" + std::to_string(m_port); }

    // Accepts and serves clients until stop; then ends every connection
    // and returns once their threads are joined.
    void serve();
    void stop() { m_stop.notify(); }
    // Writing a byte here stops the server; for signal handlers.
    int stopFd() const { return m_stop.writeFd(); }

private:
    struct Running {
        std::unique_ptr<Connection> connection;
        std::thread thread;
    };

    void accept();
    void reapFinished();
    void joinAll();

    ServerSettings const m_settings;
    ServerLog& m_log;
    WakePipe m_stop;
    Protocol::Socket m_listener;
    uint16_t m_port = 0;
    unsigned m_nextId = 1;
    std::list<Running> m_connections;
};

} // namespace SimServer

#endif
