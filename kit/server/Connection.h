// One client connection of the server once its hello is accepted and a
// slot is free, served on a thread of its own: the welcome, then requests
// answered in order, with the events of a run (heartbeats, trace, its end)
// sent in between. The connection ends when the client closes it, breaks
// the protocol, stops reading, stays idle between runs longer than the
// idle timeout, or the server stops; a run still going is aborted then and
// everything is released. Every wait, sends included, wakes when the
// server stops.
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
#include <functional>
#include <memory>
#include <string>

namespace SimServer {

class Connection {
public:
    // decoder holds what the client sent after its hello. stopFd turns
    // readable when the server stops; finished is called on the
    // connection's thread once it is done.
    Connection(Protocol::Socket socket, Protocol::FrameDecoder decoder, unsigned id, uint16_t version,
               ServerSettings const& settings, ServerLog& log, int stopFd, std::function<void()> finished);
    ~Connection();
    Connection(Connection const&) = delete;
    Connection& operator=(Connection const&) = delete;

    // Serves the client until the connection ends; the socket is then shut
    // for sending and left for takeSocket.
    void serve();
    bool finished() const { return m_finished.load(); }
    // After serve: the socket, and why the connection ended.
    Protocol::Socket takeSocket() { return std::move(m_socket); }
    std::string const& reason() const { return m_reason; }

private:
    enum class Input { Frames, Idle, Ended };

    bool welcome();
    void serveRequests();
    std::chrono::milliseconds nextWait(bool busy, std::chrono::steady_clock::time_point lastActivity);
    Input receive(std::chrono::milliseconds timeout);
    bool handleFrames();
    bool deliverEvents();
    bool sendHeartbeat();
    bool send(std::vector<uint8_t> const& frame);
    void refuse(int code, std::string const& text);
    bool stopRequested() const;
    void shutDown();
    void logRun(RunRecord const& record);

    Protocol::Socket m_socket;
    Protocol::FrameDecoder m_decoder;
    unsigned m_id;
    uint16_t m_version;
    ServerSettings const& m_settings;
    ServerLog& m_log;
    int m_stop_fd;
    std::function<void()> m_on_finished;
    WakePipe m_wake;
    std::unique_ptr<ProcessorSession> m_session;
    std::chrono::steady_clock::time_point m_last_heartbeat;
    bool m_shutting_down = false;
    std::chrono::steady_clock::time_point m_shutdown_deadline;
    std::string m_reason;  // why the connection ended, for the log
    std::atomic<bool> m_finished{false};
};

// "60 s" or "250 ms", for messages about time limits.
std::string durationText(std::chrono::milliseconds duration);

}  // namespace SimServer

#endif
