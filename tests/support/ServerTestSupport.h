// Helpers of the server's tests: a server on an ephemeral port of the
// loopback address, serving on a thread of its own, with its log kept in
// memory; programs assembled into qxx bytes.
#ifndef SERVER_SERVERTESTSUPPORT_H
#define SERVER_SERVERTESTSUPPORT_H

#include "protocol/SimClient.h"
#include "qxx/QxxWriter.h"
#include "server/Server.h"
#include "tests/support/TestPrograms.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ServerTest {

inline std::vector<uint8_t> program(std::string const& source) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(Qxx::writeQxx(KitTest::assembleSource(source), bytes, error)) << error;
    return bytes;
}

// Polls condition until it holds, for at most thirty seconds.
template <typename Condition>
bool waitFor(Condition condition) {
    auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A client on a bare socket, for what SimClient does not do: old
// versions, silence, not reading.
class RawClient {
public:
    explicit RawClient(uint16_t port) {
        std::string error;
        EXPECT_TRUE(Protocol::Socket::connectTo("127.0.0.1", port, std::chrono::seconds(5), m_socket, error))
            << error;
    }

    bool send(std::vector<uint8_t> const& bytes) {
        std::string error;
        return m_socket.sendAll(bytes, error);
    }

    // The next frame, waiting up to thirty seconds; false when none comes.
    bool next(Protocol::Frame& frame) {
        uint8_t buffer[4096];
        for (;;) {
            Protocol::FrameDecoder::Result const result = m_decoder.next(frame);
            if (result == Protocol::FrameDecoder::Result::Frame) return true;
            if (result == Protocol::FrameDecoder::Result::Error) return false;
            size_t got = 0;
            std::string error;
            if (m_socket.receive(buffer, sizeof buffer, std::chrono::seconds(30), got, error) !=
                Protocol::Socket::Received::Data)
                return false;
            m_decoder.feed(buffer, got);
        }
    }

    // Reads frames up to the first that is not of type skipped.
    bool nextBut(Protocol::FrameType skipped, Protocol::Frame& frame) {
        while (next(frame))
            if (frame.type != skipped) return true;
        return false;
    }

    Protocol::Socket& socket() { return m_socket; }

private:
    Protocol::Socket m_socket;
    Protocol::FrameDecoder m_decoder;
};

// serving false: the server listens but serves only from serve(), so that
// the connects made before stay in its listen backlog.
class RunningServer {
public:
    explicit RunningServer(SimServer::ServerSettings settings = SimServer::ServerSettings(),
                           bool serving = true)
        : m_log([this](std::string const& line) {
              {
                  std::lock_guard<std::mutex> lock(m_mutex);
                  m_lines.push_back(line);
              }
              m_logged.notify_all();
          }) {
        settings.listenAddress = "127.0.0.1";
        settings.port = 0;
        m_server = std::make_unique<SimServer::Server>(settings, m_log);
        std::string error;
        EXPECT_TRUE(m_server->listen(error)) << error;
        if (serving) serve();
    }
    ~RunningServer() { stop(); }

    void serve() {
        m_thread = std::thread([this] { m_server->serve(); });
    }
    void stop() {
        m_server->stop();
        if (m_thread.joinable()) m_thread.join();
    }

    uint16_t port() const { return m_server->port(); }
    uint16_t healthPort() const { return m_server->healthPort(); }
    void drain() { m_server->drain(); }

    // Connects a client, failing the test when that does not work.
    std::unique_ptr<Protocol::SimClient> client(std::string const& token = "") const {
        auto client = std::make_unique<Protocol::SimClient>();
        EXPECT_EQ(client->connect("127.0.0.1", port(), token), Protocol::k_ok) << client->lastError();
        return client;
    }

    // Waits (up to limit) for count log lines containing text.
    bool logged(std::string const& text, size_t count = 1,
                std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_logged.wait_for(lock, limit, [&] {
            size_t found = 0;
            for (std::string const& line : m_lines)
                if (line.find(text) != std::string::npos) ++found;
            return found >= count;
        });
    }

    // The lines logged so far.
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_logged;
    std::vector<std::string> m_lines;
    SimServer::ServerLog m_log;
    std::unique_ptr<SimServer::Server> m_server;
    std::thread m_thread;
};

// Loads and runs source, waits for it and gives its return value.
inline int32_t runToEnd(Protocol::SimClient& client, std::string const& source) {
    uint32_t handle = 0;
    int32_t value = 0;
    EXPECT_EQ(client.loadImage("test.qxx", program(source), handle), Protocol::k_ok) << client.lastError();
    EXPECT_EQ(client.run(), Protocol::k_ok) << client.lastError();
    EXPECT_EQ(client.waitOnTerminate(), Protocol::k_ok) << client.lastError();
    EXPECT_EQ(client.returnValue(value), Protocol::k_ok) << client.lastError();
    return value;
}

}  // namespace ServerTest

#endif
