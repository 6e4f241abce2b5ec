// End-to-end tests of qxrun --host: the real qxrun on the reference host
// libraries drives a real qxsim on the loopback address (QXSIM_PORT names
// its port). The sample programs must give the same output as the
// embedded simulator (--sim), the trace file the same lines, and a server
// that dies mid-run must end the wait instead of hanging qxrun.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/BackgroundServer.h"
#include "tests/support/KitRuns.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"

using TestSupport::BackgroundServer;
using TestSupport::Environment;
using TestSupport::readFile;
using TestSupport::Subprocess;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

// Whether a socket can be bound to ::1 here (not so where IPv6 is off).
bool ipv6LoopbackAvailable() {
    int const fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    bool const bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

// The server and qxrun read the same copy of examples/target_device.cfg.
class Remote : public ::testing::Test {
protected:
    void SetUp() override {
        m_directory.write("target_device.cfg",
                          readFile(std::string(QX_KIT_EXAMPLES_DIR) + "/target_device.cfg"));
    }

    std::string program(std::string const& name, std::string const& source = std::string()) const {
        return TestSupport::assembleProgram(m_directory, name, source);
    }

    Subprocess::Result qxrun(std::vector<std::string> const& arguments,
                             Environment const& environment = {}) const {
        return TestSupport::runQxrun(m_directory, m_directory.path(), arguments, environment);
    }

    Subprocess::Result remote(BackgroundServer const& server, std::vector<std::string> arguments,
                              Environment environment = {}) const {
        arguments.insert(arguments.begin(), {"--host", "127.0.0.1"});
        environment.insert(environment.begin(), {"QXSIM_PORT", std::to_string(server.port())});
        return qxrun(arguments, environment);
    }

    TemporaryDirectory m_directory;
};

TEST_F(Remote, SamplesPrintTheSameAsTheEmbeddedSimulator) {
    BackgroundServer server(QXSIM_PATH, m_directory.path());
    ASSERT_NE(server.port(), 0) << server.firstLine();
    for (TestSupport::ExampleResult const& c : TestSupport::k_exampleResults) {
        std::string const path = program(c.name);
        Subprocess::Result const embedded = qxrun({"--sim", path});
        Subprocess::Result const served = remote(server, {path});
        EXPECT_EQ(embedded.out, c.out) << c.name;
        EXPECT_EQ(served.out, c.out) << c.name;
        EXPECT_EQ(served.err, "") << c.name;
        EXPECT_EQ(served.exit_status, 1) << c.name;
    }
}

TEST_F(Remote, TraceFileHasTheSameLinesAsTheEmbeddedSimulator) {
    BackgroundServer server(QXSIM_PATH, m_directory.path());
    ASSERT_NE(server.port(), 0) << server.firstLine();
    std::string const path = program("loop");
    Subprocess::Result const embedded = qxrun({"--qxtrace", "embedded.trc", "--sim", path});
    Subprocess::Result const served = remote(server, {"--qxtrace", "served.trc", path});
    EXPECT_EQ(served.out, "Return value = 5050\n");
    EXPECT_EQ(served.exit_status, 1);
    std::string const trace = m_directory.read("served.trc");
    EXPECT_FALSE(trace.empty());
    EXPECT_EQ(trace, m_directory.read("embedded.trc"));
}

// Eight clients at once, each running its share of programs one after
// the other; every run must get its own program's value.
TEST_F(Remote, ParallelClientsEachGetTheirOwnValues) {
    BackgroundServer server(QXSIM_PATH, m_directory.path(), {"--max-connections", "16"});
    ASSERT_NE(server.port(), 0) << server.firstLine();
    std::vector<std::pair<std::string, std::string>> const programs = {
        {program("constant"), "Return value = 42\n"},
        {program("negative"), "Return value = -7\n"},
        {program("loop"), "Return value = 5050\n"},
    };
    int const clients = 8;
    int const runs = 50;
    std::vector<std::future<std::string>> results;
    for (int client = 0; client < clients; ++client)
        results.push_back(std::async(std::launch::async, [&, client] {
            for (int run = 0; run < runs; ++run) {
                auto const& [path, out] = programs[size_t(client + run) % programs.size()];
                Subprocess::Result const result = remote(server, {path});
                if (result.out != out || result.exit_status != 1)
                    return "client " + std::to_string(client) + " run " + std::to_string(run) + ": " +
                           result.out + result.err;
            }
            return std::string();
        }));
    for (auto& result : results) EXPECT_EQ(result.get(), "");
}

TEST_F(Remote, KilledServerEndsTheWaitAndTheReturnValueIsPrinted) {
    BackgroundServer server(QXSIM_PATH, m_directory.path(), {"--verbose"});
    ASSERT_NE(server.port(), 0) << server.firstLine();
    std::string const endless = program("endless", "loop: addi r1, r1, 1\n jmp loop\n");
    auto run = std::async(std::launch::async, [&] { return remote(server, {endless}); });
    EXPECT_TRUE(server.waitForLog("run of endless.qxx started", 60s));
    server.signal(SIGKILL);
    Subprocess::Result const result = run.get();
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.out, "Return value = 0\n");
    EXPECT_EQ(result.err, "qxapi: chip 0: fault: lost the simulator server at 127.0.0.1:" +
                              std::to_string(server.port()) +
                              ": the simulator server closed the connection\n");
    EXPECT_EQ(result.exit_status, 1);
}

