// The server's limits under clients that wait, idle, stay silent or do
// not read: each client learns which limit it met, a slot frees as soon as
// its connection ends, memory stays bounded and a stop is never held up.
#include "tests/support/ServerTestSupport.h"

#include "protocol/Messages.h"
#include "server/ProcessorSession.h"

#include <sys/ioctl.h>
#include <future>

namespace {

using namespace Protocol;
using ServerTest::program;
using ServerTest::RawClient;
using ServerTest::RunningServer;
using ServerTest::waitFor;
using namespace std::chrono_literals;

using KitTest::k_endless;
using KitTest::k_waitsForHost;

Request request(uint32_t sequence, Operation operation) {
    Request r;
    r.sequence = sequence;
    r.operation = operation;
    return r;
}

Request loadRequest(uint32_t sequence, std::string const& source) {
    Request load = request(sequence, Operation::Load);
    load.text = "endless.qxx";
    load.data = program(source);
    return load;
}

template <typename Message>
Message decoded(Frame const& frame) {
    Message message;
    std::string error;
    EXPECT_TRUE(decode(frame, message, error)) << error;
    return message;
}

TEST(ServerLimits, AClientFindingEverySlotBusyWaitsInTheQueueUntilOneFrees) {
    SimServer::ServerSettings settings;
    settings.maxConnections = 1;
    settings.queueLength = 2;
    RunningServer server(settings);
    auto first = server.client();

    // A client of this version is told its place, again and again.
    RawClient queued(server.port());
    ASSERT_TRUE(queued.send(encode(Hello())));
    for (int notice = 0; notice < 2; ++notice) {
        Frame frame;
        ASSERT_TRUE(queued.next(frame));
        ASSERT_EQ(frame.type, FrameType::Queued);
        EXPECT_EQ(decoded<Queued>(frame).position, 1u);
    }
    // A client of version 1 knows no queued frame and gets none.
    RawClient old(server.port());
    Hello oldHello;
    oldHello.version = 1;
    ASSERT_TRUE(old.send(encode(oldHello)));
    ASSERT_TRUE(server.logged(" queued: 2 clients wait for a connection"));

    // Each is served in its turn, as soon as the connection before it closes.
    first->close();
    Frame frame;
    ASSERT_TRUE(queued.nextBut(FrameType::Queued, frame));
    ASSERT_EQ(frame.type, FrameType::Welcome);
    EXPECT_EQ(decoded<Welcome>(frame).version, 2);
    queued.socket().close();
    ASSERT_TRUE(old.next(frame));
    ASSERT_EQ(frame.type, FrameType::Welcome);
    EXPECT_EQ(decoded<Welcome>(frame).version, 1);
}

TEST(ServerLimits, ClientsAreRefusedOnlyWhenTheQueueIsFullOrTheirWaitExpires) {
    struct Case {
        char const* name;
        unsigned queueLength;
        std::chrono::milliseconds queueTimeout;
        char const* text;
    } const cases[] = {
        {"queue full", 0, 60s,
         "the server already serves its maximum of 1 connections and its queue of 0 "
         "waiting clients is full"},
        {"wait expired", 1, 200ms,
         "the server already serves its maximum of 1 connections and none became free "
         "within 200 ms"},
    };
    for (Case const& c : cases) {
        SimServer::ServerSettings settings;
        settings.maxConnections = 1;
        settings.queueLength = c.queueLength;
        settings.queueTimeout = c.queueTimeout;
        RunningServer server(settings);
        auto first = server.client();
        SimClient second;
        EXPECT_EQ(second.connect("127.0.0.1", server.port(), ""), k_err_busy) << c.name;
        EXPECT_EQ(second.lastError(), c.text) << c.name;
        EXPECT_EQ(ServerTest::runToEnd(*first, "li r1, 1\n halt r1\n"), 1) << c.name;
    }
}

TEST(ServerLimits, AnIdleConnectionIsToldAndClosedAndItsSlotServesTheNext) {
    SimServer::ServerSettings settings;
    settings.maxConnections = 1;
    settings.idleTimeout = 500ms;
    RunningServer server(settings);
    auto idle = server.client();

    // A run, however long, is not idleness.
    uint32_t handle = 0;
    ASSERT_EQ(idle->loadImage("wait.qxx", program(k_waitsForHost), handle), k_ok) << idle->lastError();
    ASSERT_EQ(idle->run(), k_ok);
    std::thread signaller([&] {
        EXPECT_TRUE(waitFor([&] { return idle->runTime() >= 1500ms; }));
        EXPECT_EQ(idle->semaphoreSignal(1), k_ok) << idle->lastError();
    });
    EXPECT_EQ(idle->waitOnTerminate(), k_ok) << idle->lastError();
    signaller.join();

    // Between runs it is: the client waiting in the queue gets the slot.
    SimClient next;
    EXPECT_EQ(next.connect("127.0.0.1", server.port(), ""), k_ok) << next.lastError();
    EXPECT_TRUE(server.logged("closed: no request for 500 ms: the connection was idle too long"));
    uint64_t bytes = 0;
    EXPECT_EQ(idle->freeMemory(bytes), k_err_idle);
    EXPECT_EQ(idle->lastError(), "no request for 500 ms: the connection was idle too long");
}

TEST(ServerLimits, SilentClientsNeitherTakeSlotsNorDelayOthers) {
    RunningServer server;
    std::vector<std::unique_ptr<RawClient>> silent;
    for (int i = 0; i < 64; ++i) silent.push_back(std::make_unique<RawClient>(server.port()));
    ASSERT_TRUE(server.logged(" opened", 64));
    SimClient client;
    client.setReadTimeout(5s);  // far less than refusing 56 of them one by one once took
    ASSERT_EQ(client.connect("127.0.0.1", server.port(), ""), k_ok) << client.lastError();
    EXPECT_EQ(ServerTest::runToEnd(client, "li r1, 4\n halt r1\n"), 4);
}

TEST(ServerLimits, AHandshakeThatDoesNotComeInTimeIsRefused) {
    SimServer::ServerSettings settings;
    settings.handshakeTimeout = 200ms;
    RunningServer server(settings);
    RawClient silent(server.port());
    Frame frame;
    ASSERT_TRUE(silent.next(frame));
    ErrorMessage const refusal = decoded<ErrorMessage>(frame);
    EXPECT_EQ(refusal.code, k_err_timeout);
    EXPECT_EQ(refusal.text, "no handshake within 200 ms");
}

// The run waits while the trace buffer is full, whatever the reader does.
TEST(ServerLimits, ATracedRunWaitsForItsReaderWithinTheTraceBuffer) {
    SimServer::ServerSettings settings;
    settings.traceBufferSize = 64u << 10;
    std::string error;
    auto session = SimServer::ProcessorSession::create(
        settings, [] {}, error);
    ASSERT_TRUE(session) << error;
    Response response;
    for (Request const& r :
         {loadRequest(1, k_endless), request(2, Operation::TraceOn), request(3, Operation::Run)}) {
        ASSERT_TRUE(session->handle(r, response));
        ASSERT_EQ(response.code, k_ok) << response.text;
    }
    // A trace line is far shorter than this.
    size_t const bound = settings.traceBufferSize + 4096;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(waitFor([&] { return session->traceBuffered() >= settings.traceBufferSize; }));
        EXPECT_LE(session->traceBuffered(), bound);
        std::vector<std::vector<uint8_t>> chunks;
        session->takeTrace(chunks, settings.traceBufferSize / 2);
        EXPECT_LE(session->traceBuffered(), bound);
    }
    EXPECT_TRUE(session->busy());
    session->abortRun(k_err_shutdown, "stopping");  // releases the waiting run
    SimServer::RunRecord record;
    ASSERT_TRUE(session->takeRunEnd(record));
    EXPECT_EQ(record.ended.code, k_err_shutdown);
}

