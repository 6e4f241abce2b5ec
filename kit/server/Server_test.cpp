// The server in process: clients run programs through it, many at once;
// broken, hostile and vanishing clients are refused or cleaned up without
// disturbing a run on another connection.
#include "tests/support/ServerTestSupport.h"

#include "protocol/Messages.h"

#include <fstream>
#include <sstream>

namespace {

using namespace Protocol;
using ServerTest::program;
using ServerTest::RunningServer;
using ServerTest::runToEnd;
using namespace std::chrono_literals;

using KitTest::k_endless;
using KitTest::k_waitsForHost;

TEST(Server, ProgramsRunToTheirReturnValueOrFault) {
    RunningServer server;
    auto client = server.client();
    struct Case {
        char const* source;
        int waitCode;
        int32_t value;
        char const* text;
    } const cases[] = {
        {"li r1, 42\n halt r1\n", k_ok, 42, ""},
        {"li r1, -3\n halt r1\n", k_ok, -3, ""},
        {"li r1, 0\n div r2, r1, r1\n halt r2\n", k_err_program_faulted, 0,
         "division by zero at PC 0x00000008"},
    };
    for (Case const& c : cases) {
        uint32_t handle = 0;
        ASSERT_EQ(client->loadImage("case.qxx", program(c.source), handle), k_ok) << client->lastError();
        ASSERT_EQ(client->run(), k_ok) << client->lastError();
        EXPECT_EQ(client->waitOnTerminate(), c.waitCode) << c.source;
        if (c.waitCode != k_ok) {
            EXPECT_EQ(client->lastError(), c.text) << c.source;
        }
        int32_t value = 0;
        if (c.waitCode == k_ok) {
            EXPECT_EQ(client->returnValue(value), k_ok);
        }
        EXPECT_EQ(value, c.value) << c.source;
    }
}

TEST(Server, MemorySymbolsAndInventory) {
    RunningServer server;
    auto client = server.client();
    uint32_t handle = 0;
    ASSERT_EQ(client->loadImage("data.qxx", program(".data\nvalue: .word 0x11223344\n.code\nmain: halt r0\n"),
                                handle),
              k_ok);
    uint64_t address = 99;
    ASSERT_EQ(client->symbolValue(0, "value", address), k_ok) << client->lastError();
    EXPECT_EQ(address, 0u);
    uint8_t bytes[4] = {};
    ASSERT_EQ(client->readMonoMemory(address, bytes, 4), k_ok);
    EXPECT_EQ(bytes[0], 0x44);
    EXPECT_EQ(client->symbolValue(handle + 1, "value", address), k_err_bad_argument);
    EXPECT_EQ(client->lastError(), "program 2 is not loaded");
    EXPECT_EQ(client->symbolValue(0, "nothing", address), k_err_no_such_symbol);

    EXPECT_EQ(client->readMonoMemory(0x100000, bytes, 4), k_err_memory);

    EXPECT_EQ(client->processorInfo().numPes, 64u);
    EXPECT_EQ(client->processorInfo().numProcessors, 1u);
}

TEST(Server, ManyClientsInParallelEachGetTheirOwnValues) {
    SimServer::ServerSettings settings;
    settings.maxConnections = 8;
    RunningServer server(settings);
    int const clients = 8;
    int const programs = 50;
    std::vector<std::vector<int32_t>> results(clients);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            auto client = server.client();
            for (int p = 0; p < programs; ++p)
                results[c].push_back(runToEnd(
                    *client, "li r1, " + std::to_string(c * 1000 + p) + "\n addi r1, r1, 1\n halt r1\n"));
        });
    for (std::thread& thread : threads) thread.join();
    for (int c = 0; c < clients; ++c) {
        ASSERT_EQ(results[c].size(), size_t(programs));
        for (int p = 0; p < programs; ++p)
            EXPECT_EQ(results[c][p], c * 1000 + p + 1) << "client " << c << " program " << p;
    }
}

