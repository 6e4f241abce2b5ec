// Speed of the tev interpreter: simple mono instructions per second (the
// kit needs at least 100 million) beside the same loop compiled natively,
// and a poly reduction across all PEs.
#include "assembler/Assembler.h"
#include "simulator/Processor.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int64_t k_iterations = 10000000;

// Runs the program once per benchmark iteration (reloading it untimed)
// and reports the executed instructions as a rate.
void runProgram(benchmark::State& state, std::string const& source) {
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    std::string error;
    auto processor = Simulator::Processor::create(Simulator::ProcessorConfig(), error);
    if (!Assembler::assemble({{"bench.qxs", source}}, Assembler::AssemblerOptions(), image, errors)) {
        state.SkipWithError("the benchmark program does not assemble");
        return;
    }
    uint64_t instructions = 0;
    for (auto _ : state) {
        state.PauseTiming();
        processor->load(image, error);
        state.ResumeTiming();
        if (processor->run() != Simulator::ProcessorState::Halted)
            state.SkipWithError(processor->faultText().c_str());
        instructions += processor->cycles();
    }
    state.counters["instructions_per_second"] =
        benchmark::Counter(double(instructions), benchmark::Counter::kIsRate);
}

// Three simple instructions per iteration: add, count down, branch.
std::string const k_mono_loop = "        li r1, " + std::to_string(k_iterations) +
                                "\n"
                                "loop:   addi r2, r2, 3\n"
                                "        addi r1, r1, -1\n"
                                "        bnez r1, loop\n"
                                "        halt r2\n";

void BM_MonoLoop(benchmark::State& state) {
    runProgram(state, k_mono_loop);
    state.counters["required_per_second"] = 100e6;
}

// The baseline: the same loop as native code, counted in the same
// "instructions" (three per iteration).
void BM_MonoLoopNative(benchmark::State& state) {
    uint64_t instructions = 0;
    for (auto _ : state) {
        uint32_t sum = 0;
        for (int64_t count = k_iterations; count != 0; --count) {
            sum += 3;
            benchmark::DoNotOptimize(sum);
        }
        instructions += uint64_t(k_iterations) * 3 + 2;
    }
    state.counters["instructions_per_second"] =
        benchmark::Counter(double(instructions), benchmark::Counter::kIsRate);
}

// Each iteration: one poly add on every PE and one reduction across them.
void BM_PolyReduction(benchmark::State& state) {
    runProgram(state,
               "        li r1, 1000000\n"
               "        pidx p1\n"
               "loop:   padd p2, p2, p1\n"
               "        rsum r3, p2\n"
               "        addi r1, r1, -1\n"
               "        bnez r1, loop\n"
               "        halt r3\n");
}

}  // namespace

BENCHMARK(BM_MonoLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MonoLoopNative)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolyReduction)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
