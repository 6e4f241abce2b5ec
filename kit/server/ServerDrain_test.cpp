// A drain: the simulator port closes, and every client already accepted
// (or waiting in the listen backlog) is served to its end; the grace ends
// those that are not done, and a stop during a drain is not held up by it.
#include "tests/support/ServerTestSupport.h"

#include "tests/support/HealthCheck.h"

#include <algorithm>
#include <future>
#include <thread>

namespace {

using namespace Protocol;
using ServerTest::program;
using ServerTest::RawClient;
using ServerTest::RunningServer;
using SimServer::HealthPort;
using TestSupport::healthCheck;
using namespace std::chrono_literals;

using KitTest::k_endless;
using KitTest::k_waitsForHost;

void startRun(SimClient& client, char const* source) {
    uint32_t handle = 0;
    ASSERT_EQ(client.loadImage("drain.qxx", program(source), handle), k_ok) << client.lastError();
    ASSERT_EQ(client.run(), k_ok) << client.lastError();
}

// Connects client to the server, whose slots are taken: the connect ends
// when a slot frees or the server ends.
std::future<int> connectInQueue(SimClient& client, RunningServer& server) {
    return std::async(std::launch::async,
                      [&client, &server] { return client.connect("127.0.0.1", server.port(), ""); });
}

TEST(ServerDrain, RunsGoOnToTheirValueWhileNewClientsAreRefused) {
    RunningServer server;
    auto running = server.client();
    startRun(*running, k_waitsForHost);
    server.drain();
    ASSERT_TRUE(server.logged(" draining: 1 connections open, closing within 60 s"));

    SimClient late;
    EXPECT_EQ(late.connect("127.0.0.1", server.port(), ""), k_err_connect);
    EXPECT_EQ(late.lastError(), "cannot connect to 127.0.0.1 port " + std::to_string(server.port()) +
                                    ": connect: Connection refused");

    EXPECT_EQ(running->semaphoreSignal(1), k_ok) << running->lastError();
    EXPECT_EQ(running->waitOnTerminate(), k_ok) << running->lastError();
    int32_t value = 0;
    EXPECT_EQ(running->returnValue(value), k_ok);
    EXPECT_EQ(value, 7);
    EXPECT_FALSE(server.logged(" drained: ", 1, 0ms));
    running->close();
    EXPECT_TRUE(server.logged(" drained: every connection closed"));
    EXPECT_TRUE(server.logged(" stopped"));
}

// One slot, held by a run that waits for the host: a client in the queue
// and one in its handshake when the drain starts wait for it and are
// served once it frees.
TEST(ServerDrain, ClientsInTheQueueOrTheHandshakeAreServed) {
    SimServer::ServerSettings settings;
    settings.maxConnections = 1;
    RunningServer server(settings);
    auto served = server.client();
    startRun(*served, k_waitsForHost);
    SimClient queued;
    auto waiting = connectInQueue(queued, server);
    ASSERT_TRUE(server.logged(" queued: 1 clients wait for a connection"));
    auto late = std::make_unique<RawClient>(server.port());  // in its handshake: no hello yet
    ASSERT_TRUE(server.logged("connection 3 from"));

    server.drain();
    ASSERT_TRUE(server.logged(" draining: 1 connections open, closing within 60 s"));
    ASSERT_TRUE(late->send(encode(Hello())));
    ASSERT_TRUE(server.logged(" queued: 2 clients wait for a connection"));
    EXPECT_EQ(served->semaphoreSignal(1), k_ok) << served->lastError();
    EXPECT_EQ(served->waitOnTerminate(), k_ok) << served->lastError();
    served->close();
    ASSERT_EQ(waiting.get(), k_ok) << queued.lastError();
    EXPECT_EQ(ServerTest::runToEnd(queued, "li r1, 5\n halt r1\n"), 5);
    queued.close();
    Frame frame;
    ASSERT_TRUE(late->nextBut(FrameType::Queued, frame));
    EXPECT_EQ(frame.type, FrameType::Welcome);
    EXPECT_FALSE(server.logged(" drained: ", 1, 0ms));
    late.reset();
    EXPECT_TRUE(server.logged(" drained: every connection closed"));
}

// More clients than the loop accepts in one turn have connected, none
// accepted yet, when the drain starts: each is accepted before the port
// closes (its "opened" line before the "draining:" one), and served in
// turn.
TEST(ServerDrain, ClientsInTheListenBacklogAreServed) {
    SimServer::ServerSettings settings;
    settings.maxConnections = 1;
    settings.queueLength = 128;
    RunningServer server(settings, false);
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 100; ++i) {
        clients.push_back(std::make_unique<RawClient>(server.port()));
        ASSERT_TRUE(clients.back()->send(encode(Hello())));
    }
    server.drain();
    server.serve();
    for (size_t i = 0; i < clients.size(); ++i) {
        Frame frame;
        ASSERT_TRUE(clients[i]->nextBut(FrameType::Queued, frame)) << i;
        EXPECT_EQ(frame.type, FrameType::Welcome) << i;
        clients[i].reset();
    }
    ASSERT_TRUE(server.logged(" drained: every connection closed"));
    std::vector<std::string> const lines = server.lines();
    auto const draining = std::find_if(lines.begin(), lines.end(), [](std::string const& line) {
        return line.find(" draining: 0 connections open") != std::string::npos;
    });
    auto const opened = std::count_if(lines.begin(), draining, [](std::string const& line) {
        return line.find(" opened") != std::string::npos;
    });
    EXPECT_EQ(opened, 100);
}

