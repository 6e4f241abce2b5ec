// Reading configuration text into a property store, reported as lines per
// second for generated texts of 10^3 to 10^6 lines.
//
// What is measured:
// - BM_ReadText: Properties::readText of the whole text into a new store,
//   the path every configuration file takes.
// - BM_SplitLinesBaseline: the least any reader must do with the same
//   text: std::getline over a string stream, find "=", insert name and
//   value into a std::map. The ratio of the two is the reader's overhead
//   for its format rules (trimming, comments, continuations, list
//   declarations, environment references, duplicate checks).
//
// - BM_LoaderReading and BM_HostLibraryReading: the two readings of a
//   generated target_device.cfg of N VORN nodes (16 per chip, each with
//   every key of the example's processor node) that `qxrun --sim` makes:
//   the framework's, which keeps the whole configuration
//   (loadConfigurationFiles, as the option set reads it), and the host
//   library's, which needs only the default node (NodeConfiguration::read).
//
// Releasing the result is not timed, and the heap is trimmed after it:
// glibc's allocator otherwise hands out ever more scattered blocks when a
// large tree is built and freed over and over, and each iteration would
// run slower than the last for reasons no reader of a configuration sees.
//
// The text is a realistic mix: mostly plain pairs with dotted names, every
// tenth line a list declaration, a comment every fiftieth, and one line in
// a hundred each continued onto a second line or holding a $(HOME)
// reference.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ExampleNodeKeys.h"
#include "configuration/Properties.h"
#include "configuration/SystemConfiguration.h"
#include "hostlib/NodeConfiguration.h"

