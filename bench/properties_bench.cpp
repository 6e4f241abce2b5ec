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

#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "configuration/Properties.h"

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

}  // namespace

BENCHMARK(BM_ReadText)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitLinesBaseline)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
