// Runs per second through HAProxy beside the same clients connected to
// the qxsim server directly, in one run: the balancer's cost per run.
//
// One qxsim (the build's, on a free loopback port) serves both; HAProxy
// runs docs/farm/haproxy.cfg as the farm test does, its four server lines
// all naming that qxsim, so that qxsim's --max-connections 8 equals the
// balancer's four times maxconn 2 and no client waits in either queue.
// Each run is what qxrun --host does: a fresh connection, load, run, wait,
// return value, close, of a program of a few dozen instructions, from one
// client and from 8 client threads.
// After the table: the ratio of the rates and the time HAProxy adds to a
// run.
#include "BenchProgram.h"
#include "SummaryReporter.h"
#include "protocol/SimClient.h"
#include "tests/farm/FarmProcesses.h"
#include "tests/farm/HaproxyConfig.h"
#include "tests/support/TemporaryDirectory.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

using Bench::k_expected;
using Bench::programBytes;

using namespace std::chrono_literals;

int const k_clients = 8;
int const k_config_servers = 4;

std::string readFile(std::string const& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The server and the balancer, started at the first benchmark and ended
// at exit.
class BenchFarm {
public:
    BenchFarm() {
        m_directory.write("target_device.cfg",
                          readFile(std::string(QX_SOURCE_DIR) + "/examples/target_device.cfg"));
        m_server = std::make_unique<FarmTest::FarmServer>(
            QXSIM_PATH, m_directory.path(), m_directory.file("qxsim.log"),
            std::vector<std::string>{"--max-connections", std::to_string(k_clients)});
        if (!m_server->startError().empty()) {
            m_error = m_server->startError();
            return;
        }
        if (FarmTest::haproxyPath().empty()) {
            m_error = "haproxy is not installed (Debian package haproxy)";
            return;
        }
        startBalancer();
    }

    std::string const& error() const { return m_error; }
    uint16_t serverPort() const { return m_server->port(); }
    uint16_t balancerPort() const { return m_balancer_port; }

private:
    void startBalancer() {
        std::string const text = readFile(std::string(QX_SOURCE_DIR) + "/docs/farm/haproxy.cfg");
        for (int attempt = 0; attempt < 5; ++attempt) {
            uint16_t const port = FarmTest::freeLoopbackPort();
            FarmTest::FarmAddresses addresses{
                "127.0.0.1:" + std::to_string(port), m_directory.file("admin.sock"), {}};
            for (int i = 0; i < k_config_servers; ++i)
                addresses.servers.push_back(
                    {"127.0.0.1:" + std::to_string(m_server->port()), m_server->healthPort()});
            std::string config;
            if (!FarmTest::localConfiguration(text, addresses, config, m_error)) return;
            m_balancer =
                std::make_unique<FarmTest::Balancer>(m_directory.write("haproxy.cfg", config),
                                                     addresses.statsSocket, m_directory.file("haproxy.log"));
            if (m_balancer->waitUntilReady(60s)) {
                m_balancer_port = port;
                return;
            }
        }
        m_error = "haproxy did not start: " + m_balancer->log();
    }

    TestSupport::TemporaryDirectory m_directory;
    std::unique_ptr<FarmTest::FarmServer> m_server;
    std::unique_ptr<FarmTest::Balancer> m_balancer;
    uint16_t m_balancer_port = 0;
    std::string m_error;
};

BenchFarm& farm() {
    static BenchFarm s_farm;
    return s_farm;
}

// One run on a fresh connection, as qxrun --host makes it; "" or the error.
std::string oneRun(uint16_t port, std::vector<uint8_t> const& bytes) {
    Protocol::SimClient client;
    uint32_t handle = 0;
    int32_t value = 0;
    if (client.connect("127.0.0.1", port, "") != Protocol::k_ok ||
        client.loadImage("bench.qxx", bytes, handle) != Protocol::k_ok || client.run() != Protocol::k_ok ||
        client.waitOnTerminate() != Protocol::k_ok || client.returnValue(value) != Protocol::k_ok)
        return client.lastError();
    return value == k_expected ? std::string() : "wrong value " + std::to_string(value);
}

void runs(benchmark::State& state, bool throughBalancer) {
    BenchFarm& bench = farm();
    if (!bench.error().empty()) {
        state.SkipWithError(bench.error().c_str());
        return;
    }
    uint16_t const port = throughBalancer ? bench.balancerPort() : bench.serverPort();
    std::vector<uint8_t> const bytes = programBytes();
    for (auto _ : state) {
        std::string const error = oneRun(port, bytes);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Runs_Direct(benchmark::State& state) {
    runs(state, false);
}
void BM_Runs_ThroughHaproxy(benchmark::State& state) {
    runs(state, true);
}

BENCHMARK(BM_Runs_Direct)
    ->Threads(1)
    ->Threads(k_clients)
    ->UseRealTime()
    ->MinTime(2.0)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Runs_ThroughHaproxy)
    ->Threads(1)
    ->Threads(k_clients)
    ->UseRealTime()
    ->MinTime(2.0)
    ->Unit(benchmark::kMicrosecond);

// The console table, then for each client count the rate through HAProxy
// as a fraction of the direct rate, and the time it adds to a client's run.
class RatioReporter : public Bench::SummaryReporter {
protected:
    void collect(Run const& run) override {
        auto const rate = run.counters.find("items_per_second");
        if (rate != run.counters.end())
            m_rates[{run.run_name.function_name, run.threads}] = rate->second.value;
    }
    void summary() override {
        for (int clients : {1, k_clients}) ratio(clients);
    }

private:
    void ratio(int clients) {
        double const direct = m_rates[{"BM_Runs_Direct", clients}];
        double const balanced = m_rates[{"BM_Runs_ThroughHaproxy", clients}];
        if (direct > 0 && balanced > 0)
            std::printf(
                "%d clients: %.0f runs/s direct, %.0f runs/s through HAProxy: ratio %.2f, %.0f us more per "
                "run\n",
                clients, direct, balanced, balanced / direct, (clients / balanced - clients / direct) * 1e6);
    }

    std::map<std::pair<std::string, int>, double> m_rates;  // runs per second by benchmark and clients
};

}  // namespace

int main(int argc, char** argv) {
    RatioReporter reporter;
    return Bench::runBenchmarks(argc, argv, reporter);
}
