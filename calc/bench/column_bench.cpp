// The cost of the checks: the column of the first worked example stepped with
// every check (short integers, profile indices, floating-point flags) beside
// the same statements in bare doubles and ints.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>

#include "veltrano/calc/column.h"

namespace {

using veltrano::calc::ColumnInputs;

constexpr ColumnInputs kExample{100.0, 0.5, 0.95, 0.05, 2.0, 2.5};

struct Bare {
    int feed_plate = 0;
    int plate_count = 0;
    std::array<double, 31> x{};
    std::array<double, 31> y{};
};

// The same steps, grouping and order as the checked calculation, no checks.
// Called like the checked one (which lives in its own library), not inlined
// into the timing loop.
[[gnu::noinline]] Bare calculate_bare(const ColumnInputs& in) {
    const double F = in.F, xF = in.xF, xD = in.xD, xW = in.xW, R = in.R, alpha = in.alpha;
    Bare out;
    const double W = ((xD - xF) * F) / (xD - xW);
    const double D = F - W;
    const double L = D * R;
    int n = 1;
    out.y[n] = xD;
    out.x[n] = xD / (alpha - (alpha - 1.0) * xD);
    do {
        ++n;
        out.y[n] = (R / (R + 1.0)) * out.x[n - 1] + xD / (R + 1.0);
        out.x[n] = out.y[n] / (alpha - (alpha - 1.0) * out.y[n]);
    } while (out.x[n] > xF);
    out.feed_plate = n;
    do {
        ++n;
        out.y[n] = ((L + F) * out.x[n - 1]) / ((L + F) - W) - (W * xW) / ((L + F) - W);
        out.x[n] = out.y[n] / (alpha - (alpha - 1.0) * out.y[n]);
    } while (out.x[n] > xW);
    out.plate_count = n;
    return out;
}

void BM_Checked(benchmark::State& state) {
    ColumnInputs in = kExample;
    for (auto _ : state) {
        benchmark::DoNotOptimize(in);
        auto r = veltrano::calc::calculate(in);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_Checked);

void BM_Unchecked(benchmark::State& state) {
    ColumnInputs in = kExample;
    for (auto _ : state) {
        benchmark::DoNotOptimize(in);
        auto r = calculate_bare(in);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_Unchecked);

// Prints the two per-iteration times and their ratio after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With repetitions, the median stands for the benchmark.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) continue;
            const double ns = run.GetAdjustedCPUTime();
            if (run.benchmark_name().rfind("BM_Checked", 0) == 0) checked_ = ns;
            if (run.benchmark_name().rfind("BM_Unchecked", 0) == 0) unchecked_ = ns;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (checked_ > 0 && unchecked_ > 0)
            std::printf("checked %.1f ns, unchecked %.1f ns (CPU time per column), ratio %.3f (target <= 1.5)\n",
                        checked_, unchecked_, checked_ / unchecked_);
    }

private:
    double checked_ = 0;
    double unchecked_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