TEST_F(Remote, UnreachableOrRefusingServersGiveTheConnectError) {
    BackgroundServer server(QXSIM_PATH, m_directory.path(), {"--token", "secret"});
    ASSERT_NE(server.port(), 0) << server.firstLine();
    std::string const path = program("constant");
    std::string const at = "127.0.0.1:" + std::to_string(server.port());
    struct Case {
        char const* name;
        Environment environment;
        std::string error;
    } const cases[] = {
        {"wrong token", {{"QXSIM_TOKEN", "guess"}}, at + " refused: the token was refused"},
        {"no token", {}, at + " refused: the token was refused"},
        {"nobody listening",
         {{"QXSIM_TOKEN", "secret"}, {"QXSIM_PORT", "1"}},
         "cannot connect to 127.0.0.1 port 1: connect: Connection refused"},
        {"port out of range",
         {{"QXSIM_TOKEN", "secret"}, {"QXSIM_PORT", "99999"}},
         "QXSIM_PORT=99999 is not a port number (1 to 65535)"},
        {"port not a number",
         {{"QXSIM_TOKEN", "secret"}, {"QXSIM_PORT", "abc"}},
         "QXSIM_PORT=abc is not a port number (1 to 65535)"},
    };
    for (Case const& c : cases) {
        Subprocess::Result const result = remote(server, {path}, c.environment);
        EXPECT_EQ(result.out,
                  TestSupport::connectFailureOut("127.0.0.1", "simulator not available: " + c.error))
            << c.name;
        EXPECT_EQ(result.exit_status, 0) << c.name;
    }
    Subprocess::Result const right = remote(server, {path}, {{"QXSIM_TOKEN", "secret"}});
    EXPECT_EQ(right.out, "Return value = 42\n");
}

// The port in the host text comes before QXSIM_PORT (here one where
// nobody listens); "localhost" with a port is a server, not the simulator
// inside the library.
TEST_F(Remote, HostTextWithAPortReachesTheServerThere) {
    BackgroundServer server(QXSIM_PATH, m_directory.path(), {"--verbose"});
    ASSERT_NE(server.port(), 0) << server.firstLine();
    std::string const path = program("constant");
    std::string const port = std::to_string(server.port());
    for (std::string const& host : {"127.0.0.1:" + port, "localhost:" + port}) {
        Subprocess::Result const result = qxrun({"--host", host, path}, {{"QXSIM_PORT", "1"}});
        EXPECT_EQ(result.out, "Return value = 42\n") << host;
        EXPECT_EQ(result.err, "") << host;
        EXPECT_EQ(result.exit_status, 1) << host;
    }
    EXPECT_TRUE(server.waitForLog("connection 2 from", 60s));
}

TEST_F(Remote, BracketedIpv6AddressWithAPortReachesTheServerThere) {
    if (!ipv6LoopbackAvailable()) GTEST_SKIP() << "no IPv6 loopback address (::1) on this machine";
    BackgroundServer server(QXSIM_PATH, m_directory.path(), {"--listen", "::1"});
    ASSERT_EQ(server.firstLine(), "qxsim: listening on [::1]:" + std::to_string(server.port()));
    ASSERT_NE(server.port(), 0) << server.firstLine();
    std::string const host = "[::1]:" + std::to_string(server.port());
    Subprocess::Result const result = qxrun({"--host", host, program("constant")});
    EXPECT_EQ(result.out, "Return value = 42\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 1);
}

TEST_F(Remote, MalformedHostTextGivesTheConnectError) {
    std::string const path = program("constant");
    struct Case {
        char const* host;
        char const* reason;
    } const cases[] = {
        {"127.0.0.1:99999", "no port from 1 to 65535 in host 127.0.0.1:99999"},
        {"127.0.0.1:", "no port from 1 to 65535 in host 127.0.0.1:"},
        {"[::1", "no ']' after '[' in host [::1"},
        {"[]:7411", "no address in '[]' in host []:7411"},
        {"[::1]7411", "only ':PORT' may follow ']' in host [::1]7411"},
    };
    for (Case const& c : cases) {
        Subprocess::Result const result = qxrun({"--host", c.host, path});
        EXPECT_EQ(result.out,
                  TestSupport::connectFailureOut(c.host, std::string("simulator not available: ") + c.reason))
            << c.host;
        EXPECT_EQ(result.err, "") << c.host;
        EXPECT_EQ(result.exit_status, 0) << c.host;
    }
}

}  // namespace
