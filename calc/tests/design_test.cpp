// Design mode: a published worked example, the checked inputs, long columns,
// tray efficiency, and agreement with the plate-by-plate calculation over
// random columns. (Any q and E: the fuzz target holds every designed column
// inside 0..1, and an independent design in the CLI's tests its stages.)
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "veltrano/calc/design.h"
#include "veltrano/calc/errors.h"
#include "veltrano/testkit/expect_run_error.h"

namespace veltrano::calc {
namespace {

constexpr ColumnInputs kBenzeneToluene{100, 0.5, 0.95, 0.05, 2, 2.5};

// A column with ordered compositions, xF anywhere between xW and xD.
ColumnInputs random_column(std::mt19937_64& rng, double F, double R_low, double R_span, double alpha_low) {
    std::uniform_real_distribution<double> unit(0, 1);
    const double xW = 0.001 + 0.3 * unit(rng), xD = 0.7 + 0.299 * unit(rng);
    const double xF = xW + (xD - xW) * (0.05 + 0.9 * unit(rng));
    return {F, xF, xD, xW, R_low + R_span * unit(rng), alpha_low + 6 * unit(rng)};
}

// A textbook McCabe–Thiele example with a subcooled feed: its pinch, its
// minimum reflux and where its operating lines meet, to the three figures
// it publishes; at q = 1 the same compositions need Rmin = 1.473.
TEST(Design, PublishedSubcooledFeed) {
    ColumnInputs column{100, 0.36, 0.915, 0.05, 1.0, 2.5};
    const QLinePinch probe = q_line_pinch({column, 1.5, 1});
    EXPECT_NEAR(probe.x, 0.470, 5e-4);
    EXPECT_NEAR(probe.y, 0.689, 5e-4);
    EXPECT_NEAR(probe.R_min, 1.032, 5e-4);

    column.R = 1.5 * probe.R_min;
    EXPECT_NEAR(column.R, 1.55, 5e-3);
    const Design d = design_column({column, 1.5, 1});
    EXPECT_NEAR(d.x_meet, 0.451, 5e-4);
    EXPECT_NEAR(d.y_meet, 0.633, 5e-4);
    EXPECT_EQ(d.feed_stage, 5);
    EXPECT_EQ(d.stage_count, 12);
    // The stripping line, from the bottoms balance alone, passes through the meeting point.
    EXPECT_NEAR((d.L_strip * d.x_meet - d.W * column.xW) / d.V_strip, d.y_meet, 1e-12);

    const double saturated_minimum = q_line_pinch({column, 1, 1}).R_min;
    EXPECT_NEAR(saturated_minimum, 1.473, 5e-4);
    column.R = 1.5 * saturated_minimum;
    const Design saturated = design_column({column, 1, 1});
    EXPECT_EQ(saturated.feed_stage, 6);
    EXPECT_EQ(saturated.stage_count, 11);
}

// Each rule, broken alone, is the one the message names; a percentage says so.
TEST(Design, EachCheckedInputSaysItsRule) {
    struct Case { const char* what; ColumnInputs column; double q, E; const char* says; };
    const Case cases[] = {
        {"F", {0, 0.5, 0.95, 0.05, 2, 2.5}, 1, 1, "进料流率 F = 0 须是大于 0 的有限数"},
        {"xF", {100, 0, 0.95, 0.05, 2, 2.5}, 1, 1, "进料组成 xF = 0 须在 0 与 1 之间"},
        {"xD as a percentage", {100, 0.5, 95, 0.05, 2, 2.5}, 1, 1, "95 像是百分数，摩尔分数应写作 0.95"},
        {"xW", {100, 0.5, 0.95, -0.1, 2, 2.5}, 1, 1, "塔底组成 xW = -0.1 须在 0 与 1 之间"},
        {"xW above xF", {100, 0.5, 0.95, 0.6, 2, 2.5}, 1, 1, "塔底组成 xW = 0.6 须小于进料组成 xF = 0.5"},
        {"xD and xW swapped", {100, 0.5, 0.05, 0.95, 2, 2.5}, 1, 1, "xD 与 xW 像是填反了"},
        {"xD below xF", {100, 0.5, 0.45, 0.05, 2, 2.5}, 1, 1, "馏出组成 xD = 0.45 须大于进料组成 xF = 0.5"},
        {"alpha", {100, 0.5, 0.95, 0.05, 2, 0.8}, 1, 1, "相对挥发度 α = 0.8 须是大于 1 的有限数"},
        {"q", {100, 0.5, 0.95, 0.05, 2, 2.5}, INFINITY, 1, "进料热状况参数 q = inf 须是有限数"},
        {"E", {100, 0.5, 0.95, 0.05, 2, 2.5}, 1, 0, "默弗里板效率 E = 0 须满足 0 < E ≤ 1"},
        {"E as a percentage", {100, 0.5, 0.95, 0.05, 2, 2.5}, 1, 70, "70 像是百分数，板效率应写作 0.7"},
        {"R", {100, 0.5, 0.95, 0.05, -1, 2.5}, 1, 1, "回流比 R = -1 须是大于 0 的有限数"},
        {"R below the minimum", {100, 0.5, 0.95, 0.05, 1.09, 2.5}, 1, 1, "须大于最小回流比 Rmin = 1.0999999999999996"},
        {"R below a vapour feed's minimum", {100, 0.5, 0.95, 0.05, 2, 2.5}, 0, 1, "q = 0 时 q 线与平衡线交于"},
        {"V' of a superheated feed", {100, 0.5, 0.95, 0.4, 8, 2.5}, -3, 1, "提馏段汽相流量 V′ = -236.3636"},
    };
    for (const Case& c : cases) {
        const DesignInputs in{c.column, c.q, c.E};
        EXPECT_RUN_ERROR(design_column(in), 5, c.says) << c.what;
        EXPECT_EQ(input_problems(in).size(), c.what == std::string("xD and xW swapped") ? 2u : 1u) << c.what;
    }
}

TEST(Design, LongColumnsAndTheirLimit) {
    // Low volatility: 40 stages, no 30-plate ceiling.
    const Design d = design_column({{100, 0.5, 0.9, 0.1, 12, 1.2}, 1, 1});
    EXPECT_EQ(d.stage_count, 40);
    EXPECT_EQ(d.x.size(), 40u);
    // Reflux a hair above the minimum of a close-boiling pair; purities
    // that total reflux cannot reach in 1000 stages.
    EXPECT_RUN_ERROR(design_column({{100, 0.5, 0.95, 0.05, 35.9001, 1.05}, 1, 1}), 5,
                     "需要多于 1000 块理论板：回流比太接近最小回流比（R/Rmin = 1.0000");
    EXPECT_RUN_ERROR(design_column({{100, 0.5, 0.999999, 1e-6, 100, 1.02}, 1, 1}), 5, "全回流时也要 Nmin = ");
    // Reflux at the minimum but for the last rounding (R/Rmin = 1 + 4e-16):
    // the steps cross the pinch and would climb out of 0..1.
    EXPECT_RUN_ERROR(design_column({{10, 0.5, 0.98, 0.3, 0.6, 4}, 1, 1}), 5,
                     "回流比太接近最小回流比：逐板计算在夹点处停滞，第 70 块板");
}

// Real trays: about 1/E times the plates of the ideal column above the reboiler.
TEST(Design, EfficiencyRaisesStagesByAboutItsInverse) {
    const double ideal = design_column({kBenzeneToluene, 1, 1}).stage_count - 1;
    for (const double E : {0.9, 0.7, 0.5, 0.3}) {
        const double trays = design_column({kBenzeneToluene, 1, E}).stage_count - 1;
        EXPECT_NEAR(trays / ideal, 1 / E, 0.15 / E) << "E = " << E;
    }
}

// Where the plate-by-plate calculation succeeds with physical inputs, its
// feed below plate 1 and its feed plate still richer than xW, design mode at
// q = 1, E = 1 gives its plates bit for bit.
TEST(Design, AgreesWithThePlateByPlateCalculation) {
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> unit(0, 1);
    int compared = 0;
    for (int i = 0; i < 20000; ++i) {
        const ColumnInputs in = random_column(rng, 1 + 999 * unit(rng), 0.2, 8, 1.3);
        ColumnResult exact;
        try {
            exact = calculate(in);
        } catch (const core::RunError&) {
            continue;
        }
        const int feed = exact.feed_plate.value(), n = exact.plate_count.value();
        if (exact.x.slots()[1] <= in.xF || exact.x.slots()[feed] <= in.xW || !input_problems({in, 1, 1}).empty()) continue;
        const Design d = design_column({in, 1, 1});
        ASSERT_EQ(d.feed_stage, feed) << i;
        ASSERT_EQ(d.stage_count, n) << i;
        ASSERT_EQ(std::memcmp(d.x.data(), &exact.x.slots()[1], n * sizeof(double)), 0) << i;
        ASSERT_EQ(std::memcmp(d.y.data(), &exact.y.slots()[1], n * sizeof(double)), 0) << i;
        ++compared;
    }
    EXPECT_GT(compared, 5000);
}

}  // namespace
}  // namespace veltrano::calc
