// Helpers of the server's tests: a server on an ephemeral port of the
// loopback address, serving on a thread of its own, with its log kept in
// memory; programs assembled into qxx bytes.
#ifndef SERVER_SERVERTESTSUPPORT_H
#define SERVER_SERVERTESTSUPPORT_H

#include "assembler/TestPrograms.h"
#include "protocol/SimClient.h"
#include "qxx/QxxWriter.h"
#include "server/Server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ServerTest {

inline std::vector<uint8_t> program(std::string const& source)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(Qxx::writeQxx(KitTest::assembleSource(source), bytes, error)) << error;
    return bytes;
}

class RunningServer {
public:
    explicit RunningServer(SimServer::ServerSettings settings = SimServer::ServerSettings())
        : m_log([this](std::string const& line) {
              std::lock_guard<std::mutex> lock(m_mutex);
              m_lines.push_back(line);
          })
    {
        settings.listenAddress = "127.0.0.1";
        settings.port = 0;
        m_server = std::make_unique<SimServer::Server>(settings, m_log);
        std::string error;
        EXPECT_TRUE(m_server->listen(error)) << error;
        m_thread = std::thread([this] { m_server->serve(); });
    }
    ~RunningServer() { stop(); }

    void stop()
    {
        m_server->stop();
        if (m_thread.joinable()) m_thread.join();
    }

    uint16_t port() const { return m_server->port(); }

    // Connects a client, failing the test when that does not work.
    std::unique_ptr<Protocol::SimClient> client(std::string const& token = "") const
    {
        auto client = std::make_unique<Protocol::SimClient>();
        EXPECT_EQ(client->connect("127.0.0.1", port(), token), Protocol::kOk) << client->lastError();
        return client;
    }

    // Waits (up to ten seconds) for a log line containing text.
    bool logged(std::string const& text)
    {
        for (int i = 0; i < 1000; ++i) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (std::string const& line : m_lines)
                    if (line.find(text) != std::string::npos) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
    SimServer::ServerLog m_log;
    std::unique_ptr<SimServer::Server> m_server;
    std::thread m_thread;
};

// Loads and runs source, waits for it and gives its return value.
inline int32_t runToEnd(Protocol::SimClient& client, std::string const& source)
{
    uint32_t handle = 0;
    int32_t value = 0;
    EXPECT_EQ(client.loadImage("test.qxx", program(source), handle), Protocol::kOk) << client.lastError();
    EXPECT_EQ(client.run(), Protocol::kOk) << client.lastError();
    EXPECT_EQ(client.waitOnTerminate(), Protocol::kOk) << client.lastError();
    EXPECT_EQ(client.returnValue(value), Protocol::kOk) << client.lastError();
    return value;
}

} // namespace ServerTest

#endif
