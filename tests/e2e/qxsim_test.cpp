// End-to-end tests of qxsim: the built server runs as a child process with
// a temporary directory as HOME, QXPATH and working directory; clients
// reach it over the loopback address. Help, version and option errors are
// compared exactly; a shutdown by SIGTERM and a killed server must end a
// client's wait with an error instead of a hang.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "assembler/Assembler.h"
#include "protocol/SimClient.h"
#include "qxx/QxxWriter.h"
#include "tests/support/BackgroundServer.h"
#include "tests/support/HealthCheck.h"
#include "tests/support/KitRuns.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestPrograms.h"
#include "tests/support/TestTexts.h"

using TestSupport::BackgroundServer;
using TestSupport::Subprocess;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

char const* const k_usage =
    "\n"
    "Usage: qxsim [option]*\n"
    "\n"
    "Where one or more of the following options may be given:\n"
    "\n"
    "--help              (-h)           Outputs this message\n"
    "--output            (-o)          \n"
    "--verbose           (-v)           Switch on verbose display\n"
    "--version           (-V)           Display version string\n"
    "--listen                 <string>   Address to listen on, default: 127.0.0.1 (this machine only)\n"
    "--port              (-p) <integer>  Port to listen on, 0 for any free port, default: QXSIM_PORT or "
    "7411\n"
    "--max-connections        <integer>  Most clients served at once, each with its own processor, default: "
    "8\n"
    "--max-program-size       <integer>  Largest program accepted, in bytes, default: 16777216\n"
    "--max-cycles             <integer>  Cycles after which a run faults, 0 for no limit, default: 0\n"
    "--token                  <string>   Token every client must present, default: none\n"
    "--token-file             <string>   File whose first line is the token clients must present\n"
    "--idle-timeout           <integer>  Seconds a connection may stay idle between runs, 0 for no limit, "
    "default: 60\n"
    "--queue-length           <integer>  Most clients waiting for a free connection, default: 64\n"
    "--queue-timeout          <integer>  Seconds a client waits for a free connection at most, default: 60\n"
    "--health-port            <integer>  Port answering HTTP health checks, 0 for any free port, default: "
    "none\n"
    "--drain-grace            <integer>  Seconds a drain (SIGQUIT) waits for connections, 0 to stop at "
    "once, default: 60\n";

using KitTest::k_endless;
using KitTest::k_waitsForHost;

char const* const k_ready =
    "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 6\r\nConnection: close\r\n\r\nready\n";
char const* const k_draining =
    "HTTP/1.0 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n"
    "Connection: close\r\n\r\ndraining\n";

std::vector<uint8_t> assembled(char const* source) {
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    EXPECT_TRUE(Assembler::assemble({{"endless.qxs", source}}, Assembler::AssemblerOptions(), image, errors));
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(Qxx::writeQxx(image, bytes, error)) << error;
    return bytes;
}

std::vector<uint8_t> endlessProgram() {
    return assembled(k_endless);
}

// Connects client and starts source on it.
void startRun(Protocol::SimClient& client, uint16_t port, char const* source) {
    ASSERT_EQ(client.connect("127.0.0.1", port, ""), Protocol::k_ok) << client.lastError();
    uint32_t handle = 0;
    ASSERT_EQ(client.loadImage("endless.qxx", assembled(source), handle), Protocol::k_ok)
        << client.lastError();
    ASSERT_EQ(client.run(), Protocol::k_ok) << client.lastError();
}

class QxsimTest : public ::testing::Test {
protected:
    QxsimTest() { m_directory.write("target_device.cfg", TestSupport::k_systemConfiguration); }

    Subprocess qxsim() const {
        return Subprocess(QXSIM_PATH)
            .argv0("qxsim")
            .env("HOME", m_directory.path())
            .env("QXPATH", m_directory.path())
            .workingDirectory(m_directory.path())
            .timeout(20s);
    }

    TemporaryDirectory m_directory;
};

