// The farm of docs/farm.md on this machine: four qxsim servers on free
// loopback ports behind HAProxy, configured by docs/farm/haproxy.cfg
// itself (see HaproxyConfig.h for the few lines a test run changes).
// The real qxrun connects to the balancer, as users' scripts do, and its
// standard output, standard error and exit status are compared exactly.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/farm/FarmProcesses.h"
#include "tests/farm/HaproxyConfig.h"
#include "tests/support/DirectoryChanges.h"
#include "tests/support/KitRuns.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"

namespace {

using FarmTest::Balancer;
using FarmTest::FarmServer;
using TestSupport::readFile;
using TestSupport::Subprocess;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

int const k_servers = 4;
// qxsim's --max-connections, equal to "maxconn" of the configuration's
// server lines.
char const* const k_max_connections = "2";
int const k_balancer_attempts = 5;

// A run long enough to be caught in progress: about a second of
// simulation, in either build, returning its iteration count.
#ifdef QX_KIT_SANITIZED
long const k_long_iterations = 50000000;
#else
long const k_long_iterations = 250000000;
#endif

std::string longSource() {
    return "        li r1, 0\n"
           "        li r2, " +
           std::to_string(k_long_iterations) +
           "\n"
           "loop:   addi r1, r1, 1\n"
           "        addi r2, r2, -1\n"
           "        bnez r2, loop\n"
           "        halt r1\n";
}

std::string longOut() {
    return "Return value = " + std::to_string(k_long_iterations) + "\n";
}

// Log lines of qxsim: a run has started (--verbose), a run has ended
// ("run of NAME.qxx started", "run of NAME.qxx (SIZE bytes): ...").
char const* const k_run_started = ".qxx started";
char const* const k_run_ended = ".qxx (";
char const* const k_run_halted = ": halted, return value ";

struct Job {
    std::string program;
    std::string out;
};

class Farm : public ::testing::Test {
protected:
    void SetUp() override {
        if (FarmTest::haproxyPath().empty())
            GTEST_SKIP() << "haproxy is not installed (Debian package haproxy); the farm is not tested";
        // Every process of the farm logs into the directory: what a test
        // waits for shows there first.
        m_changes = std::make_unique<TestSupport::DirectoryChanges>(m_directory.path());
        m_directory.write("target_device.cfg",
                          readFile(std::string(QX_KIT_EXAMPLES_DIR) + "/target_device.cfg"));
        for (int i = 1; i <= k_servers; ++i) {
            m_servers.push_back(std::make_unique<FarmServer>(
                QXSIM_PATH, m_directory.path(), m_directory.file("sim" + std::to_string(i) + ".log"),
                std::vector<std::string>{"--max-connections", k_max_connections}));
            ASSERT_EQ(m_servers.back()->startError(), "");
        }
        ASSERT_NO_FATAL_FAILURE(startBalancer());
        ASSERT_TRUE(waitFor([this] { return serversUp() == k_servers; }))
            << m_balancer->command("show stat\n");
    }

    // HAProxy on a port that was free when it was chosen; another port when
    // someone took it in between.
    void startBalancer() {
        std::string const text = readFile(std::string(QX_SOURCE_DIR) + "/docs/farm/haproxy.cfg");
        ASSERT_NE(text.find(std::string(" maxconn ") + k_max_connections + " "), std::string::npos)
            << "the servers' maxconn is no longer qxsim's --max-connections of this test";
        for (int attempt = 0; attempt < k_balancer_attempts; ++attempt) {
            uint16_t const port = FarmTest::freeLoopbackPort();
            FarmTest::FarmAddresses addresses{
                "127.0.0.1:" + std::to_string(port), m_directory.file("admin.sock"), {}};
            for (auto const& server : m_servers)
                addresses.servers.push_back(
                    {"127.0.0.1:" + std::to_string(server->port()), server->healthPort()});
            std::string config, error;
            ASSERT_TRUE(FarmTest::localConfiguration(text, addresses, config, error)) << error;
            m_balancer = std::make_unique<Balancer>(m_directory.write("haproxy.cfg", config),
                                                    addresses.statsSocket, m_directory.file("haproxy.log"));
            if (m_balancer->waitUntilReady(60s)) {
                m_port = port;
                return;
            }
            ASSERT_NE(m_balancer->log().find("cannot bind"), std::string::npos) << m_balancer->log();
        }
        FAIL() << "no free port for haproxy in " << k_balancer_attempts << " attempts";
    }

    // Waits until condition holds, checking it whenever a log of the farm
    // grows.
    bool waitFor(std::function<bool()> const& condition, std::chrono::milliseconds limit = 120s) const {
        return m_changes->waitFor(condition, limit);
    }

