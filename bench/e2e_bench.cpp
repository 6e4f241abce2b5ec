// End-to-end runs of qxrun as a user starts it, each run a child process
// timed from fork until wait4 reaps it (wall time), with its peak resident
// memory. The peak is the VmHWM of the program's own address space, read
// at its exit through ptrace: ru_maxrss from wait4 would also count the
// pages the child shared with this (larger) benchmark process between
// fork and exec, which hides the difference between two small programs.
//
// - BM_Loader/qxrun and BM_Loader/minimal_loader: "--sim constant.qxx"
//   through qxrun and through bench/minimal_loader.c, which makes the same
//   host API calls without the framework. After the table, the ratios
//   qxrun / minimal loader of wall time and peak memory are printed.
// - BM_StartupByConfigSize/N: qxrun "--sim constant.qxx" with a generated
//   target_device.cfg of N nodes (16 per chip, each with every key of the
//   example's processor node), i.e. how start-up grows with the
//   configuration the framework reads, models and checks.
//
// Both programs find target_device.cfg along QXPATH (the host library
// reads it too) and the host library in the build's lib/ directory; HOME
// is an empty directory so that no user configuration is read.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ExampleNodeKeys.h"
#include "SummaryReporter.h"

namespace {

namespace fs = std::filesystem;

std::string const s_program = QX_EXAMPLES_DIR "/constant.qxx";
std::string const s_expected_output = "Return value = 42\n";
int const s_nodes_per_chip = 16;

struct RunResult {
    double seconds = 0;
    long peak_kb = 0;
    int exit_status = -1;
    std::string output;  // standard output, when asked for
};

// A scratch directory for configurations and HOME, removed at exit.
class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "qx_e2e_bench_XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
        fs::create_directories(home());
    }
    ~Scratch() {
        std::error_code ignored;
        if (!m_path.empty()) fs::remove_all(m_path, ignored);
    }
    std::string home() const { return m_path + "/home"; }
    // A directory holding target_device.cfg with the given text.
    std::string configDirectory(std::string const& name, std::string const& text) const {
        std::string const directory = m_path + "/" + name;
        fs::create_directories(directory);
        std::ofstream(directory + "/target_device.cfg") << text;
        return directory;
    }

private:
    std::string m_path;
};

Scratch& scratch() {
    static Scratch instance;
    return instance;
}

struct ChildArguments {
    std::vector<std::string> argv;
    std::vector<std::string> environment;
    std::vector<char*> pointers(std::vector<std::string> const& texts) const {
        std::vector<char*> result;
        for (std::string const& text : texts) result.push_back(const_cast<char*>(text.c_str()));
        result.push_back(nullptr);
        return result;
    }
};

ChildArguments childArguments(std::vector<std::string> const& argv, std::string const& qxpath) {
    return {argv,
            {"PATH=/usr/bin:/bin", "HOME=" + scratch().home(), "QXPATH=" + qxpath,
             "LD_LIBRARY_PATH=" QX_LIBRARY_DIR}};
}

[[noreturn]] void execChild(ChildArguments const& arguments, int output, bool traced) {
    std::vector<char*> args = arguments.pointers(arguments.argv);
    std::vector<char*> envp = arguments.pointers(arguments.environment);
    int const null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(output >= 0 ? output : null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (traced) ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execve(args[0], args.data(), envp.data());
    _exit(127);
}

// The high-water mark of resident memory of a live process, in kB.
long residentHighWater(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, 6, "VmHWM:") == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

// Lets a traced child run to its end; at its exit stop (the address space
// still there) reads its peak memory.
int followTracedChild(pid_t child, long& peakKb) {
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFSTOPPED(status)) return status;  // stopped at exec
    ptrace(PTRACE_SETOPTIONS, child, nullptr, reinterpret_cast<void*>(long(PTRACE_O_TRACEEXIT)));
    ptrace(PTRACE_CONT, child, nullptr, nullptr);
    while (waitpid(child, &status, 0) == child && WIFSTOPPED(status)) {
        long signal = 0;
        if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
            peakKb = residentHighWater(child);
        } else {
            signal = WSTOPSIG(status);  // an ordinary signal: deliver it
        }
        ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(signal));
    }
    return status;
}