// Sends bytes on a raw connection and gives the error frame that comes back.
ErrorMessage refusalOf(uint16_t port, std::vector<uint8_t> const& bytes) {
    Socket socket;
    std::string error;
    EXPECT_TRUE(Socket::connectTo("127.0.0.1", port, 2000ms, socket, error)) << error;
    EXPECT_TRUE(socket.sendAll(bytes, error)) << error;
    FrameDecoder decoder;
    ErrorMessage refusal;
    Frame frame;
    uint8_t buffer[4096];
    size_t got = 0;
    for (;;) {
        FrameDecoder::Result const result = decoder.next(frame);
        if (result == FrameDecoder::Result::Frame && frame.type == FrameType::Error) break;
        if (result == FrameDecoder::Result::Frame) continue;  // the welcome
        if (result == FrameDecoder::Result::Error ||
            socket.receive(buffer, sizeof buffer, 5000ms, got, error) != Socket::Received::Data) {
            ADD_FAILURE() << "no error frame: " << error << decoder.error();
            return refusal;
        }
        decoder.feed(buffer, got);
    }
    EXPECT_TRUE(decode(frame, refusal, error)) << error;
    // The server closes the connection after the error frame.
    EXPECT_EQ(socket.receive(buffer, sizeof buffer, 5000ms, got, error), Socket::Received::Closed);
    return refusal;
}

