// The console table, and for each benchmark its CPU time per iteration and
// its counters, taken from the median of the repetitions where there are
// some: what a benchmark's own summary lines after the table are made of.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace veltrano::bench {

class MedianReporter : public benchmark::ConsoleReporter {
public:
    struct Figures {
        double ns = 0;
        std::map<std::string, double> counters;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) continue;
            Figures& f = figures_[run.run_name.str()];
            f.ns = run.GetAdjustedCPUTime();
            for (const auto& [name, counter] : run.counters) f.counters[name] = counter.value;
        }
    }

protected:
    // By the benchmark's name with its arguments, "BM_Rate/20"; zeros when it did not run.
    Figures of(const std::string& name) const {
        const auto it = figures_.find(name);
        return it == figures_.end() ? Figures{} : it->second;
    }

private:
    std::map<std::string, Figures> figures_;
};

// A benchmark program's main: its own arguments, then every benchmark
// reported through `reporter`.
inline int run_benchmarks(int argc, char** argv, benchmark::BenchmarkReporter& reporter) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace veltrano::bench