// Runs the command to its end with its output thrown away; wall time and
// peak memory.
RunResult measuredRun(ChildArguments const& arguments) {
    RunResult result;
    auto const start = std::chrono::steady_clock::now();
    pid_t const child = fork();
    if (child == 0) execChild(arguments, -1, true);
    if (child < 0) return result;
    int const status = followTracedChild(child, result.peak_kb);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Runs the command once and keeps its standard output.
RunResult capturedRun(ChildArguments const& arguments) {
    RunResult result;
    int out[2] = {-1, -1};
    if (pipe(out) != 0) return result;
    pid_t const child = fork();
    if (child == 0) execChild(arguments, out[1], false);
    close(out[1]);
    char buffer[4096];
    ssize_t count;
    while ((count = read(out[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, std::size_t(count));
    close(out[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        result.exit_status = WEXITSTATUS(status);
    return result;
}

// Times one command per iteration; skips the benchmark when a check run
// does not print the program's return value.
void timeRuns(benchmark::State& state, std::vector<std::string> const& argv, std::string const& qxpath) {
    ChildArguments const arguments = childArguments(argv, qxpath);
    RunResult const check = capturedRun(arguments);
    if (check.output.find(s_expected_output) == std::string::npos) {
        state.SkipWithError(("unexpected output: " + check.output).c_str());
        return;
    }
    long peak = 0;
    for (auto _ : state) {
        RunResult const run = measuredRun(arguments);
        state.SetIterationTime(run.seconds);
        peak = std::max(peak, run.peak_kb);
    }
    state.counters["peak_kB"] = double(peak);
}

void BM_Loader(benchmark::State& state, char const* program) {
    timeRuns(state, {program, "--sim", s_program}, QX_SOURCE_DIR "/examples");
}
BENCHMARK_CAPTURE(BM_Loader, qxrun, QXRUN_PATH)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Loader, minimal_loader, MINIMAL_LOADER_PATH)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The key lines of the example's processor node, without their prefix.
std::vector<std::string> exampleNodeKeys() {
    return Bench::exampleNodeKeys(QX_SOURCE_DIR);
}

// nodes VORN nodes, 16 per chip; the default is chip 0, node 0.
std::string generatedConfiguration(int nodes) {
    std::vector<std::string> const keys = exampleNodeKeys();
    int const chips = std::max(1, nodes / s_nodes_per_chip);
    std::ostringstream text;
    std::string chipNames, chipIDs;
    for (int chip = 0; chip < chips; ++chip) {
        chipNames += (chip ? "," : "") + ("chip" + std::to_string(chip));
        chipIDs += (chip ? "," : "") + std::to_string(chip);
    }
    text << "system.chips[] = " << chipNames << "\nsystem.chip-ids[] = " << chipIDs
         << "\nsystem.interrupt-target = 0\nsystem.chip-id-size = 16\nsystem.node-id-size = 4\n"
         << "chip-id = 0\nnode-id = 0\n";
    for (int chip = 0; chip < chips; ++chip) {
        std::string const chipPrefix = "system.chip" + std::to_string(chip) + ".";
        std::string nodeNames, nodeIDs;
        for (int node = 0; node < s_nodes_per_chip; ++node) {
            nodeNames += (node ? "," : "") + ("core" + std::to_string(node));
            nodeIDs += (node ? "," : "") + std::to_string(node);
        }
        text << chipPrefix << "nodes[] = " << nodeNames << "\n"
             << chipPrefix << "node-ids[] = " << nodeIDs << "\n";
        for (int node = 0; node < s_nodes_per_chip; ++node) {
            for (std::string const& key : keys) text << chipPrefix << "core" << node << "." << key << "\n";
        }
    }
    return text.str();
}

void BM_StartupByConfigSize(benchmark::State& state) {
    int const nodes = int(state.range(0));
    std::string const directory =
        scratch().configDirectory("nodes" + std::to_string(nodes), generatedConfiguration(nodes));
    timeRuns(state, {QXRUN_PATH, "--sim", s_program}, directory);
    state.counters["nodes"] = nodes;
    state.counters["config_kB"] = double(fs::file_size(directory + "/target_device.cfg")) / 1024;
}
BENCHMARK(BM_StartupByConfigSize)
    ->RangeMultiplier(4)
    ->Range(16, 4096)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The console table, then qxrun's wall time and peak memory as multiples
// of the minimal loader's.
class RatioReporter : public Bench::SummaryReporter {
protected:
    void collect(Run const& run) override {
        auto const peak = run.counters.find("peak_kB");
        m_runs[run.benchmark_name()] = {run.GetAdjustedRealTime(),
                                        peak == run.counters.end() ? 0 : peak->second.value};
    }
    void summary() override {
        auto const qxrun = m_runs.find("BM_Loader/qxrun/manual_time");
        auto const minimal = m_runs.find("BM_Loader/minimal_loader/manual_time");
        if (qxrun != m_runs.end() && minimal != m_runs.end() && minimal->second.first > 0 &&
            minimal->second.second > 0) {
            std::printf("qxrun / minimal loader: wall time %.2fx, peak memory %.2fx\n",
                        qxrun->second.first / minimal->second.first,
                        qxrun->second.second / minimal->second.second);
        }
    }

private:
    std::map<std::string, std::pair<double, double>> m_runs;  // real time, peak kB
};

}  // namespace

int main(int argc, char** argv) {
    RatioReporter reporter;
    return Bench::runBenchmarks(argc, argv, reporter);
}
