// Real mixtures: the model against measured data, the traps of its
// parameters, azeotropes, the tangent pinch, and a design on any curve held
// to the model's own equations.
#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "veltrano/calc/design.h"
#include "veltrano/calc/thermo.h"
#include "veltrano/calc/xy_data.h"
#include "veltrano/testkit/expect_run_error.h"

namespace veltrano::calc {
namespace {

Mixture builtin(const char* first, const char* second) { return mixture_of(builtin_components(), first, second, false); }

// Ethanol–water at 101.325 kPa: Perry's Chemical Engineers' Handbook, 6th
// ed., p. 13-12 (x, y of ethanol, T in °C).
struct Measured {
    double x, y, T;
};
constexpr Measured kPerryEthanolWater[] = {
    {0.019, 0.1700, 95.5}, {0.0966, 0.4375, 86.7}, {0.2337, 0.5445, 82.7},
    {0.5079, 0.6564, 79.8}, {0.6763, 0.7385, 78.74}, {0.7472, 0.7815, 78.41},
};

// The NRTL set as the table holds it agrees with the handbook within 1 K and
// 0.02 in y, and puts the azeotrope where it is measured; the two ways of
// misreading the published set (i and j swapped, cal/mol read as J/mol) do
// not.
TEST(Mixture, EthanolWaterAgainstTheHandbook) {
    struct Variant {
        const char* what;
        std::function<void(Pair&)> change;
        bool agrees;
    };
    const double joules_per_calorie = 4.184;
    const Variant variants[] = {
        {"as published", [](Pair&) {}, true},
        {"indices swapped", [](Pair& p) { std::swap(p.a12, p.a21); }, false},
        {"cal/mol read as J/mol", [&](Pair& p) { p.a12 /= joules_per_calorie, p.a21 /= joules_per_calorie; }, false},
    };
    for (const Variant& v : variants) {
        Mixture m = builtin("ethanol", "water");
        v.change(m.pair);
        const ModelCurve curve(m, kAtmosphere);
        double worst_T = 0, worst_y = 0;
        for (const Measured& p : kPerryEthanolWater) {
            worst_T = std::max(worst_T, std::fabs(*curve.temperature(p.x) - p.T));
            worst_y = std::max(worst_y, std::fabs(curve.vapour(p.x) - p.y));
        }
        EXPECT_EQ(worst_T <= 1 && worst_y <= 0.02, v.agrees) << v.what << ": " << worst_T << " K, " << worst_y;
        if (!v.agrees) continue;
        const std::vector<Azeotrope> found = azeotropes(curve);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_TRUE(found[0].minimum_boiling);
        EXPECT_GT(found[0].x, 0.87);
        EXPECT_LT(found[0].x, 0.91);
        EXPECT_GT(*found[0].temperature, 77.8);
        EXPECT_LT(*found[0].temperature, 78.4);
    }
}

// Every component boils at its tabulated Tb within 0.5 K; benzene–toluene,
// an ideal pair, at x = 0.5 at 365.1 K.
TEST(Mixture, BoilingPointsAtOneAtmosphere) {
    for (const Component& c : builtin_components().components) {
        EXPECT_NEAR(saturation_temperature(c, kAtmosphere * 1000), c.T_b, 0.5) << c.name;
    }
    const ModelCurve bt(builtin("benzene", "toluene"), kAtmosphere);
    EXPECT_NEAR(bt.bubble_kelvin(0.5), 365.1, 0.5);
    // The bubble point is the root itself: the partial pressures add up to P.
    for (const char* pair : {"ethanol", "methanol", "acetone", "2-propanol"}) {
        const ModelCurve curve(builtin(pair, "water"), kAtmosphere);
        const Mixture& m = curve.mixture();
        for (const double x : {0.001, 0.1, 0.5, 0.93}) {
            const double T = curve.bubble_kelvin(x);
            const LnGamma g = activity(m, x, T);
            const double p = x * std::exp(g.first) * vapour_pressure(m.first, T) +
                             (1 - x) * std::exp(g.second) * vapour_pressure(m.second, T);
            // dlnP/dT is below 0.06/K here: 1e-6 K is a relative 6e-8 in P.
            EXPECT_NEAR(p / (kAtmosphere * 1000), 1.0, 6e-8) << pair << " x = " << x;
        }
    }
}

TEST(Mixture, AzeotropesOfTheBuiltInPairs) {
    struct Case {
        const char* light;
        const char* heavy;
        int count;
        double x;  // the one found, to 0.01
    };
    const Case cases[] = {
        {"ethanol", "water", 1, 0.88}, {"2-propanol", "water", 1, 0.72}, {"methanol", "water", 0, 0},
        {"acetone", "water", 0, 0},    {"benzene", "toluene", 0, 0},     {"n-hexane", "n-heptane", 0, 0},
    };
    for (const Case& c : cases) {
        const std::vector<Azeotrope> found = azeotropes(ModelCurve(builtin(c.light, c.heavy), kAtmosphere));
        ASSERT_EQ(static_cast<int>(found.size()), c.count) << c.light;
        if (c.count == 1) {
            EXPECT_NEAR(found[0].x, c.x, 0.01) << c.light;
        }
    }
}

// The rectifying line of ethanol–water touches the flat top of the curve
// before it reaches the feed: Rmin 0.9735 at x = 0.632, where the feed
// pinch alone gives 0.7497 (an independent script: 0.973538, 0.63203).
// On a constant-alpha curve the search finds the closed form's feed pinch.
TEST(Mixture, TangentPinchAndFeedPinch) {
    const MinimumReflux ew = minimum_reflux(ModelCurve(builtin("ethanol", "water"), kAtmosphere), 0.2, 0.8, 0.02, 1);
    EXPECT_TRUE(ew.tangent);
    EXPECT_NEAR(ew.R_min, 0.973538, 1e-5);
    EXPECT_NEAR(ew.x, 0.63203, 1e-4);

    ComponentTable van_laar;
    van_laar.pairs.push_back({"ethanol", "water", ActivityModel::kVanLaar, 1.6798, 0.9227, std::nullopt, "textbook"});
    const ComponentTable textbook = merged(builtin_components(), van_laar);
    const MinimumReflux vl = minimum_reflux(ModelCurve(mixture_of(textbook, "ethanol", "water", false), kAtmosphere),
                                            0.3, 0.85, 0.05, 1);
    EXPECT_TRUE(vl.tangent);
    EXPECT_NEAR(vl.x, 0.73, 0.01);
    EXPECT_NEAR(vl.R_min, 1.662248, 1e-5);

    for (const double q : {1.5, 1.0, 0.5, 0.0, -0.5}) {
        const DesignInputs in{{100, 0.36, 0.915, 0.05, 2, 2.5}, q, 1};
        const MinimumReflux m = minimum_reflux(AlphaCurve(2.5), 0.36, 0.915, 0.05, q);
        EXPECT_FALSE(m.tangent) << q;
        EXPECT_NEAR(m.R_min, q_line_pinch(in).R_min, 1e-12) << q;
    }
}

// Stepped on any curve, a design is design mode's own: on a constant-alpha
// curve the very stages of the closed forms; on the model each stage's
// liquid within 1e-10 of the equation y = y*(x) and at its bubble point.
TEST(Mixture, DesignOnACurveStepsDesignModesColumn) {
    std::mt19937_64 rng(20261208);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 300; ++i) {
        const double xW = 0.01 + 0.2 * unit(rng), xD = 0.8 + 0.19 * unit(rng), xF = xW + (xD - xW) * (0.2 + 0.6 * unit(rng));
        const DesignInputs in{{100, xF, xD, xW, 0, 1.5 + 4 * unit(rng)}, 0.2 + unit(rng), 0.4 + 0.6 * unit(rng)};
        DesignInputs run = in;
        run.column.R = std::max(0.1, q_line_pinch(in).R_min * (1.2 + unit(rng)));
        const Design closed = design_column(run), stepped = design_column(run, AlphaCurve(in.column.alpha));
        EXPECT_EQ(stepped.feed_stage, closed.feed_stage);
        EXPECT_EQ(stepped.x, closed.x);
        EXPECT_EQ(stepped.y, closed.y);
    }
    const ModelCurve curve(builtin("ethanol", "water"), kAtmosphere);
    const DesignInputs in{{100, 0.2, 0.8, 0.02, 1.5 * 0.973538, 0}, 1, 1};
    const Design d = design_column(in, curve);
    EXPECT_TRUE(d.tangent_pinch);
    ASSERT_EQ(d.T.size(), d.x.size());
    for (std::size_t n = 0; n < d.x.size(); ++n) {
        EXPECT_NEAR(curve.vapour(d.x[n]), d.y[n], 1e-10 * curve.slope(d.x[n]));
    }
    EXPECT_NEAR(*d.T.front(), 78.2, 0.3);  // the top, near the azeotrope
    EXPECT_NEAR(*d.T.back(), 99, 1.5);     // the reboiler, nearly water
}

TEST(Mixture, CurveChecksSayWhatStopsTheColumn) {
    const ModelCurve ew(builtin("ethanol", "water"), kAtmosphere), we(builtin("water", "ethanol"), kAtmosphere);
    struct Case {
        const char* what;
        const EquilibriumCurve& curve;
        ColumnInputs column;
        const char* says;
    };
    const Case cases[] = {
        {"past the azeotrope", ew, {100, 0.2, 0.95, 0.02, 3, 0}, "物系在 x = 0.8823，78.04 °C 有最低恒沸点（共沸点），位于塔底组成 xW 与馏出组成 xD 之间，精馏越不过它：馏出组成 xD 须低于 0.8823"},
        {"below the tangent pinch", ew, {100, 0.2, 0.8, 0.02, 0.9, 0}, "切点夹紧：操作线与平衡线相切于 x = 0.63"},
        {"heavy named first", we, {100, 0.2, 0.8, 0.02, 3, 0}, "水（water）的沸点 100.08 °C 高于 乙醇（ethanol）的沸点 78.26 °C：x 指所写的第一个组分，它须是易挥发组分；请写作 ethanol/water"},
    };
    for (const Case& c : cases) EXPECT_RUN_ERROR(design_column({c.column, 1, 1}, c.curve), 5, c.says) << c.what;
    for (const double P : {0.0, -1.0, std::nan(""), 1e9}) {
        EXPECT_RUN_ERROR(ModelCurve(builtin("ethanol", "water"), P), 5, "kPa") << P;
    }
}

// PCHIP as MATLAB's pchip and SciPy's PchipInterpolator draw it (values
// from SciPy 1.10), and a data table's fault, a point below the diagonal,
// found as the azeotrope it implies.
TEST(Mixture, DataCurveIsThePchipOfItsPoints) {
    const DataCurve five(read_xy_data("0.25 0.5\n0.5 0.7\n0.75 0.85\n", "five"));
    EXPECT_NEAR(five.vapour(0.125), 0.29553571428571435, 1e-15);
    EXPECT_NEAR(five.vapour(0.6), 0.7630857142857141, 1e-15);
    EXPECT_NEAR(five.slope(0), 2.6, 1e-12);  // the three-point end slope
    EXPECT_NEAR(five.slope(0.5), 0.68571428571428572, 1e-12);
    // Three points with (1, 1): straight lines.
    const DataCurve three(read_xy_data("x;y;T\n0;0;100\n0,5;0,7;80\n", "three"));
    EXPECT_NEAR(three.vapour(0.25), 0.35, 1e-15);
    EXPECT_NEAR(three.vapour(0.75), 0.85, 1e-15);
    EXPECT_NEAR(*three.temperature(0.25), 90, 1e-12);
    EXPECT_FALSE(three.temperature(0.7));  // beyond the file's points
    const std::vector<Azeotrope> dip = azeotropes(DataCurve(read_xy_data("0.02 0.013\n0.1 0.4\n", "methanol-water")));
    ASSERT_EQ(dip.size(), 1u);
    EXPECT_NEAR(dip[0].x, 0.02, 0.02);
    EXPECT_FALSE(dip[0].minimum_boiling);
}

TEST(Mixture, DataFilesAreReadStrictly) {
    struct Case {
        const char* what;
        const char* text;
        const char* says;  // "" reads
    };
    const Case cases[] = {
        {"blanks, header, comments", "# lab\nx y T\n0.1 0.3 90 # first\r\n0.5 0.7 80\n", ""},
        {"semicolons, decimal commas", "0,1;0,3\n0,5;0,7\n", ""},
        {"commas", "0.1,0.3\n0.5,0.7\n", ""},
        {"decimal comma between blanks", "0,1 0,3\n0,5 0,7\n", "第 1 行：y “1 0” 不是一个数（以逗号分隔的文件，小数点须写作 “.”）"},
        {"NaN", "0.1 0.3\n0.5 nan\n", "第 2 行：y “nan” 不是一个数"},
        {"hexadecimal", "0.1 0.3\n0x1p-1 0.7\n", "第 2 行：x “0x1p-1” 不是一个数"},
        {"x outside 0..1", "0.1 0.3\n50 70\n", "第 2 行：x = 50，y = 70：摩尔分数须在 0 与 1 之间"},
        {"the same x twice", "0.5 0.7\n0.1 0.3\n0.5 0.71\n", "第 3 行：x = 0.5 与第 1 行重复"},
        {"y falling", "0.1 0.3\n0.5 0.2\n", "第 2 行：y = 0.2 低于 x 较小的第 1 行的 y = 0.3"},
        {"pure end not pure", "0 0.1\n0.5 0.7\n", "第 1 行：纯组分的汽相组成就是它的液相组成"},
        {"fields differ", "0.1 0.3 90\n0.5 0.7\n", "第 2 行：有 2 个数，应是 x、y 两个或 x、y、T 三个（与第一个数据行一样多）"},
        {"one point", "x y\n0.1 0.3\n", "只有 1 个数据点，至少需要两个"},
        {"empty", "", "只有 0 个数据点"},
        {"binary", "0.1 0.3\n0.5 0.7\n\x7f" "ELF\x01\x02", "第 3 行：不是 UTF-8 文本"},
    };
    for (const Case& c : cases) {
        EXPECT_RUN_ERROR(read_xy_data(c.text, "data.txt"), *c.says ? 5 : 0, c.says) << c.what;
    }
}

// The table as `mixtures` prints it reads back the same; a user's row
// replaces the built-in one; a malformed row is refused with its line.
TEST(Mixture, ComponentTableRoundTripAndFaults) {
    const std::string printed = components_tsv(builtin_components());
    EXPECT_EQ(components_tsv(read_components(printed, "printed")), printed);

    const ComponentTable user = read_components(
        "light\theavy\tmodel\ta12\ta21\talpha\tsource\nwater\tethanol\tvanLaar\t0.9227\t1.6798\t\ttextbook\n", "mine.tsv");
    const Mixture m = mixture_of(merged(builtin_components(), user), "乙醇", "水", false);
    EXPECT_EQ(m.pair.model, ActivityModel::kVanLaar);
    EXPECT_EQ(m.pair.a12, 1.6798);  // oriented as asked: ethanol first

    const std::string header = "name\tchinese\tA\tB\tC\tTmin\tTmax\tTc\tTb\tHvap\tV\tsource\n";
    struct Case {
        const char* what;
        std::string text;
        const char* says;
    };
    const Case cases[] = {
        {"negative Tc", header + "x\t某\t9\t1200\t-50\t250\t350\t-508\t329\t29\t\ts\n", "第 2 行：临界温度 Tc = -508 K 须大于 0"},
        {"NaN", header + "x\t某\tnan\t1200\t-50\t250\t350\t508\t329\t29\t\ts\n", "第 2 行：A 一栏的 “nan” 不是一个数"},
        {"before a header", "x\t某\t9\n", "第 1 行：在表头之前"},
        {"too few fields", header + "x\t某\t9\n", "第 2 行：有 3 栏，应有 10–12 栏"},
        {"unknown model", "light\theavy\tmodel\nethanol\twater\tUNIQUAC\t1\t2\n", "模型 “UNIQUAC” 不是 ideal、NRTL、Wilson 或 vanLaar"},
    };
    for (const Case& c : cases) EXPECT_RUN_ERROR(read_components(c.text, "mine.tsv"), 5, c.says) << c.what;

    const ComponentTable& table = builtin_components();
    EXPECT_RUN_ERROR(mixture_of(table, "ethanol", "benzol", false), 5, "物性表中没有组分 “benzol”；已有：water（水）");
    EXPECT_RUN_ERROR(mixture_of(table, "ethanol", "乙醇", false), 5, "一对组分须是两种不同的组分");
    EXPECT_RUN_ERROR(mixture_of(table, "ethanol", "toluene", false), 5, "已有：ethanol/water、methanol/water");
    EXPECT_RUN_ERROR(mixture_of(table, "ethanol", "toluene", true), 0, "");
    const ComponentTable no_volume = read_components(
        "light\theavy\tmodel\ta12\ta21\nethanol\twater\tWilson\t100\t500\n", "mine.tsv");
    EXPECT_RUN_ERROR(mixture_of(merged(table, no_volume), "ethanol", "water", false), 5, "ethanol 的 V 在物性表中是空的");
}

}  // namespace
}  // namespace veltrano::calc
