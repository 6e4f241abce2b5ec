// The console table of a benchmark program, then a summary of its own
// (ratios of the runs against each other): a reporter hands every run
// that was measured to collect() and prints summary() after the table.
#ifndef BENCH_SUMMARYREPORTER_H
#define BENCH_SUMMARYREPORTER_H

#include <benchmark/benchmark.h>

#include <vector>

namespace Bench {

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(std::vector<Run> const& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (Run const& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) collect(run);
        }
    }
    void Finalize() override {
        summary();
        ConsoleReporter::Finalize();
    }

protected:
    virtual void collect(Run const& run) = 0;
    virtual void summary() = 0;
};

// Runs the benchmarks the command line selects, reported by reporter;
// the status of main.
inline int runBenchmarks(int argc, char** argv, SummaryReporter& reporter) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace Bench

#endif  // BENCH_SUMMARYREPORTER_H
