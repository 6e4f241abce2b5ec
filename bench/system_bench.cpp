// Building the system model from generated configurations of 16, 256 and
// 4096 nodes, each node a VORN with 40 keys in its section, reported as
// nodes per second. Two layouts: 16 nodes per chip, and all nodes on one
// chip (where any per-chip work that is quadratic in the node count shows).
//
// What is measured:
// - BM_BuildChips: the chips (each building its nodes: section
//   extraction, node type, asm and abi subsets) against an option set
//   made once per configuration through the public constructor. Chips are
//   released outside the timed region. This is the work of the system
//   model apart from reading its seven system keys. Its counters
//   model_B_per_node (the heap the chips, nodes and their property sets
//   take, per node) and options_B_per_node (the heap of the option set
//   holding the configuration, per node) show the memory of each.
// - BM_BuildSystemInChild: System::getInstance() as a tool calls it. The
//   system is a process singleton, so each iteration forks a child that
//   inherits the option set, times the first getInstance() and sends the
//   time back; fork and exit are not part of the figure.
// - BM_CopyKeysBaseline: the least any build must do, setting the same
//   number of keys into one store; the ratio to it shows the overhead of
//   the model per key.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "configuration/CommandOptions.h"
#include "configuration/Properties.h"
#include "systemdefinition/Chip.h"
#include "systemdefinition/System.h"

