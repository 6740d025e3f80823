// The plate-by-plate calculation: published cases, error cases, and the
// physical rules every successful column must obey.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/calc/column.h"
#include "veltrano/calc/errors.h"
#include "veltrano/testkit/expect_run_error.h"

namespace veltrano::calc {
namespace {


double x_at(const ColumnResult& r, int n) { return r.x.slots()[n]; }
double y_at(const ColumnResult& r, int n) { return r.y.slots()[n]; }

// What calculating `in` raised: error 0 when it succeeded.
testkit::Raised raised(const ColumnInputs& in) {
    return testkit::raised_by([&] { calculate(in); });
}

constexpr ColumnInputs kBenzeneToluene{100, 0.5, 0.95, 0.05, 2, 2.5};

TEST(Column, FirstReferenceCase) {
    const ColumnResult r = calculate(kBenzeneToluene);
    EXPECT_EQ(r.W, 50.0);
    EXPECT_EQ(r.D, 50.0);
    EXPECT_EQ(r.L, 100.0);
    struct Point { int n; double x, y; };
    for (const Point& p : {Point{1, 0.883721, 0.95}, Point{2, 0.793683, 0.905814},
                           Point{5, 0.485841, NAN}, Point{11, 0.028451, 0.068216}}) {
        EXPECT_NEAR(x_at(r, p.n), p.x, 5e-7) << "plate " << p.n;
        if (!std::isnan(p.y)) {
            EXPECT_NEAR(y_at(r, p.n), p.y, 5e-7) << "plate " << p.n;
        }
    }
    EXPECT_EQ(y_at(r, 1), 0.95);  // total condenser
    EXPECT_EQ(r.feed_plate.value(), 5);
    EXPECT_EQ(r.plate_count.value(), 11);
    EXPECT_GT(x_at(r, 4), 0.5);
    EXPECT_GT(x_at(r, 10), 0.05);
}

TEST(Column, SecondReferenceCase) {
    const ColumnResult r = calculate({100, 0.4, 0.9, 0.1, 3, 2.47});
    EXPECT_EQ(r.W, 62.5);
    EXPECT_EQ(r.D, 37.5);
    EXPECT_EQ(r.L, 112.5);
    EXPECT_EQ(r.feed_plate.value(), 4);
    EXPECT_EQ(r.plate_count.value(), 7);
}

TEST(Column, RaisesTheNumberedErrors) {
    struct Case { const char* what; ColumnInputs in; int error; };
    const Case cases[] = {
        {"reflux below the minimum", {100, 0.5, 0.98, 0.02, 1.5, 2}, 9},
        {"R = -1", {100, 0.5, 0.95, 0.05, -1, 2.5}, 11},
        {"xD = xW != xF", {100, 0.5, 0.6, 0.6, 2, 2.5}, 11},
        {"xD = xW = xF", {100, 0.5, 0.5, 0.5, 2, 2.5}, 6},
        {"xD = xW = xF, F = 0", {0, 0.5, 0.5, 0.5, 2, 2.5}, 6},
        {"xD = xW != xF, F = 0: 0 / 0", {0, 0.4, 0.6, 0.6, 2, 2.5}, 6},
        {"balance overflows", {1e308, -1e308, 1e308, 0, 2, 2.5}, 6},
        {"L overflows", {1e300, 0.5, 0.95, 0.05, 1e300, 2.5}, 6},
        {"equilibrium divisor zero on plate 1", {100, 0.5, 2, 0.05, 2, 2}, 11},
        {"alpha = 1 pinches at once", {100, 0.5, 0.95, 0.05, 2, 1}, 9},
        {"stripping vapour flow zero (xF = xW)", {100, 0.05, 0.95, 0.05, 100, 2.5}, 11},
    };
    for (const auto& c : cases) EXPECT_RUN_ERROR(calculate(c.in), c.error, "") << c.what;
}

// Errors 6 and 11 name the statement that failed: its quantity and plate.
// Terms every plate shares are worked out once, yet a failure among them is
// still the failure of the first plate's statement that uses them.
TEST(Column, ArithmeticErrorsNameTheFailingStatement) {
    struct Case { const char* what; ColumnInputs in; int error; std::string description; };
    // xF = xW leaves no stripping vapour, V' = L + F - W = 0, on the first
    // plate below the feed; the rectifying section does not depend on xW.
    const ColumnInputs no_vapour{100, 0.05, 0.95, 0.05, 100, 2.5};
    ColumnInputs same_top = no_vapour;
    same_top.xW = 0.01;
    const std::string below_feed = std::to_string(calculate(same_top).feed_plate.value() + 1);
    const Case cases[] = {
        {"R = -1: R/(R+1) divides by zero", {100, 0.5, 0.95, 0.05, -1, 2.5}, 11,
         "除数为零：计算第 2 块板的汽相组成 y 时除数为零"},
        {"stripping vapour flow zero", no_vapour, 11,
         "除数为零：计算第 " + below_feed + " 块板的汽相组成 y 时除数为零"},
        {"xD = xW != xF", {100, 0.5, 0.6, 0.6, 2, 2.5}, 11, "除数为零：计算塔底流量 W 时除数为零"},
        {"xD = xW = xF", {100, 0.5, 0.5, 0.5, 2, 2.5}, 6,
         "溢出：计算塔底流量 W 时无效运算（如 0 ÷ 0）"},
        {"L overflows", {1e300, 0.5, 0.95, 0.05, 1e300, 2.5}, 6,
         "溢出：计算精馏段液相流量 L 时结果超出双精度范围"},
        {"equilibrium divisor zero on plate 1", {100, 0.5, 2, 0.05, 2, 2}, 11,
         "除数为零：计算第 1 块板的液相组成 x 时除数为零"},
    };
    for (const auto& c : cases) {
        const testkit::Raised error = raised(c.in);
        EXPECT_EQ(error.number, c.error) << c.what;
        EXPECT_EQ(error.description, c.description) << c.what;
    }
}

// Error 9 names the minimum reflux only where it explains the failure, says
// "more than 30 plates" only where stepping on reaches the end composition,
// and otherwise which composition the section cannot reach.
TEST(Column, TooManyPlatesSaysOnlyWhatIsTrue) {
    struct Case {
        const char* what;
        ColumnInputs in;
        std::vector<std::string> says, never;
    };
    const Case cases[] = {
        // y* = 2/3, Rmin = (0.98 - 2/3) / (2/3 - 0.5) = 1.88
        {"reflux below the minimum", {100, 0.5, 0.98, 0.02, 1.5, 2},
         {"R = 1.5 不高于最小回流比 Rmin = 1.88", "达不到进料组成 xF = 0.5"}, {"多于 30"}},
        // The stripping line y = 1.2143 x + 0.04286 meets the curve at x = 0.0371:
        // the liquid never falls below it, let alone to -0.2 (R = 2 is above Rmin = 1.1).
        {"bottoms leaner than the stripping pinch", {100, 0.5, 0.95, -0.2, 2, 2.5},
         {"提馏段的液相组成停在 x = 0.0371", "达不到塔底组成 xW = -0.2"}, {"Rmin", "回流比", "多于 30"}},
        // alpha < 1: the liquid grows richer down the column, towards the
        // root of x^2 - 0.025 x - 0.95 = 0, x = 0.98726.
        {"light component less volatile", {100, 0.5, 0.95, 0.05, 2, 0.5},
         {"精馏段的液相组成停在 x = 0.98726", "达不到进料组成 xF = 0.5"}, {"Rmin", "多于 30"}},
        {"alpha = 1 pinches at the top plate", {100, 0.5, 0.95, 0.05, 2, 1},
         {"精馏段的液相组成停在 x = 0.95", "达不到进料组成 xF = 0.5"}, {"Rmin", "多于 30"}},
        // No reflux: every plate gets the distillate's vapour, x stays x[1].
        {"R = 0", {100, 0.5, 0.95, 0.05, 0, 2.5}, {"停在 x = 0.883721", "达不到进料组成"}, {"Rmin"}},
        // The rectifying line meets the curve at x = 0.486, just under xF:
        // R = 3 is above the minimum, the feed is reached, but late.
        {"rectifying section longer than 30 plates", {100, 0.487, 0.95, 0.05, 3, 1.6},
         {"精馏段到第 ", "块板才达到进料组成 xF = 0.487，塔板数多于 30"}, {"Rmin", "达不到"}},
        {"stripping section longer than 30 plates", {100, 0.5, 0.98, 0.02, 1.9, 2},
         {"提馏段到第 ", "块板才达到塔底组成 xW = 0.02，塔板数多于 30"}, {"Rmin", "达不到"}},
        {"unphysical column whose liquid cycles", {100, 0.5, -1, 0.05, -2, -3},
         {"提馏段的液相组成每 2 块板循环一次，达不到塔底组成 xW = 0.05"}, {"Rmin", "多于 30"}},
    };
    for (const auto& c : cases) {
        const testkit::Raised error = raised(c.in);
        const std::string& description = error.description;
        ASSERT_EQ(error.number, 9) << c.what;
        EXPECT_EQ(description.rfind("下标越界：需要第 31 块板，", 0), 0u) << description;
        for (const auto& text : c.says) {
            EXPECT_NE(description.find(text), std::string::npos) << c.what << ": " << description;
        }
        for (const auto& text : c.never) {
            EXPECT_EQ(description.find(text), std::string::npos) << c.what << ": " << description;
        }
    }
}

// F = 0 gives the stripping section no flows at all (its first statement is
// 0 / 0) but leaves the rectifying section as it is. With the feed found on
// plate 30, by bisection on xF, there is no slot for a stripping plate and
// nothing beyond plate 30 can be known.
TEST(Column, FeedOnThePlateThirtyLeavesNoStrippingPlate) {
    ColumnInputs in{0, 0.5, 0.95, 0.05, 3, 1.6};
    double early = 0.9, late = 0.487;  // feed plate below 30 / beyond 30 (pinch at 0.486)
    for (int i = 0; i < 200; ++i) {
        in.xF = early + (late - early) / 2;
        if (in.xF == early || in.xF == late) break;
        (raised(in).number == 6 ? early : late) = in.xF;
    }
    in.xF = late;
    EXPECT_RUN_ERROR(calculate(in), 9, "进料板已是第 30 块板，提馏段没有塔板可用");
}

TEST(Column, MinimumReflux) {
    EXPECT_NEAR(*minimum_reflux({100, 0.5, 0.98, 0.02, 1.5, 2}), 1.88, 1e-12);
    EXPECT_FALSE(minimum_reflux({100, 0.5, 0.95, 0.05, 2, 1}).has_value());
}

// Rectifying plates do not depend on xF, so xF set to one of them exactly
// stops the loop at that plate: the comparison is strictly "greater than".
TEST(Column, StopsAtAPlateThatHitsTheFeedCompositionExactly) {
    const ColumnResult reference = calculate(kBenzeneToluene);
    for (int plate : {2, 3, 4}) {
        ColumnInputs in = kBenzeneToluene;
        in.xF = x_at(reference, plate);
        EXPECT_EQ(calculate(in).feed_plate.value(), plate);
        in.xF = std::nextafter(in.xF, 0.0);
        EXPECT_EQ(calculate(in).feed_plate.value(), plate + 1);
    }
}

TEST(Column, AlwaysStepsPlateTwoBeforeTestingTheFeed) {
    // x[1] = 0.8837 is already leaner than the feed.
    const ColumnResult r = calculate({100, 0.9, 0.95, 0.05, 2, 2.5});
    EXPECT_EQ(r.feed_plate.value(), 2);
    EXPECT_GE(r.plate_count.value(), 3);
}

// A column on the edge of the 30 slots: find, by bisection on alpha, the
// least volatile mixture that still fits, then one a hair less volatile.
TEST(Column, ThirtyPlatesFitAndThirtyOneDoNot) {
    ColumnInputs in{100, 0.5, 0.95, 0.05, 3, 2.5};
    double fits = 2.5, fails = 1.5;  // 1.5 needs far more than 30 plates
    ASSERT_EQ(raised({100, 0.5, 0.95, 0.05, 3, fails}).number, 9);
    for (int i = 0; i < 200 && std::nextafter(fails, fits) != fits; ++i) {
        in.alpha = fails + (fits - fails) / 2;
        (raised(in).number == 0 ? fits : fails) = in.alpha;
    }
    in.alpha = fits;
    EXPECT_EQ(calculate(in).plate_count.value(), 30);
    in.alpha = fails;
    EXPECT_RUN_ERROR(calculate(in), 9, "提馏段到第 31 块板才达到塔底组成");
}

TEST(Column, UnderflowIsNotAnError) {
    // Flows this small are subnormal: every statement underflows, none fails.
    const ColumnResult r = calculate({1e-310, 0.5, 0.95, 0.05, 2, 2.5});
    EXPECT_GT(r.W, 0.0);
    EXPECT_LT(r.W, 1e-308);
    EXPECT_GE(r.plate_count.value(), 3);
}

TEST(Column, UnphysicalInputsAreNotRejected) {
    // Negative flow and fractions outside 0..1 run the formulas as they stand.
    EXPECT_RUN_ERROR(calculate({-100, 0.5, 0.95, 0.05, 2, 2.5}), 0, "");
    EXPECT_EQ(calculate({-100, 0.5, 0.95, 0.05, 2, 2.5}).plate_count.value(), 11);
}

// Random physical columns: 0 < xW < xF < y*(xF) < xD < 1, alpha > 1, R above Rmin.
TEST(Column, PhysicalRulesHoldOnRandomColumns) {
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    int successes = 0;
    for (int i = 0; i < 2000; ++i) {
        const double xW = 0.01 + 0.2 * u(rng), xF = xW + 0.05 + 0.5 * u(rng);
        const double alpha = 1.2 + 5 * u(rng);
        const double yStar = alpha * xF / (1 + (alpha - 1) * xF);
        const double xD = yStar + (0.999 - yStar) * (0.1 + 0.9 * u(rng));
        ColumnInputs in{1 + 500 * u(rng), xF, xD, xW, 0, alpha};
        in.R = *minimum_reflux(in) * (1.05 + 3 * u(rng));
        ColumnResult r;
        const int error = testkit::raised_by([&] { r = calculate(in); }).number;
        if (error != 0) {
            EXPECT_EQ(error, 9);  // only "too many plates" may stop a physical column
            continue;
        }
        ++successes;
        const int n = r.plate_count.value(), feed = r.feed_plate.value();
        ASSERT_TRUE(2 <= feed && feed < n && n <= 30) << feed << ' ' << n;
        EXPECT_NEAR(r.D + r.W, in.F, 1e-12 * in.F);
        EXPECT_NEAR(r.D * in.xD + r.W * in.xW, in.F * in.xF, 1e-12 * in.F);
        for (int p = 1; p <= n; ++p) {
            const double x = x_at(r, p), y = y_at(r, p);
            const double on_curve = in.alpha * x / (1 + (in.alpha - 1) * x);
            EXPECT_NEAR(y, on_curve, 1e-12 * std::abs(y)) << "plate " << p;
            if (p > 1) {
                EXPECT_LT(x, x_at(r, p - 1)) << "plate " << p;
            }
        }
        EXPECT_LE(x_at(r, feed), in.xF);
        if (feed > 2) {  // plate 1 is never tested against the feed
            EXPECT_GT(x_at(r, feed - 1), in.xF);
        }
        EXPECT_LE(x_at(r, n), in.xW);
        if (n - 1 > feed) {  // the stripping section always steps one plate
            EXPECT_GT(x_at(r, n - 1), in.xW);
        }
        for (int p = n + 1; p <= 30; ++p) EXPECT_EQ(x_at(r, p) + y_at(r, p), 0.0);
        EXPECT_EQ(x_at(r, 0) + y_at(r, 0), 0.0);
    }
    EXPECT_GT(successes, 500);
}

}  // namespace
}  // namespace veltrano::calc
