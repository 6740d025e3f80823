// For scripts/measure-diagram.sh: what drawing costs beyond the calculation,
// in process, on the 30-plate column (F = 100, xF = 0.5, xD = 0.95, xW = 0.05,
// R = 2, alpha = 1.89) and on a 281-value reflux sweep of it; and design
// mode's diagram of a high-purity column (xD = 0.999, xW = 0.001, alpha =
// 2.5, E = 0.7, both corners magnified) and of one of 994 stages (E = 0.01).
// Prints the median time per call over batches, and the size of each document.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "veltrano/diagram/diagrams.h"
#include "veltrano/diagram/svg.h"
#include "sweep.h"
#include "veltrano/calc/column.h"
#include "veltrano/calc/design.h"

namespace {

using namespace veltrano;

// Median microseconds per call of `f`, over `batches` batches of `calls`.
double median_us(const std::function<std::size_t()>& f, int batches, int calls) {
    std::vector<double> per_call;
    std::size_t sink = 0;
    for (int b = 0; b < batches; ++b) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i) sink += f();
        const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        per_call.push_back(took.count() / calls);
    }
    if (sink == 42) std::puts("");  // keeps the calls from being optimised away
    std::nth_element(per_call.begin(), per_call.begin() + batches / 2, per_call.end());
    return per_call[batches / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int batches = argc > 1 ? std::atoi(argv[1]) : 15;
    const calc::ColumnInputs in{100, 0.5, 0.95, 0.05, 2, 1.89};
    const calc::ColumnResult column = calc::calculate(in);
    std::string why;
    const auto range = app::parse_sweep("R=1.2:4:0.01", core::NumberFormat{}, app::Language::kEnglish, why);
    const std::vector<app::SweepRow> rows = app::run_sweep(in, *range);

    const double calculate_us = median_us([&] { return calc::calculate(in).x.slots().size(); }, batches, 2000);
    const double staircase_us = median_us([&] { return diagram::to_svg(diagram::staircase_diagram(in, column)).size(); }, batches, 200);
    const double sweep_run_us = median_us([&] { return app::run_sweep(in, *range).size(); }, batches, 20);
    const double sweep_svg_us = median_us([&] { return diagram::to_svg(diagram::sweep_plot({in}, column.plate_count.value(), *range, rows)).size(); }, batches, 50);

    for (const double efficiency : {0.7, 0.01}) {
        const calc::DesignInputs design_in{{100, 0.5, efficiency < 0.1 ? 0.95 : 0.999, efficiency < 0.1 ? 0.05 : 0.001,
                                            2, 2.5},
                                           1,
                                           efficiency};
        const calc::Design design = calc::design_column(design_in);
        const double design_us = median_us([&] { return diagram::to_svg(diagram::design_diagram(design_in, design)).size(); }, batches, 5);
        std::printf("designed column of %d stages: diagram %.1f us, %zu bytes\n", design.stage_count, design_us,
                    diagram::to_svg(diagram::design_diagram(design_in, design)).size());
    }
    std::printf("column of %d plates: calculate %.2f us, diagram %.1f us, %zu bytes\n",
                column.plate_count.value(), calculate_us, staircase_us, diagram::to_svg(diagram::staircase_diagram(in, column)).size());
    std::printf("sweep of %zu values: calculations %.1f us, diagram %.1f us, %zu bytes\n", rows.size(),
                sweep_run_us, sweep_svg_us, diagram::to_svg(diagram::sweep_plot({in}, column.plate_count.value(), *range, rows)).size());
    return 0;
}
