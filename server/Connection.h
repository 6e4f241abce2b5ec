// One client connection of the server, served on a thread of its own: the
// handshake, then requests answered in order, with the events of a run
// (heartbeats, trace, its end) sent in between. The connection ends when
// the client closes it, breaks the protocol, stops reading, or the server
// stops; a run still going is aborted then and everything is released.
#ifndef SERVER_CONNECTION_H
#define SERVER_CONNECTION_H

#include "protocol/FrameDecoder.h"
#include "protocol/Socket.h"
#include "server/ProcessorSession.h"
#include "server/ServerLog.h"
#include "server/ServerSettings.h"
#include "server/WakePipe.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace SimServer {

class Connection {
public:
    // stopFd turns readable when the server stops.
    Connection(Protocol::Socket socket, unsigned id, ServerSettings const& settings, ServerLog& log, int stopFd);
    ~Connection();
    Connection(Connection const&) = delete;
    Connection& operator=(Connection const&) = delete;

    // Serves the client until the connection ends.
    void serve();
    bool finished() const { return m_finished.load(); }

private:
    enum class Input { Frames, Idle, Ended };

    bool handshake();
    bool checkHello(Protocol::Frame const& frame);
    Input receive(std::chrono::milliseconds timeout);
    bool handleFrames();
    bool deliverEvents();
    bool sendHeartbeat();
    bool send(std::vector<uint8_t> const& frame);
    void refuse(int code, std::string const& text);
    void shutDown();
    void logRun(RunRecord const& record);

    Protocol::Socket m_socket;
    unsigned m_id;
    ServerSettings const& m_settings;
    ServerLog& m_log;
    int m_stopFd;
    std::string m_peer;
    Protocol::FrameDecoder m_decoder;
    WakePipe m_wake;
    std::unique_ptr<ProcessorSession> m_session;
    std::chrono::steady_clock::time_point m_lastHeartbeat;
    std::string m_reason;  // why the connection ended, for the log
    std::atomic<bool> m_finished{false};
};

} // namespace SimServer

#endif
