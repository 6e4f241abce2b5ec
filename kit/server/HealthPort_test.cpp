// The health port inside the server's loop: any request gets the answer,
// a silent or oversized one none; silent clients are dropped after their
// time without holding up other checks, and beyond the most at once a
// check is closed unanswered.
#include "server/HealthPort.h"

#include "tests/support/HealthCheck.h"
#include "tests/support/ServerTestSupport.h"

#include <sys/socket.h>
#include <memory>
#include <vector>

namespace {

using ServerTest::RunningServer;
using SimServer::HealthPort;
using TestSupport::healthCheck;
using TestSupport::readToEnd;

SimServer::ServerSettings withHealthChecks() {
    SimServer::ServerSettings settings;
    settings.healthChecks = true;
    return settings;
}

std::unique_ptr<Protocol::Socket> openTo(uint16_t port) {
    auto socket = std::make_unique<Protocol::Socket>();
    std::string error;
    EXPECT_TRUE(Protocol::Socket::connectTo("127.0.0.1", port, std::chrono::seconds(10), *socket, error))
        << error;
    return socket;
}

TEST(HealthPort, AnyRequestEndedByABlankLineOrTheClientsCloseGetsTheAnswer) {
    RunningServer server(withHealthChecks());
    struct Case {
        std::string request;
        bool halfClose;  // the client shuts its sending side after the request
        std::string answer;
    } const cases[] = {
        {"GET /health HTTP/1.0\r\n\r\n", false, HealthPort::k_ready_answer},
        {"HEAD / HTTP/1.1\r\nHost: qx\r\nUser-Agent: probe\r\n\r\n", false, HealthPort::k_ready_answer},
        {"OPTIONS * HTTP/1.1\n\n", false, HealthPort::k_ready_answer},
        {"", true, HealthPort::k_ready_answer},
        {"GET /health", true, HealthPort::k_ready_answer},
        {std::string(HealthPort::k_max_request + 1, 'x'), false, ""},
    };
    for (Case const& c : cases) {
        auto socket = openTo(server.healthPort());
        std::string error;
        EXPECT_TRUE(
            socket->sendAll(reinterpret_cast<uint8_t const*>(c.request.data()), c.request.size(), error));
        if (c.halfClose) ::shutdown(socket->fd(), SHUT_WR);
        EXPECT_EQ(readToEnd(*socket), c.answer) << c.request.substr(0, 40);
    }
}

TEST(HealthPort, SilentClientsAreDroppedWithoutHoldingUpOtherChecks) {
    RunningServer server(withHealthChecks());
    auto silent = openTo(server.healthPort());
    auto halfway = openTo(server.healthPort());
    std::string error;
    std::string const part = "GET /health HTTP/1.0\r\n";
    ASSERT_TRUE(halfway->sendAll(reinterpret_cast<uint8_t const*>(part.data()), part.size(), error));
    EXPECT_EQ(healthCheck(server.healthPort()), HealthPort::k_ready_answer);
    EXPECT_EQ(readToEnd(*silent), "");
    EXPECT_EQ(readToEnd(*halfway), "");
}

TEST(HealthPort, ChecksBeyondTheMostAtOnceAreClosedUnanswered) {
    RunningServer server(withHealthChecks());
    std::vector<std::unique_ptr<Protocol::Socket>> silent;
    for (size_t i = 0; i < HealthPort::k_max_clients; ++i) silent.push_back(openTo(server.healthPort()));
    EXPECT_EQ(healthCheck(server.healthPort()), "");
    for (auto& socket : silent) EXPECT_EQ(readToEnd(*socket), "");
    EXPECT_EQ(healthCheck(server.healthPort()), HealthPort::k_ready_answer);
}

}  // namespace