    // A server's state as HAProxy's last log line of its checks gives it
    // ("Health check for server qxsim/sim2 succeeded, ... status: 2/2 UP.",
    // "Server qxsim/sim2 is DOWN. ..."): "UP", "DOWN", or empty before
    // its first check.
    std::string checkedState(size_t server) const {
        std::string const log = m_balancer->log();
        size_t const at = log.rfind("qxsim/sim" + std::to_string(server + 1) + " ");
        if (at == std::string::npos) return std::string();
        std::string const line = log.substr(at, log.find('\n', at) - at);
        if (line.find(" DOWN") != std::string::npos) return "DOWN";
        return line.find(" UP") != std::string::npos ? "UP" : std::string();
    }

    // Servers that HAProxy has seen pass their health check.
    int serversUp() const {
        int up = 0;
        for (size_t i = 0; i < m_servers.size(); ++i) up += checkedState(i) == "UP" ? 1 : 0;
        return up;
    }

    std::string program(std::string const& name, std::string const& source = std::string()) const {
        return TestSupport::assembleProgram(m_directory, name, source);
    }

    Subprocess::Result run(std::string const& program) const {
        return TestSupport::runQxrun(m_directory, m_directory.path(), {"--host", balancer(), program});
    }

    // Every sample program, count runs in turn.
    std::vector<Job> sampleJobs(int count) const {
        std::vector<Job> samples;
        for (TestSupport::ExampleResult const& sample : TestSupport::k_exampleResults)
            samples.push_back({program(sample.name), sample.out});
        std::vector<Job> jobs;
        for (int i = 0; i < count; ++i) jobs.push_back(samples[size_t(i) % samples.size()]);
        return jobs;
    }

    // Runs the jobs from parallel clients; what went wrong, one line per
    // wrong run.
    std::vector<std::string> runAll(std::vector<Job> const& jobs, int clients) const {
        std::atomic<size_t> next{0};
        std::mutex mutex;
        std::vector<std::string> wrong;
        std::vector<std::thread> threads;
        for (int client = 0; client < clients; ++client)
            threads.emplace_back([&] {
                for (size_t i; (i = next++) < jobs.size();) {
                    Subprocess::Result const result = run(jobs[i].program);
                    if (result.out == jobs[i].out && result.err.empty() && result.exit_status == 1) continue;
                    std::lock_guard<std::mutex> lock(mutex);
                    wrong.push_back("run " + std::to_string(i) + ": status " +
                                    std::to_string(result.exit_status) + ", out: " + result.out +
                                    ", err: " + result.err);
                }
            });
        for (std::thread& thread : threads) thread.join();
        return wrong;
    }

    // Long runs, each from a client of its own.
    std::vector<std::future<Subprocess::Result>> startLongRuns(int count) const {
        std::string const path = program("long", longSource());
        std::vector<std::future<Subprocess::Result>> runs;
        for (int i = 0; i < count; ++i)
            runs.push_back(std::async(std::launch::async, [this, path] { return run(path); }));
        return runs;
    }

    static size_t runsInProgress(FarmServer const& server) {
        return server.count(k_run_started) - server.count(k_run_ended);
    }

    size_t runsStarted() const {
        size_t started = 0;
        for (auto const& server : m_servers) started += server->count(k_run_started);
        return started;
    }

    // The index of the server with the most runs in progress.
    size_t busiest() const {
        size_t busiest = 0;
        for (size_t i = 0; i < m_servers.size(); ++i)
            if (runsInProgress(*m_servers[i]) > runsInProgress(*m_servers[busiest])) busiest = i;
        return busiest;
    }

    std::string runCounts() const {
        std::string counts;
        std::vector<FarmTest::StatRow> const rows = m_balancer->servers("qxsim");
        for (size_t i = 0; i < m_servers.size(); ++i) {
            counts += (counts.empty() ? "" : ", ") + std::string("sim") + std::to_string(i + 1) + " " +
                      std::to_string(m_servers[i]->count(k_run_halted)) + " runs";
            if (i < rows.size()) counts += " (" + rows[i].at("stot") + " sessions)";
        }
        return counts;
    }

    size_t haltedRuns() const {
        size_t halted = 0;
        for (auto const& server : m_servers) halted += server->count(k_run_halted);
        return halted;
    }

    // The balancer's address, as clients give it to qxrun --host.
    std::string balancer() const { return "127.0.0.1:" + std::to_string(m_port); }

    std::string lostServerError() const {
        return "qxapi: chip 0: fault: lost the simulator server at " + balancer() +
               ": the simulator server closed the connection\n";
    }