TEST_F(QxsimTest, HelpVersionAndOptionErrors) {
    m_directory.write("long-token.txt", std::string(4097, 't') + "\n");
    struct Case {
        char const* name;
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int status;
        char const* port = nullptr;  // QXSIM_PORT
    } const cases[] = {
        {"help", {"--help"}, k_usage, "", 0},
        {"help wins over a bad port", {"-h", "--port", "70000"}, k_usage, "", 0},
        {"port out of range",
         {"--port", "70000"},
         "",
         "qxsim: bad value for --port: 70000 (a number from 0 to 65535 expected)\n",
         1},
        {"no connections",
         {"--max-connections", "0"},
         "",
         "qxsim: bad value for --max-connections: 0 (at least 1 expected)\n",
         1},
        {"program limit above the protocol's",
         {"--max-program-size", "16777217"},
         "",
         "qxsim: bad value for --max-program-size: 16777217 (a number from 0 to 16777216 expected)\n",
         1},
        {"missing token file",
         {"--token-file", "none.txt"},
         "",
         "qxsim: cannot read the token file none.txt\n",
         1},
        {"stray argument",
         {"program.qxx"},
         "",
         "qxsim: unexpected argument: program.qxx\nUse -h for a list of available options.\n",
         1},
        {"empty token",
         {"--token", ""},
         "",
         "qxsim: bad value for --token: an empty value is not allowed\n",
         1},
        {"empty listen address",
         {"--listen", ""},
         "",
         "qxsim: bad value for --listen: an empty value is not allowed\n",
         1},
        {"token longer than a hello carries",
         {"--token", std::string(4097, 't')},
         "",
         "qxsim: the token of --token is longer than the 4096 bytes a client can present\n",
         1},
        {"token file longer than a hello carries",
         {"--token-file", "long-token.txt"},
         "",
         "qxsim: the token in the token file long-token.txt is longer than the 4096 bytes a client can "
         "present\n",
         1},
        {"idle timeout above a day",
         {"--idle-timeout", "86401"},
         "",
         "qxsim: bad value for --idle-timeout: 86401 (a number from 0 to 86400 expected)\n",
         1},
        {"health port out of range",
         {"--health-port", "65536"},
         "",
         "qxsim: bad value for --health-port: 65536 (a number from 0 to 65535 expected)\n",
         1},
        {"drain grace above a day",
         {"--drain-grace", "86401"},
         "",
         "qxsim: bad value for --drain-grace: 86401 (a number from 0 to 86400 expected)\n",
         1},
        {"port variable out of range",
         {},
         "",
         "qxsim: QXSIM_PORT=99999 is not a port number (1 to 65535)\n",
         1,
         "99999"},
        {"port variable not a number",
         {},
         "",
         "qxsim: QXSIM_PORT=abc is not a port number (1 to 65535)\n",
         1,
         "abc"},
    };
    for (Case const& c : cases) {
        Subprocess process = qxsim().args(c.args);
        if (c.port != nullptr) process.env("QXSIM_PORT", c.port);
        Subprocess::Result const result = process.run();
        EXPECT_EQ(result.out, c.out) << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
        EXPECT_EQ(result.exit_status, c.status) << c.name;
    }
}