namespace {

int const s_keys_per_node = 40;

// The architecture keys of a node's section; with node-type, two asm keys
// and one abi key they make 40.
char const* const s_arch_keys[] = {
    "total-number-pes = 64",
    "number-pio = 1",
    "number-sio = 1",
    "mono-stack-size = 4096",
    "mono-heap-size = 8192",
    "poly-stack-size = 256",
    "mono-memory-size = 65536",
    "mono-memory-start = 0",
    "mono-registers-size = 128",
    "poly-memory-size = 4096",
    "poly-registers-size = 128",
    "enable-stack-size = 32",
    "number-semaphores = 8",
    "number-threads = 4",
    "mono-alignment = 2",
    "poly-alignment = 2",
    "mono-stack-alignment = 8",
    "poly-stack-alignment = 8",
    "instruction-set = tev",
    "instruction-size = 8",
    "register-natural-align = 1",
    "memory-natural-align = 1",
    "gsu-address = 0x4000",
    "PIO-flush-left[] = 1,2",
    "PIO-flush-right[] = 3,4",
    "name = demo",
    "memory-proximity[] = 0,1",
    "endianness = little",
    "pes-per-processor = 64",
    "number_processors = 1",
    "number-configured-pes = 64",
    "trace.level = 0",
    "trace.buffer = 4096",
    "clock.mhz = 250",
    "asm.level = 2",
    "asm.macros = none",
    "abi.level = 1",
    "debug.port = 0",
    "debug.enabled = off",
};

// Bytes allocated from the heap and not yet released.
std::size_t heapInUse() {
    struct mallinfo2 const info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

struct Layout {
    int nodes;
    int nodes_per_chip;
    int chips() const { return (nodes + nodes_per_chip - 1) / nodes_per_chip; }
};

std::string chipName(int chip) {
    return "chip" + std::to_string(chip);
}

std::string generateConfiguration(Layout const& layout) {
    std::string text = "system.interrupt-target = 0\nsystem.chip-id-size = 8\nsystem.node-id-size = 16\n";
    text += "chip-id = 0\nnode-id = 0\n";
    std::string chips, chipIDs;
    for (int chip = 0; chip < layout.chips(); ++chip) {
        chips += (chip ? "," : "") + chipName(chip);
        chipIDs += (chip ? "," : "") + std::to_string(chip);
        int first = chip * layout.nodes_per_chip;
        int count = std::min(layout.nodes_per_chip, layout.nodes - first);
        std::string nodes, nodeIDs;
        for (int node = 0; node < count; ++node) {
            std::string section = "system." + chipName(chip) + ".core" + std::to_string(node) + ".";
            nodes += (node ? ",core" : "core") + std::to_string(node);
            nodeIDs += (node ? "," : "") + std::to_string(node);
            text += section + "node-type = vorn\n";
            for (char const* key : s_arch_keys) text += section + key + "\n";
        }
        text += "system." + chipName(chip) + ".nodes[] = " + nodes + "\n";
        text += "system." + chipName(chip) + ".node-ids[] = " + nodeIDs + "\n";
    }
    return text + "system.chips[] = " + chips + "\nsystem.chip-ids[] = " + chipIDs + "\n";
}

// The generated configuration as the process-wide option set, made through
// the public constructor so that each configuration gets a fresh one and
// the previous one is released.
class OptionSetFor {
public:
    explicit OptionSetFor(Layout const& layout) {
        char pattern[] = "/tmp/qx_system_bench_XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        m_dir = pattern;
        m_path = m_dir + "/target_device.cfg";
        std::ofstream(m_path) << generateConfiguration(layout);
        static char program[] = "system_bench";
        static char* argv[] = {program, nullptr};
        int argc = 1;
        std::size_t const before = heapInUse();
        m_options = std::make_unique<Configuration::CommandOptions>(argc, argv, m_path.c_str(), nullptr);
        m_heap = heapInUse() - before;
        Configuration::the_command_options = m_options.get();
    }
    // The heap the option set took when it was made.
    std::size_t heap() const { return m_heap; }
    ~OptionSetFor() {
        Configuration::the_command_options = nullptr;
        std::remove(m_path.c_str());
        rmdir(m_dir.c_str());
    }

private:
    std::string m_dir;
    std::string m_path;
    std::unique_ptr<Configuration::CommandOptions> m_options;
    std::size_t m_heap = 0;
};

Layout layoutOf(benchmark::State const& state) {
    return Layout{static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
}

void reportNodes(benchmark::State& state, Layout const& layout) {
    state.counters["nodes/s"] =
        benchmark::Counter(double(layout.nodes) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["keys"] = double(layout.nodes) * s_keys_per_node;
}

void BM_BuildChips(benchmark::State& state) {
    Layout const layout = layoutOf(state);
    OptionSetFor options(layout);
    std::size_t model = 0;
    for (auto _ : state) {
        std::size_t const before = heapInUse();
        std::vector<std::unique_ptr<SystemDefinition::Chip>> chips;
        for (int chip = 0; chip < layout.chips(); ++chip) {
            chips.push_back(std::make_unique<SystemDefinition::Chip>(chipName(chip), chip));
        }
        benchmark::DoNotOptimize(chips.data());
        state.PauseTiming();
        model = std::max(model, heapInUse() - before);
        chips.clear();
        state.ResumeTiming();
    }
    reportNodes(state, layout);
    state.counters["model_B_per_node"] = double(model) / layout.nodes;
    state.counters["options_B_per_node"] = double(options.heap()) / layout.nodes;
}

// The seconds the first System::getInstance() takes in a forked child.
double timeSystemBuildInChild() {
    int fds[2];
    if (pipe(fds) != 0) std::abort();
    pid_t child = fork();
    if (child == 0) {
        auto start = std::chrono::steady_clock::now();
        SystemDefinition::System* system = SystemDefinition::System::getInstance();
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        benchmark::DoNotOptimize(system);
        double seconds = elapsed.count();
        _exit(write(fds[1], &seconds, sizeof seconds) == sizeof seconds ? 0 : 1);
    }
    close(fds[1]);
    double seconds = -1;
    bool received = read(fds[0], &seconds, sizeof seconds) == sizeof seconds;
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
    return seconds;
}

void BM_BuildSystemInChild(benchmark::State& state) {
    Layout const layout = layoutOf(state);
    OptionSetFor options(layout);
    for (auto _ : state) state.SetIterationTime(timeSystemBuildInChild());
    reportNodes(state, layout);
}

void BM_CopyKeysBaseline(benchmark::State& state) {
    Layout const layout = layoutOf(state);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int node = 0; node < layout.nodes; ++node) {
        for (int key = 0; key < s_keys_per_node; ++key) {
            pairs.emplace_back("node" + std::to_string(node) + ".key" + std::to_string(key), "4096");
        }
    }
    for (auto _ : state) {
        Configuration::Properties store;
        for (auto const& pair : pairs) store.set(pair.second, pair.first.c_str(), nullptr);
        benchmark::DoNotOptimize(store);
    }
    reportNodes(state, layout);
}

void layouts(benchmark::internal::Benchmark* b) {
    for (int nodes : {16, 256, 4096}) b->Args({nodes, 16});
    for (int nodes : {256, 4096}) b->Args({nodes, nodes});
    b->ArgNames({"nodes", "per_chip"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_CopyKeysBaseline)->Apply(layouts);
BENCHMARK(BM_BuildChips)->Apply(layouts);
BENCHMARK(BM_BuildSystemInChild)->Apply(layouts)->UseManualTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
