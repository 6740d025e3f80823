// The cost of the checks: the column of the first worked example stepped with
// every check (short integers, profile indices, floating-point flags) beside
// the same statements in bare doubles and ints. And design mode beside them:
// a 100-stage column, and a sweep of 1000 reflux ratios, per stage against
// the checked calculation's cost per plate.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "veltrano/calc/column.h"
#include "veltrano/calc/design.h"

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

// A close-boiling pair at 1.03 times the minimum reflux: 100 stages.
constexpr veltrano::calc::DesignInputs kHundredStages{{100.0, 0.5, 0.95, 0.05, 9.2, 1.2}, 1, 1};

void BM_Design100(benchmark::State& state) {
    veltrano::calc::DesignInputs in = kHundredStages;
    int stages = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(in);
        auto d = veltrano::calc::design_column(in);
        stages = d.stage_count;
        benchmark::DoNotOptimize(d);
    }
    state.counters["stages"] = stages;
}
BENCHMARK(BM_Design100);

// 1000 reflux ratios from 1.2 to 4 times the worked example's minimum, each
// column designed on its own, as a sweep does.
void BM_DesignSweep1000(benchmark::State& state) {
    veltrano::calc::DesignInputs in{kExample, 1, 1};
    double stages = 0;
    for (auto _ : state) {
        stages = 0;
        for (int i = 0; i < 1000; ++i) {
            in.column.R = 1.32 + i * 0.00308;
            stages += veltrano::calc::design_column(in).stage_count;
        }
        benchmark::DoNotOptimize(stages);
    }
    state.counters["stages"] = stages;
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_DesignSweep1000);

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
            const auto stages = run.counters.find("stages");
            if (stages == run.counters.end()) continue;
            if (run.benchmark_name().rfind("BM_Design100", 0) == 0) {
                design_ns_ = ns;
                design_stages_ = stages->second;
            }
            if (run.benchmark_name().rfind("BM_DesignSweep1000", 0) == 0) {
                sweep_ns_ = ns;
                sweep_stages_ = stages->second;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (checked_ > 0 && unchecked_ > 0)
            std::printf("checked %.1f ns, bare %.1f ns (CPU time per column), ratio %.3f (bound %.1f)\n",
                        checked_, unchecked_, checked_ / unchecked_, kBound);
        // The worked example has 11 plates.
        const double plate_ns = checked_ / 11;
        if (design_ns_ > 0 && design_stages_ > 0 && plate_ns > 0) {
            std::printf("design: %.0f-stage column %.2f us, %.1f ns per stage; checked calculation %.1f ns per plate;"
                        " ratio per stage %.2f (aim 3)\n",
                        design_stages_, design_ns_ / 1000, design_ns_ / design_stages_, plate_ns,
                        design_ns_ / design_stages_ / plate_ns);
        }
        if (sweep_ns_ > 0 && sweep_stages_ > 0) {
            std::printf("design sweep: 1000 columns %.1f us, %.2f us per column, %.1f ns per stage\n", sweep_ns_ / 1000,
                        sweep_ns_ / 1000 / 1000, sweep_ns_ / sweep_stages_);
        }
    }

private:
    double checked_ = 0;
    double unchecked_ = 0;
    double design_ns_ = 0, design_stages_ = 0;
    double sweep_ns_ = 0, sweep_stages_ = 0;
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
