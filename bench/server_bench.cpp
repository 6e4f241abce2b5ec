// Runs per second of a short program through the qxsim server over the
// loopback address (load, run, wait, return value, as a host library
// does it) beside the same sequence on a ProcessorRunner in process; the
// ratio is the cost of the protocol, the sockets and the server.
#include "BenchProgram.h"
#include "protocol/SimClient.h"
#include "qxx/QxxReader.h"
#include "server/Server.h"
#include "simulator/ProcessorRunner.h"

#include <benchmark/benchmark.h>

#include <stdexcept>
#include <thread>

namespace {

using Bench::k_expected;
using Bench::programBytes;

void BM_RunThroughServer(benchmark::State& state) {
    SimServer::ServerLog log([](std::string const&) {});
    SimServer::ServerSettings settings;
    settings.port = 0;
    SimServer::Server server(settings, log);
    std::string error;
    if (!server.listen(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::thread serving([&] { server.serve(); });
    std::vector<uint8_t> const bytes = programBytes();
    Protocol::SimClient client;
    if (client.connect("127.0.0.1", server.port(), "") != Protocol::k_ok)
        state.SkipWithError("cannot connect");
    for (auto _ : state) {
        uint32_t handle = 0;
        int32_t value = 0;
        if (client.loadImage("bench.qxx", bytes, handle) != Protocol::k_ok ||
            client.run() != Protocol::k_ok || client.waitOnTerminate() != Protocol::k_ok ||
            client.returnValue(value) != Protocol::k_ok || value != k_expected) {
            state.SkipWithError(client.lastError().c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    client.close();
    server.stop();
    serving.join();
}
BENCHMARK(BM_RunThroughServer)->UseRealTime();

// The baseline: the same program's bytes parsed, loaded and run on a
// worker thread in this process.
void BM_RunInProcess(benchmark::State& state) {
    std::string error;
    Simulator::ProcessorRunner runner(Simulator::Processor::create(Simulator::ProcessorConfig(), error));
    std::vector<uint8_t> const bytes = programBytes();
    for (auto _ : state) {
        Qxx::QxxImage image;
        if (!Qxx::readQxx(bytes.data(), bytes.size(), image, error) ||
            !runner.processor().load(image, error) || !runner.start(Simulator::RunLimits(), error) ||
            runner.wait() != Simulator::ProcessorState::Halted ||
            runner.processor().returnValue() != k_expected) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RunInProcess)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
