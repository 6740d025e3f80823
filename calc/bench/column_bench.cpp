// The cost of the checks: the column of the first worked example stepped with
// every check (short integers, profile indices, floating-point flags) beside
// the same statements in bare doubles and ints.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

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

// The same steps, grouping and order as the checked calculation, with the
// same terms worked out once per column, no checks. Called like the checked
// one (which lives in its own library), not inlined into the timing loop.
[[gnu::noinline]] Bare calculate_bare(const ColumnInputs& in) {
    const double F = in.F, xF = in.xF, xD = in.xD, xW = in.xW, R = in.R, alpha = in.alpha;
    Bare out;
    const double W = ((xD - xF) * F) / (xD - xW);
    const double D = F - W;
    const double L = D * R;
    const double alpha_less_one = alpha - 1.0;
    int n = 1;
    out.y[n] = xD;
    out.x[n] = xD / (alpha - alpha_less_one * xD);
    const double slope = R / (R + 1.0), intercept = xD / (R + 1.0);
    do {
        ++n;
        out.y[n] = slope * out.x[n - 1] + intercept;
        out.x[n] = out.y[n] / (alpha - alpha_less_one * out.y[n]);
    } while (out.x[n] > xF);
    out.feed_plate = n;
    const double L1 = L + F, V1 = L1 - W, bottoms_term = (W * xW) / V1;
    do {
        ++n;
        out.y[n] = (L1 * out.x[n - 1]) / V1 - bottoms_term;
        out.x[n] = out.y[n] / (alpha - alpha_less_one * out.y[n]);
    } while (out.x[n] > xW);
    out.plate_count = n;
    return out;
}

// Both calculations must give the same column, bit for bit, or the timing
// compares different work.
bool same_column(const ColumnInputs& in) {
    const auto checked = veltrano::calc::calculate(in);
    const Bare bare = calculate_bare(in);
    return checked.feed_plate.value() == bare.feed_plate &&
           checked.plate_count.value() == bare.plate_count &&
           std::memcmp(checked.x.slots().data(), bare.x.data(), sizeof bare.x) == 0 &&
           std::memcmp(checked.y.slots().data(), bare.y.data(), sizeof bare.y) == 0;
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

// What the checks may cost: at most this many times the bare steps.
constexpr double kBound = 2.0;

// Prints the two per-column times and their ratio after the usual table; the
// bench stage of the test script fails the run when the ratio exceeds the bound.
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
            std::printf("checked %.1f ns, bare %.1f ns (CPU time per column), ratio %.3f (bound %.1f)\n",
                        checked_, unchecked_, checked_ / unchecked_, kBound);
    }

private:
    double checked_ = 0;
    double unchecked_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (!same_column(kExample)) {
        std::fprintf(stderr, "the bare steps no longer give the checked column's bits\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
