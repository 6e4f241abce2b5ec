// A drain: the simulator port closes and the clients without a connection
// are told, while the connections served go on to their end; the grace
// ends those that do not, and a stop during a drain is not held up by it.
#include "tests/support/ServerTestSupport.h"

#include "tests/support/HealthCheck.h"

#include <thread>

namespace {

using namespace Protocol;
using ServerTest::program;
using ServerTest::RunningServer;
using SimServer::HealthPort;
using TestSupport::healthCheck;
using namespace std::chrono_literals;

char const* const k_endless = "loop: addi r1, r1, 1\n jmp loop\n";
// Waits for the host's signal on semaphore 1, then returns 7.
char const* const k_waitsForHost = "wait 1\n li r1, 7\n halt r1\n";

void startRun(SimClient& client, char const* source) {
    uint32_t handle = 0;
    ASSERT_EQ(client.loadImage("drain.qxx", program(source), handle), k_ok) << client.lastError();
    ASSERT_EQ(client.run(), k_ok) << client.lastError();
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

TEST(ServerDrain, ClientsInTheQueueOrTheHandshakeGetTheDrainError) {
    SimServer::ServerSettings settings;
    settings.maxConnections = 1;
    RunningServer server(settings);
    auto served = server.client();
    SimClient queued;
    int queuedCode = k_ok;
    std::thread waiting([&] { queuedCode = queued.connect("127.0.0.1", server.port(), ""); });
    ASSERT_TRUE(server.logged(" queued: 1 clients wait for a connection"));
    ServerTest::RawClient silent(server.port());  // in its handshake: sends no hello
    ASSERT_TRUE(server.logged("connection 3 from"));

    server.drain();
    waiting.join();
    EXPECT_EQ(queuedCode, k_err_draining);
    EXPECT_EQ(queued.lastError(), "the server is draining and takes no new clients");
    Frame frame;
    ASSERT_TRUE(silent.next(frame));
    ASSERT_EQ(frame.type, FrameType::Error);
    ErrorMessage refusal;
    std::string error;
    ASSERT_TRUE(decode(frame, refusal, error)) << error;
    EXPECT_EQ(refusal.code, k_err_draining);
    EXPECT_EQ(ServerTest::runToEnd(*served, "li r1, 5\n halt r1\n"), 5);
}

TEST(ServerDrain, TheGraceEndsARunThatDoesNotFinish) {
    SimServer::ServerSettings settings;
    settings.drainGrace = 200ms;
    RunningServer server(settings);
    auto running = server.client();
    startRun(*running, k_endless);
    server.drain();
    EXPECT_EQ(running->waitOnTerminate(), k_err_shutdown);
    EXPECT_EQ(running->lastError(), "the simulator server is shutting down");
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
    std::thread waiting([&] { queued.connect("127.0.0.1", server.port(), ""); });
    ASSERT_TRUE(server.logged(" queued: 1 clients wait for a connection"));

    EXPECT_EQ(healthCheck(server.healthPort()), HealthPort::k_ready_answer);
    server.drain();
    waiting.join();
    EXPECT_EQ(healthCheck(server.healthPort()), HealthPort::k_draining_answer);
    EXPECT_EQ(served->semaphoreSignal(1), k_ok);
    EXPECT_EQ(served->waitOnTerminate(), k_ok);
}

}  // namespace