// A client that sends a traced run and reads nothing holds the
// connection in a send; stop must still end it.
TEST(ServerLimits, StopEndsAConnectionWhoseClientDoesNotRead) {
    SimServer::ServerSettings settings;
    settings.sendTimeout = std::chrono::hours(1);
    settings.traceBufferSize = 64u << 10;
    settings.verbose = true;
    RunningServer server(settings);
    RawClient reader(server.port());
    ASSERT_TRUE(reader.send(encode(Hello())));
    Frame frame;
    ASSERT_TRUE(reader.next(frame));
    ASSERT_EQ(frame.type, FrameType::Welcome);
    for (Request const& r :
         {loadRequest(1, k_endless), request(2, Operation::TraceOn), request(3, Operation::Run)})
        ASSERT_TRUE(reader.send(encode(r)));
    ASSERT_TRUE(server.logged("run of endless.qxx started"));
    // Trace piles up unread at the client.
    ASSERT_TRUE(waitFor([&] {
        int waiting = 0;
        return ::ioctl(reader.socket().fd(), FIONREAD, &waiting) == 0 && waiting >= (32 << 10);
    }));
    auto stopped = std::async(std::launch::async, [&] { server.stop(); });
    ASSERT_EQ(stopped.wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(server.logged("closed: the simulator server is shutting down"));
    EXPECT_TRUE(server.logged("stopped"));
}

}  // namespace