TEST(ServerDrain, TheGraceEndsARunThatDoesNotFinishAndTheClientsWaitingForIt) {
    SimServer::ServerSettings settings;
    settings.maxConnections = 1;
    settings.drainGrace = 200ms;
    RunningServer server(settings);
    auto running = server.client();
    startRun(*running, k_endless);
    SimClient queued;
    auto waiting = connectInQueue(queued, server);
    ASSERT_TRUE(server.logged(" queued: 1 clients wait for a connection"));
    server.drain();
    EXPECT_EQ(running->waitOnTerminate(), k_err_shutdown);
    EXPECT_EQ(running->lastError(), "the simulator server is shutting down");
    EXPECT_EQ(waiting.get(), k_err_shutdown);
    EXPECT_EQ(queued.lastError(), "the simulator server is shutting down");
    EXPECT_TRUE(server.logged(" drain grace of 200 ms over: closing 1 connections"));
    EXPECT_TRUE(server.logged(" stopped"));
}

// The grace is an hour: only the stop can end the run within the test's
// deadlines.
TEST(ServerDrain, AStopDuringADrainEndsItAtOnce) {
    SimServer::ServerSettings settings;
    settings.drainGrace = 3600s;
    RunningServer server(settings);
    auto running = server.client();
    startRun(*running, k_endless);
    server.drain();
    server.drain();  // a second drain changes nothing
    ASSERT_TRUE(server.logged(" draining: 1 connections open, closing within 3600 s"));
    std::thread stopper([&] { server.stop(); });
    EXPECT_EQ(running->waitOnTerminate(), k_err_shutdown);
    stopper.join();
    EXPECT_TRUE(server.logged(" stopped"));
    EXPECT_FALSE(server.logged(" draining: ", 2, 0ms));
}

TEST(ServerDrain, HealthIsReadyWhileEverySlotIsBusyAndDrainingOnceItDrains) {
    SimServer::ServerSettings settings;
    settings.maxConnections = 1;
    settings.healthChecks = true;
    RunningServer server(settings);
    ASSERT_NE(server.healthPort(), 0);
    ASSERT_NE(server.healthPort(), server.port());
    auto served = server.client();
    startRun(*served, k_waitsForHost);
    SimClient queued;
    auto waiting = connectInQueue(queued, server);
    ASSERT_TRUE(server.logged(" queued: 1 clients wait for a connection"));

    EXPECT_EQ(healthCheck(server.healthPort()), HealthPort::k_ready_answer);
    server.drain();
    ASSERT_TRUE(server.logged(" draining: "));
    EXPECT_EQ(healthCheck(server.healthPort()), HealthPort::k_draining_answer);
    EXPECT_EQ(served->semaphoreSignal(1), k_ok);
    EXPECT_EQ(served->waitOnTerminate(), k_ok);
    served->close();
    EXPECT_EQ(waiting.get(), k_ok) << queued.lastError();
}

}  // namespace
