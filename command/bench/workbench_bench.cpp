// What one keystroke in the workbench computes, off the window's thread: the
// column, its results and its picture, then the picture fitted to the
// diagram area. The aim: both within a frame (16 ms) for a 100-stage NRTL
// column, so that the window shows each keystroke's column before the next.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

#include "median_reporter.h"
#include "veltrano/command/workbench.h"

namespace {

using namespace veltrano;

constexpr double kAimMs = 16;

// The first worked example, and ethanol–water near its tangent pinch: about
// a hundred stages, each a bubble point of the NRTL model.
command::WorkbenchState state(bool nrtl) {
    command::WorkbenchState s = command::WorkbenchState::first_start();
    if (!nrtl) return s;
    const std::vector<std::string> items = command::mixture_items(s);
    s.mixture = static_cast<int>(std::find(items.begin(), items.end(), "乙醇/水") - items.begin());
    s.texts["xF"] = "0.3", s.texts["xD"] = "0.8", s.texts["xW"] = "0.02", s.texts["R"] = "0.9834";
    return s;
}

void BM_Keystroke(benchmark::State& bench) {
    const command::WorkbenchState s = state(bench.range(0) != 0);
    const core::NumberFormat format{".", ""};
    std::size_t stages = 0;
    for (auto _ : bench) {
        const command::WorkbenchOutcome o = command::compute_workbench(s, format);
        stages = o.stage_rows.size();
        // The diagram area at the window's opening size.
        benchmark::DoNotOptimize(command::workbench_scene(o.picture.get(), false, 670, 740));
    }
    bench.counters["stages"] = static_cast<double>(stages);
}
BENCHMARK(BM_Keystroke)->Arg(0)->Arg(1);

class KeystrokeReporter : public veltrano::bench::MedianReporter {
public:
    void Finalize() override {
        ConsoleReporter::Finalize();
        const Figures example = of("BM_Keystroke/0"), nrtl = of("BM_Keystroke/1");
        std::printf("workbench keystroke: first example %.3f ms, NRTL %.0f stages %.3f ms (aim %.0f)\n", example.ns / 1e6,
                    nrtl.counters.count("stages") ? nrtl.counters.at("stages") : 0.0, nrtl.ns / 1e6, kAimMs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    KeystrokeReporter reporter;
    return veltrano::bench::run_benchmarks(argc, argv, reporter);
}