namespace {

struct Text {
    std::string text;
    long lines = 0;
};

Text generate(long wanted) {
    Text out;
    std::string& text = out.text;
    for (long i = 0; out.lines < wanted; ++i) {
        std::string const name = "system.chip" + std::to_string(i / 64) + ".node" + std::to_string(i % 64);
        if (i % 50 == 0) {
            text += "# settings of " + name + "\n";
        } else if (i % 10 == 1) {
            text += name + ".memory-sizes[,] = 4096, 8192, 16384, 0x8000\n";
        } else if (i % 100 == 2 && out.lines + 2 <= wanted) {
            text += name + ".banner = first part of a long value \\\n        second part\n";
            ++out.lines;
        } else if (i % 100 == 3) {
            text += name + ".work-dir = $(HOME)/work/" + std::to_string(i) + "\n";
        } else {
            text += name + ".clock-frequency = " + std::to_string(1000 + i) + "\n";
        }
        ++out.lines;
    }
    return out;
}

// Texts are made once per size, outside the timed region.
Text const& textOf(long lines) {
    static std::map<long, Text> s_texts;
    auto found = s_texts.find(lines);
    if (found == s_texts.end()) found = s_texts.emplace(lines, generate(lines)).first;
    return found->second;
}

// Frees the result outside the timed region and leaves the heap as fresh
// as at the first iteration.
template <class Result>
void releaseUntimed(benchmark::State& state, Result& result) {
    state.PauseTiming();
    result.reset();
    malloc_trim(0);
    state.ResumeTiming();
}

void report(benchmark::State& state, Text const& text) {
    state.counters["lines_per_second"] =
        benchmark::Counter(static_cast<double>(text.lines), benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<long>(state.iterations()) * static_cast<long>(text.text.size()));
}

void BM_ReadText(benchmark::State& state) {
    Text const& text = textOf(state.range(0));
    for (auto _ : state) {
        auto store = std::make_unique<Configuration::Properties>();
        bool const ok = store->readText(text.text);
        benchmark::DoNotOptimize(ok);
        if (!ok) state.SkipWithError("the generated text did not read");
        releaseUntimed(state, store);
    }
    report(state, text);
}

void BM_SplitLinesBaseline(benchmark::State& state) {
    Text const& text = textOf(state.range(0));
    for (auto _ : state) {
        auto pairs = std::make_unique<std::map<std::string, std::string>>();
        std::istringstream in(text.text);
        std::string line;
        while (std::getline(in, line)) {
            std::size_t const divider = line.find('=');
            if (divider == std::string::npos) continue;
            pairs->emplace(line.substr(0, divider), line.substr(divider + 1));
        }
        benchmark::DoNotOptimize(pairs->size());
        releaseUntimed(state, pairs);
    }
    report(state, text);
}

// The key lines of the example's processor node, without their prefix.
std::vector<std::string> exampleNodeKeys() {
    return Bench::exampleNodeKeys(QX_SOURCE_DIR);
}

// A directory holding target_device.cfg of `nodes` nodes (the layout of
// e2e_bench's BM_StartupByConfigSize) and an empty home directory.
class NodesConfiguration {
public:
    explicit NodesConfiguration(int nodes) {
        char pattern[] = "/tmp/qx_properties_bench_XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        m_dir = pattern;
        std::ofstream out(file());
        int const chips = std::max(1, nodes / 16);
        std::string chipNames, chipIDs;
        for (int chip = 0; chip < chips; ++chip) {
            chipNames += (chip ? ",chip" : "chip") + std::to_string(chip);
            chipIDs += (chip ? "," : "") + std::to_string(chip);
        }
        out << "system.chips[] = " << chipNames << "\nsystem.chip-ids[] = " << chipIDs
            << "\nsystem.interrupt-target = 0\nsystem.chip-id-size = 16\nsystem.node-id-size = 4\n"
            << "chip-id = 0\nnode-id = 0\n";
        std::vector<std::string> const keys = exampleNodeKeys();
        for (int chip = 0; chip < chips; ++chip) {
            std::string const chipPrefix = "system.chip" + std::to_string(chip) + ".";
            out << chipPrefix << "nodes[] = core0";
            for (int node = 1; node < 16; ++node) out << ",core" << node;
            out << "\n" << chipPrefix << "node-ids[] = 0";
            for (int node = 1; node < 16; ++node) out << "," << node;
            out << "\n";
            for (int node = 0; node < 16; ++node) {
                for (std::string const& key : keys) out << chipPrefix << "core" << node << "." << key << "\n";
            }
        }
    }
    ~NodesConfiguration() {
        std::remove(file().c_str());
        rmdir(m_dir.c_str());
    }
    std::string const& directory() const { return m_dir; }
    std::string file() const { return m_dir + "/target_device.cfg"; }

private:
    std::string m_dir;
};

// QXPATH at the configuration, HOME at a directory without one.
void findConfigurationIn(NodesConfiguration const& configuration) {
    setenv("QXPATH", configuration.directory().c_str(), 1);
    setenv("HOME", "/nonexistent", 1);
}

void reportNodes(benchmark::State& state, NodesConfiguration const& configuration) {
    std::ifstream in(configuration.file(), std::ios::ate);
    state.SetBytesProcessed(static_cast<long>(state.iterations()) * static_cast<long>(in.tellg()));
    state.counters["nodes"] = double(state.range(0));
}

void BM_LoaderReading(benchmark::State& state) {
    NodesConfiguration const configuration(int(state.range(0)));
    findConfigurationIn(configuration);
    for (auto _ : state) {
        auto files = std::make_unique<Configuration::ConfigurationFiles>();
        std::string error;
        if (!Configuration::loadConfigurationFiles(nullptr, *files, error))
            state.SkipWithError(error.c_str());
        releaseUntimed(state, files);
    }
    reportNodes(state, configuration);
}

void BM_HostLibraryReading(benchmark::State& state) {
    NodesConfiguration const configuration(int(state.range(0)));
    findConfigurationIn(configuration);
    for (auto _ : state) {
        Simulator::ProcessorConfig config;
        std::string source;
        std::string error;
        if (!HostLib::NodeConfiguration::read(config, source, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(config);
    }
    reportNodes(state, configuration);
}

}  // namespace

BENCHMARK(BM_LoaderReading)->RangeMultiplier(4)->Range(1024, 4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HostLibraryReading)->RangeMultiplier(4)->Range(1024, 4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadText)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitLinesBaseline)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