TEST_F(QxsimTest, VersionPrintsTheBanner) {
    Subprocess::Result const result = qxsim().arg("--version").run();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NE(result.out.find("\nTool:          qxsim Orvalis simulator server\nDistribution:  2.24\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("qxsim is part of the Orvalis accelerator software kit.\n"), std::string::npos);
    EXPECT_EQ(result.err, "");
}

// Help and version need no configuration: in an empty directory with
// QXPATH and HOME unset, and with both empty, qxsim prints the same texts
// as with one; serving, and a --useconfig that names a missing file, still
// fail for want of the configuration.
TEST_F(QxsimTest, HelpAndVersionAnswerWithoutAConfiguration) {
    Subprocess::Result const version = qxsim().arg("--version").run();
    ASSERT_EQ(version.exit_status, 0);
    std::string const noConfigurationOut =
        "The config file: 'target_device.cfg' must be present in the QXPATH\n"
        "Or the --useconfig <config file> option must be used\n";
    struct Case {
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int status;
    } const cases[] = {
        {{"--help"}, k_usage, "", 0},
        {{"-h", "--port", "70000"}, k_usage, "", 0},
        {{"--version"}, version.out, "", 0},
        {{"-V"}, version.out, "", 0},
        {{},
         noConfigurationOut,
         "Fatal Error: Could not load the system configuration file.\n\tNo system config filename found.\n",
         1},
        {{"--useconfig", "missing.cfg", "-V"},
         noConfigurationOut,
         "Fatal Error: Could not load the system configuration file.\n\t'missing.cfg'\n"
         "\tSystem properties not ready: 'Failed to read from missing.cfg'\n",
         1},
    };
    TemporaryDirectory const empty;
    for (bool const unset : {true, false}) {
        for (Case const& c : cases) {
            std::string const name = (unset ? "unset:" : "empty:") + (c.args.empty() ? "" : c.args.front());
            Subprocess process(QXSIM_PATH);
            process.argv0("qxsim").args(c.args).workingDirectory(empty.path()).timeout(20s);
            if (unset)
                process.unsetEnv("HOME").unsetEnv("QXPATH");
            else
                process.env("HOME", "").env("QXPATH", "");
            Subprocess::Result const result = process.run();
            EXPECT_EQ(result.error, "") << name;
            EXPECT_EQ(result.out, c.out) << name;
            EXPECT_EQ(result.err, c.err) << name;
            EXPECT_EQ(result.exit_status, c.status) << name;
        }
    }
}

TEST_F(QxsimTest, SigtermMidRunEndsCleanlyAndTheWaitFails) {
    BackgroundServer server(QXSIM_PATH, m_directory.path());
    ASSERT_NE(server.port(), 0) << server.firstLine();
    Protocol::SimClient client;
    ASSERT_EQ(client.connect("127.0.0.1", server.port(), ""), Protocol::k_ok) << client.lastError();
    uint32_t handle = 0;
    ASSERT_EQ(client.loadImage("endless.qxx", endlessProgram(), handle), Protocol::k_ok)
        << client.lastError();
    ASSERT_EQ(client.run(), Protocol::k_ok);
    server.signal(SIGTERM);
    EXPECT_EQ(client.waitOnTerminate(), Protocol::k_err_shutdown);
    EXPECT_EQ(client.lastError(), "the simulator server is shutting down");
    EXPECT_EQ(server.waitForExit(20s), 0);
    std::string const log = m_directory.read("qxsim.log");
    EXPECT_NE(log.find(" qxsim: connection 1: run of endless.qxx (104 bytes): faulted, return value 0, "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" qxsim: stopped\n"), std::string::npos) << log;
}

TEST_F(QxsimTest, KilledServerMidRunMakesTheWaitFail) {
    BackgroundServer server(QXSIM_PATH, m_directory.path());
    ASSERT_NE(server.port(), 0) << server.firstLine();
    Protocol::SimClient client;
    ASSERT_EQ(client.connect("127.0.0.1", server.port(), ""), Protocol::k_ok) << client.lastError();
    client.setReadTimeout(3s);
    uint32_t handle = 0;
    ASSERT_EQ(client.loadImage("endless.qxx", endlessProgram(), handle), Protocol::k_ok);
    ASSERT_EQ(client.run(), Protocol::k_ok);
    server.signal(SIGKILL);
    EXPECT_EQ(client.waitOnTerminate(), Protocol::k_err_connection_lost);
    EXPECT_EQ(client.lastError(), "the simulator server closed the connection");
    int32_t value = 0;
    EXPECT_EQ(client.returnValue(value), Protocol::k_err_connection_lost);
}

// One slot, held by a run that waits for the host; a qxrun waits in the
// queue. After SIGQUIT a new qxrun is refused, the run goes on to its
// value, the queued qxrun then takes the slot and runs, and the server
// exits once both clients have closed.
TEST_F(QxsimTest, SigquitDrainsTheRunAndTheQueueFinishAndNewClientsAreRefused) {
    BackgroundServer server(QXSIM_PATH, m_directory.path(), {"--health-port", "0", "--max-connections", "1"});
    ASSERT_NE(server.healthPort(), 0) << server.firstLine() << server.healthLine();
    std::string const port = std::to_string(server.port());
    EXPECT_EQ(server.firstLine(), "qxsim: listening on 127.0.0.1:" + port);
    EXPECT_EQ(server.healthLine(),
              "qxsim: health checks on 127.0.0.1:" + std::to_string(server.healthPort()));
    EXPECT_EQ(TestSupport::healthCheck(server.healthPort()), k_ready);
    std::string const constant = TestSupport::assembleProgram(m_directory, "constant");
    Protocol::SimClient client;
    startRun(client, server.port(), k_waitsForHost);
    auto queued = std::async(std::launch::async, [&] {
        return TestSupport::runQxrun(m_directory, m_directory.path(),
                                     {"--host", "127.0.0.1:" + port, constant});
    });
    ASSERT_TRUE(server.waitForLog(" queued: 1 clients wait for a connection", 60s));

    server.signal(SIGQUIT);
    ASSERT_TRUE(server.waitForLog(" qxsim: draining: 1 connections open, closing within 60 s", 60s));
    EXPECT_EQ(TestSupport::healthCheck(server.healthPort()), k_draining);
    Subprocess::Result const late = TestSupport::runQxrun(m_directory, m_directory.path(),
                                                          {"--host", "127.0.0.1:" + port, "constant.qxx"});
    EXPECT_EQ(late.out, TestSupport::connectFailureOut("127.0.0.1:" + port,
                                                       "simulator not available: cannot connect to 127.0.0.1 "
                                                       "port " +
                                                           port + ": connect: Connection refused"));
    EXPECT_EQ(late.err, "");
    EXPECT_EQ(late.exit_status, 0);

    EXPECT_EQ(client.semaphoreSignal(1), Protocol::k_ok) << client.lastError();
    EXPECT_EQ(client.waitOnTerminate(), Protocol::k_ok) << client.lastError();
    int32_t value = 0;
    EXPECT_EQ(client.returnValue(value), Protocol::k_ok);
    EXPECT_EQ(value, 7);
    client.close();
    Subprocess::Result const served = queued.get();
    EXPECT_EQ(served.out, "Return value = 42\n");
    EXPECT_EQ(served.err, "");
    EXPECT_EQ(served.exit_status, 1);
    EXPECT_EQ(server.waitForExit(60s), 0);
    EXPECT_EQ(server.restOfOutput(), "");
    EXPECT_TRUE(server.waitForLog(" qxsim: drained: every connection closed", 0s));
}

// qxrun's run does not end and holds the only slot, while a second qxrun
// waits in the queue: the grace (or a grace of 0 at once) ends the run as
// a stop does, the queued qxrun gets the stop's error, and the server
// exits 0.
TEST_F(QxsimTest, DrainGraceEndsARunThatDoesNotFinish) {
    std::string const endless = TestSupport::assembleProgram(m_directory, "endless", k_endless);
    struct Case {
        char const* grace;
        char const* log;
    } const cases[] = {
        {"1", " qxsim: drain grace of 1 s over: closing 1 connections"},
        {"0", " qxsim: drain grace of 0 s over: closing 1 connections"},
    };
    for (Case const& c : cases) {
        BackgroundServer server(QXSIM_PATH, m_directory.path(),
                                {"--verbose", "--max-connections", "1", "--drain-grace", c.grace});
        ASSERT_NE(server.port(), 0) << server.firstLine();
        std::string const at = "127.0.0.1:" + std::to_string(server.port());
        auto run = std::async(std::launch::async, [&] {
            return TestSupport::runQxrun(m_directory, m_directory.path(), {"--host", at, endless});
        });
        EXPECT_TRUE(server.waitForLog("run of endless.qxx started", 60s)) << c.grace;
        auto queued = std::async(std::launch::async, [&] {
            return TestSupport::runQxrun(m_directory, m_directory.path(), {"--host", at, endless});
        });
        EXPECT_TRUE(server.waitForLog(" queued: 1 clients wait for a connection", 60s)) << c.grace;
        server.signal(SIGQUIT);
        Subprocess::Result const result = run.get();
        EXPECT_EQ(result.out, "Return value = 0\n") << c.grace;
        EXPECT_EQ(result.err, "qxapi: chip 0: fault: lost the simulator server at " + at +
                                  ": the simulator server is shutting down\n")
            << c.grace;
        EXPECT_EQ(result.exit_status, 1) << c.grace;
        Subprocess::Result const refused = queued.get();
        EXPECT_EQ(refused.out,
                  TestSupport::connectFailureOut(at, "simulator not available: " + at +
                                                         " refused: the simulator server is shutting down"))
            << c.grace;
        EXPECT_EQ(refused.err, "") << c.grace;
        EXPECT_EQ(refused.exit_status, 0) << c.grace;
        EXPECT_EQ(server.waitForExit(60s), 0) << c.grace;
        EXPECT_TRUE(server.waitForLog(c.log, 0s)) << c.grace;
        std::remove(m_directory.file("qxsim.log").c_str());
    }
}

// The grace is an hour: only SIGTERM can end the run within the test's
// deadlines; a second SIGQUIT changes nothing.
TEST_F(QxsimTest, SigtermDuringADrainStopsAtOnce) {
    BackgroundServer server(QXSIM_PATH, m_directory.path(), {"--drain-grace", "3600"});
    ASSERT_NE(server.port(), 0) << server.firstLine();
    Protocol::SimClient client;
    startRun(client, server.port(), k_endless);
    server.signal(SIGQUIT);
    ASSERT_TRUE(server.waitForLog(" qxsim: draining: 1 connections open, closing within 3600 s", 60s));
    server.signal(SIGQUIT);
    server.signal(SIGTERM);
    EXPECT_EQ(client.waitOnTerminate(), Protocol::k_err_shutdown);
    EXPECT_EQ(server.waitForExit(60s), 0);
    std::string const log = m_directory.read("qxsim.log");
    EXPECT_EQ(log.find(" qxsim: drained"), std::string::npos) << log;
    EXPECT_EQ(log.find(" qxsim: draining", log.find(" qxsim: draining") + 1), std::string::npos) << log;
    EXPECT_NE(log.find(" qxsim: stopping: closing 1 connections\n"), std::string::npos) << log;
}

TEST_F(QxsimTest, AHealthPortInUseStopsTheServerAtStart) {
    BackgroundServer other(QXSIM_PATH, m_directory.path());
    ASSERT_NE(other.port(), 0) << other.firstLine();
    std::string const taken = std::to_string(other.port());
    Subprocess::Result const result = qxsim().args({"--port", "0", "--health-port", taken}).run();
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "qxsim: cannot listen on 127.0.0.1 port " + taken +
                              ": Address already in use (health checks)\n");
    EXPECT_EQ(result.exit_status, 2);
}

}  // namespace