std::vector<uint8_t> join(std::vector<std::vector<uint8_t>> const& parts) {
    std::vector<uint8_t> all;
    for (auto const& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(Server, BrokenClientsAreRefusedWhileAnotherRunGoesOn) {
    SimServer::ServerSettings settings;
    settings.token = "sesame";
    settings.maxProgramSize = 4096;
    RunningServer server(settings);

    // A run that lasts until the host signals it, through every case.
    auto busy = server.client("sesame");
    uint32_t handle = 0;
    ASSERT_EQ(busy->loadImage("wait.qxx", program(k_waitsForHost), handle), k_ok) << busy->lastError();
    ASSERT_EQ(busy->run(), k_ok);

    Hello hello;
    hello.token = "sesame";
    Hello wrongVersion = hello;
    wrongVersion.version = 3;
    Hello wrongToken = hello;
    wrongToken.token = "open";
    Hello wrongMagic = hello;
    wrongMagic.magic = 1;
    Request truncated;
    truncated.operation = Operation::Load;
    std::vector<uint8_t> valid = program("li r1, 1\n halt r1\n");
    truncated.data.assign(valid.begin(), valid.begin() + 20);
    std::vector<uint8_t> badLength = encode(hello);
    badLength.insert(badLength.end(), {0xff, 0xff, 0xff, 0x7f, 0x10});

    struct Case {
        char const* name;
        std::vector<uint8_t> bytes;
        int code;
        char const* text;
    } const cases[] = {
        {"wrong version", encode(wrongVersion), k_err_version,
         "protocol version 3 is not supported; this server speaks version 2"},
        {"wrong token", encode(wrongToken), k_err_token, "the token was refused"},
        {"wrong magic", encode(wrongMagic), k_err_protocol, "bad hello: wrong magic number 1"},
        {"request before hello", encode(truncated), k_err_protocol,
         "expected a hello frame, got a request frame"},
        {"unknown frame type", {1, 0, 0, 0, 0x55}, k_err_protocol, "bad frame: unknown frame type 85"},
        {"oversized frame", badLength, k_err_protocol,
         "bad frame: length 2147483647 exceeds the limit of 69632 bytes"},
        {"malformed request", join({encode(hello), encodeFrame(FrameType::Request, {1, 2})}), k_err_protocol,
         "bad request frame: truncated message: 4 bytes needed at offset 0, 2 left"},
    };
    for (Case const& c : cases) {
        ErrorMessage const refusal = refusalOf(server.port(), c.bytes);
        EXPECT_EQ(refusal.code, c.code) << c.name;
        EXPECT_EQ(refusal.text, c.text) << c.name;
    }

    // Programs that are cut short or too large are refused; the
    // connection stays usable.
    auto loader = server.client("sesame");
    EXPECT_EQ(loader->loadImage("cut.qxx", truncated.data, handle), k_err_bad_program);
    EXPECT_EQ(loader->lastError().rfind("cut.qxx: ", 0), 0u) << loader->lastError();
    EXPECT_EQ(loader->loadImage("big.qxx", std::vector<uint8_t>(5000), handle), k_err_program_too_large);
    EXPECT_EQ(loader->lastError(), "big.qxx: program of 5000 bytes exceeds the limit of 4096 bytes");
    EXPECT_EQ(runToEnd(*loader, "li r1, 5\n halt r1\n"), 5);

    ASSERT_EQ(busy->semaphoreSignal(1), k_ok) << busy->lastError();
    EXPECT_EQ(busy->waitOnTerminate(), k_ok) << busy->lastError();
    int32_t value = 0;
    EXPECT_EQ(busy->returnValue(value), k_ok);
    EXPECT_EQ(value, 7);
}

TEST(Server, ServerRefusesTheOversizedProgramItself) {
    SimServer::ServerSettings settings;
    settings.maxProgramSize = 100;
    RunningServer server(settings);
    auto client = server.client();
    Request load;
    load.sequence = 1;
    load.operation = Operation::Load;
    load.text = "raw.qxx";
    load.data.assign(200, 0);
    Socket socket;
    std::string error;
    ASSERT_TRUE(Socket::connectTo("127.0.0.1", server.port(), 2000ms, socket, error));
    ASSERT_TRUE(socket.sendAll(join({encode(Hello()), encode(load)}), error));
    FrameDecoder decoder;
    std::vector<Frame> frames;
    uint8_t buffer[4096];
    size_t got = 0;
    while (frames.size() < 2 &&
           socket.receive(buffer, sizeof buffer, 5000ms, got, error) == Socket::Received::Data) {
        decoder.feed(buffer, got);
        Frame frame;
        while (decoder.next(frame) == FrameDecoder::Result::Frame) frames.push_back(frame);
    }
    ASSERT_EQ(frames.size(), 2u);
    Response response;
    ASSERT_TRUE(decode(frames[1], response, error)) << error;
    EXPECT_EQ(response.code, k_err_program_too_large);
    EXPECT_EQ(response.text, "raw.qxx: program of 200 bytes exceeds the limit of 100 bytes");
}

TEST(Server, VanishedClientHasItsRunAbortedAndLogged) {
    RunningServer server;
    auto client = server.client();
    uint32_t handle = 0;
    ASSERT_EQ(client->loadImage("endless.qxx", program(k_endless), handle), k_ok);
    ASSERT_EQ(client->run(), k_ok);
    client->close();
    EXPECT_TRUE(server.logged("run of endless.qxx ("));
    EXPECT_TRUE(server.logged("faulted, return value 0"));
    EXPECT_TRUE(server.logged("closed: the client closed the connection"));
    auto other = server.client();
    EXPECT_EQ(runToEnd(*other, "li r1, 3\n halt r1\n"), 3);
}

// The program name is the client's text: a newline in it must not start a
// line of its own in the log.
TEST(Server, ProgramNamesAreLoggedWithoutControlCharacters) {
    RunningServer server;
    auto client = server.client();
    uint32_t handle = 0;
    ASSERT_EQ(client->loadImage("a\nqxsim: forged\t.qxx", program("li r1, 3\n halt r1\n"), handle), k_ok);
    ASSERT_EQ(client->run(), k_ok);
    client->close();
    EXPECT_TRUE(server.logged("run of a?qxsim: forged?.qxx ("));
}

TEST(Server, HeartbeatsKeepALongWaitAliveAndASignalFromAnotherThreadEndsIt) {
    RunningServer server;
    auto client = server.client();
    client->setReadTimeout(1500ms);
    uint32_t handle = 0;
    ASSERT_EQ(client->loadImage("wait.qxx", program(k_waitsForHost), handle), k_ok);
    ASSERT_EQ(client->run(), k_ok);
    std::thread signaller([&] {
        // Twice the read timeout: only heartbeats keep the wait going.
        EXPECT_TRUE(ServerTest::waitFor([&] { return client->runTime() >= 3000ms; }));
        EXPECT_EQ(client->semaphoreSignal(1), k_ok) << client->lastError();
    });
    EXPECT_EQ(client->waitOnTerminate(), k_ok) << client->lastError();
    signaller.join();
    EXPECT_EQ(client->lastRun().returnValue, 7);
}

TEST(Server, HaltFromAnotherThreadStopsTheRunAndStartResumesIt) {
    RunningServer server;
    auto client = server.client();
    uint32_t handle = 0;
    ASSERT_EQ(client->loadImage("endless.qxx", program(k_endless), handle), k_ok);
    ASSERT_EQ(client->run(), k_ok);
    std::thread halter([&] {
        uint32_t cycles = 0;
        EXPECT_TRUE(ServerTest::waitFor(
            [&] { return client->readControlRegister(0x101, cycles) == k_ok && cycles > 0; }));
        EXPECT_EQ(client->halt(), k_ok) << client->lastError();
    });
    EXPECT_EQ(client->waitOnTerminate(), k_err_program_stopped);
    halter.join();
    EXPECT_EQ(client->lastError(), "the program was stopped by a halt request");
    uint32_t counter = 0;
    EXPECT_EQ(client->readControlRegister(0x101, counter), k_ok);
    EXPECT_GT(counter, 0u);
    EXPECT_EQ(client->start(), k_ok) << client->lastError();
    EXPECT_EQ(client->reset(), k_ok) << client->lastError();
    EXPECT_EQ(client->waitOnTerminate(), k_err_program_faulted);
    EXPECT_EQ(client->lastError().rfind("aborted by the host", 0), 0u) << client->lastError();
}

TEST(Server, HostAndProgramHandOverThroughSemaphores) {
    RunningServer server;
    auto client = server.client();
    uint32_t handle = 0;
    ASSERT_EQ(client->loadImage("pingpong.qxx", program("signal 2\n wait 3\n li r1, 9\n halt r1\n"), handle),
              k_ok);
    ASSERT_EQ(client->run(), k_ok);
    EXPECT_EQ(client->semaphoreWait(2), k_ok) << client->lastError();
    EXPECT_EQ(client->semaphoreSignal(3), k_ok);
    EXPECT_EQ(client->waitOnTerminate(), k_ok);
    EXPECT_EQ(client->semaphoreWait(2), k_err_state);  // no program left to signal it
}

TEST(Server, TraceArrivesInTheClientsFile) {
    RunningServer server;
    auto client = server.client();
    std::string const path = ::testing::TempDir() + "qxsim_trace_test.txt";
    ASSERT_EQ(client->setTraceFile(path), k_ok);
    ASSERT_EQ(client->enableTrace(), k_ok);
    EXPECT_EQ(runToEnd(*client, "li r1, 6\n halt r1\n"), 6);
    ASSERT_EQ(client->disableTrace(), k_ok);
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(),
              "# tev trace: cycle, PC, instruction, what it wrote\n"
              "         0  00000000  li r1, 6                    r1=0x00000006\n"
              "         1  00000008  halt r1                     return value 6\n");
    std::remove(path.c_str());
}

TEST(Server, StopEndsARunningClientsWaitWithAnError) {
    RunningServer server;
    auto client = server.client();
    uint32_t handle = 0;
    ASSERT_EQ(client->loadImage("endless.qxx", program(k_endless), handle), k_ok);
    ASSERT_EQ(client->run(), k_ok);
    std::thread stopper([&] { server.stop(); });
    EXPECT_EQ(client->waitOnTerminate(), k_err_shutdown);
    EXPECT_EQ(client->lastError(), "the simulator server is shutting down");
    stopper.join();
    int32_t value = 0;
    EXPECT_EQ(client->returnValue(value), k_err_shutdown);
}

}  // namespace