    // Declared first, removed last: the processes end before their files go.
    TemporaryDirectory m_directory;
    std::unique_ptr<TestSupport::DirectoryChanges> m_changes;
    std::vector<std::unique_ptr<FarmServer>> m_servers;
    std::unique_ptr<Balancer> m_balancer;
    uint16_t m_port = 0;
};

TEST_F(Farm, RunsAreSpreadOverEveryServerAndEachGetsItsOwnValue) {
    int const runs = 400;
    EXPECT_EQ(runAll(sampleJobs(runs), 32), std::vector<std::string>());
    // A server logs a run as it ends, as its client reads the result.
    EXPECT_TRUE(waitFor([&] { return haltedRuns() == size_t(runs); })) << runCounts();
    std::cout << "runs per server: " << runCounts() << std::endl;
    RecordProperty("runs_per_server", runCounts());
    for (auto const& server : m_servers) EXPECT_GT(server->count(k_run_halted), 0u) << runCounts();
}

TEST_F(Farm, KilledServerFailsTheRunsItHeldAndLaterRunsGoToTheOthers) {
    // One more than servers: leastconn gives one of them two.
    int const longRuns = k_servers + 1;
    auto held = startLongRuns(longRuns);
    ASSERT_TRUE(waitFor([&] { return runsStarted() == size_t(longRuns); })) << runCounts();
    FarmServer& victim = *m_servers[busiest()];
    victim.signal(SIGKILL);
    ASSERT_TRUE(victim.waitForEnd(60s));
    size_t const lost = runsInProgress(victim);
    EXPECT_GE(lost, 1u);

    int const later = 40;
    size_t const before = haltedRuns();
    EXPECT_EQ(runAll(sampleJobs(later), 8), std::vector<std::string>());

    size_t failed = 0;
    for (auto& run : held) {
        Subprocess::Result const result = run.get();
        EXPECT_EQ(result.exit_status, 1);
        if (result.err.empty()) {
            EXPECT_EQ(result.out, longOut());
            continue;
        }
        ++failed;
        EXPECT_EQ(result.out, "Return value = 0\n");
        EXPECT_EQ(result.err, lostServerError());
    }
    EXPECT_EQ(failed, lost);
    std::cout << "the killed server held " << lost << " runs; " << failed
              << " failed with the lost-server fault" << std::endl;
    EXPECT_TRUE(waitFor([&] { return haltedRuns() == before + later + (longRuns - lost); })) << runCounts();
    std::cout << "after the kill: " << runCounts() << std::endl;
}

TEST_F(Farm, DrainedServerFinishesItsRunsTakesNoNewOnesAndExits) {
    // One more than servers: leastconn gives one of them two.
    int const longRuns = k_servers + 1;
    auto held = startLongRuns(longRuns);
    ASSERT_TRUE(waitFor([&] { return runsStarted() == size_t(longRuns); })) << runCounts();
    size_t const drained = busiest();
    FarmServer& victim = *m_servers[drained];
    size_t const heldByVictim = runsInProgress(victim);
    victim.signal(SIGQUIT);
    // Its health check fails from now on.
    EXPECT_TRUE(waitFor([&] { return checkedState(drained) == "DOWN"; })) << m_balancer->log();

    int const later = 40;
    EXPECT_EQ(runAll(sampleJobs(later), 8), std::vector<std::string>());
    for (auto& run : held) {
        Subprocess::Result const result = run.get();
        EXPECT_EQ(result.out, longOut());
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exit_status, 1);
    }
    std::optional<int> const status = victim.waitForEnd(120s);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;

    std::string const log = victim.log();
    size_t const drainStart = log.find(" qxsim: draining: ");
    ASSERT_NE(drainStart, std::string::npos) << log;
    std::string const afterDrain = log.substr(drainStart);
    EXPECT_EQ(afterDrain.find(" opened\n"), std::string::npos) << log;
    EXPECT_NE(afterDrain.find(" qxsim: drained: every connection closed\n"), std::string::npos) << log;
    EXPECT_EQ(victim.count(k_run_halted), victim.count(k_run_started)) << log;
    EXPECT_GE(heldByVictim, 1u);
    std::cout << "the drained server finished the " << heldByVictim
              << " runs it held; after the drain: " << runCounts() << std::endl;
}

TEST_F(Farm, EveryServerDownGivesTheConnectError) {
    for (auto& server : m_servers) {
        server->signal(SIGKILL);
        ASSERT_TRUE(server->waitForEnd(60s));
    }
    Subprocess::Result const result = run(program("constant"));
    EXPECT_EQ(result.out, TestSupport::connectFailureOut(
                              balancer(),
                              "simulator not available: handshake failed: the simulator server closed the "
                              "connection"));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
