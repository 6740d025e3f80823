// What rating a column costs beside designing one of the same length: the
// root in xD steps the whole column once per trial. The aim: a rating within
// 30 design runs of the same N, so that a window can rate as the user types.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "median_reporter.h"
#include "veltrano/calc/rating.h"

namespace {

using namespace veltrano::calc;

// Constant alpha: 20 stages of the first example's mixture, and 200 of a
// close-boiling pair (alpha 1.1, R 10); the feed half-way, D = F / 2.
RatingInputs column(int stages) {
    return stages == 20 ? RatingInputs{100, 0.5, 2, 2.5, 1, 1, 20, 10, 50}
                        : RatingInputs{100, 0.5, 10, 1.1, 1, 1, 200, 100, 50};
}

// The design that steps the same column: the rated compositions designed.
DesignInputs design_of(int stages) {
    const RatingInputs in = column(stages);
    const Rating r = rate_column(in);
    return {{in.F, in.xF, r.xD, r.xW + 1e-10, in.R, in.alpha}, in.q, in.efficiency};
}

void BM_Rate(benchmark::State& state) {
    const RatingInputs in = column(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(rate_column(in));
}
BENCHMARK(BM_Rate)->Arg(20)->Arg(200);

void BM_Design(benchmark::State& state) {
    const DesignInputs in = design_of(static_cast<int>(state.range(0)));
    int stages = 0;
    for (auto _ : state) {
        const Design d = design_column(in);
        stages = d.stage_count;
        benchmark::DoNotOptimize(d);
    }
    state.counters["stages"] = stages;
}
BENCHMARK(BM_Design)->Arg(20)->Arg(200);

constexpr double kAim = 30;

// After the table: each rating in µs and in design runs of its N; the bench
// stage of the test script fails the run when a rating misses the aim.
class RatingReporter : public veltrano::bench::MedianReporter {
public:
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const int N : {20, 200}) {
            const double rate = of("BM_Rate/" + std::to_string(N)).ns, design = of("BM_Design/" + std::to_string(N)).ns;
            if (rate > 0 && design > 0) {
                std::printf("rating N = %d: %.2f us per column, %.1f design runs of the same N (aim %.0f)\n", N,
                            rate / 1e3, rate / design, kAim);
            }
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    RatingReporter reporter;
    return veltrano::bench::run_benchmarks(argc, argv, reporter);
}
