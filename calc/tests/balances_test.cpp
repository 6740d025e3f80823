// The column's flows and limits, and the lines its diagram is drawn from.
#include <cmath>
#include <optional>
#include <random>

#include <gtest/gtest.h>

#include "veltrano/calc/balances.h"
#include "veltrano/calc/errors.h"
#include "veltrano/testkit/raised.h"

namespace veltrano::calc {
namespace {


void expect_close(const std::optional<double>& got, double want, const char* what) {
    ASSERT_TRUE(got.has_value()) << what;
    EXPECT_NEAR(*got, want, 1e-12 * std::abs(want)) << what;
}

// A quantity whose formula has no finite value is left empty.
TEST(Balances, UndefinedWhereNotFinite) {
    struct Case { const char* what; ColumnInputs in; bool ratio, fenske; };
    const Case cases[] = {
        {"alpha = 1: no separation at all", {100, 0.5, 0.95, 0.05, 2, 1}, false, false},
        {"pure distillate: infinitely many plates", {100, 0.5, 1, 0.05, 2, 2.5}, true, false},
        {"pure bottoms", {100, 0.5, 0.95, 0, 2, 2.5}, true, false},
        {"alpha = 0", {100, 0.5, 0.95, 0.05, 2, 0}, true, false},
        {"negative alpha", {100, 0.5, 0.95, 0.05, 2, -2}, true, false},
        // y*(0.5) = 5/7 = xD: the pinch needs no reflux, Rmin = 0.
        {"Rmin = 0", {100, 0.5, 5.0 / 7.0, 0.05, 2, 2.5}, false, true},
        {"ordinary column", {100, 0.5, 0.95, 0.05, 2, 2.5}, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reflux_over_minimum(c.in).has_value(), c.ratio) << c.what;
        EXPECT_EQ(fenske_minimum_plates(c.in).has_value(), c.fenske) << c.what;
    }
    EXPECT_FALSE(finite(NAN).has_value());
    EXPECT_FALSE(finite(-INFINITY).has_value());
    EXPECT_EQ(finite(-0.0), -0.0);
}

// Fenske against its textbook form, and against what it means: at total
// reflux each plate's vapour is the liquid of the plate below, so stepping
// from xD takes floor(Nmin) plates that stay richer than xW and one more
// that does not.
TEST(Balances, FenskeCountsThePlatesAtTotalReflux) {
    struct Case { double xD, xW, alpha; };
    for (const Case& c : {Case{0.95, 0.05, 2.5}, Case{0.9, 0.1, 2.47}, Case{0.999, 0.001, 1.2},
                          Case{0.6, 0.4, 4.0}, Case{0.95, 0.05, 1.89}}) {
        const ColumnInputs in{100, 0.5, c.xD, c.xW, 2, c.alpha};
        const double textbook = std::log((c.xD / (1 - c.xD)) / (c.xW / (1 - c.xW))) / std::log(c.alpha);
        const auto n_min = fenske_minimum_plates(in);
        expect_close(n_min, textbook, "Fenske");
        double x = c.xD;
        int plates = 0;
        while (x > c.xW) {
            x = equilibrium_liquid(c.alpha, x);  // the vapour is the liquid above
            ++plates;
        }
        EXPECT_EQ(plates, static_cast<int>(std::ceil(*n_min))) << c.xD << ' ' << c.xW << ' ' << c.alpha;
    }
}

// The lines drawn are the lines stepped: from each plate's liquid they give
// the next plate's vapour to the last bit, and the equilibrium relation turns
// that vapour into the next liquid.
TEST(Balances, LinesReproduceTheProfileBitForBit) {
    std::vector<ColumnInputs> columns = {{100, 0.5, 0.95, 0.05, 2, 2.5},
                                         {100, 0.4, 0.9, 0.1, 3, 2.47},
                                         {100, 0.5, 0.95, 0.05, 2, 1.89},
                                         {-100, 0.5, 0.95, 0.05, 2, 2.5}};
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    while (columns.size() < 300) {
        const double xW = 0.01 + 0.2 * u(rng), xF = xW + 0.05 + 0.5 * u(rng), alpha = 1.5 + 4 * u(rng);
        const double xD = std::min(0.999, xF + 0.3 + 0.6 * u(rng));
        columns.push_back({1 + 300 * u(rng), xF, xD, xW, 0.5 + 6 * u(rng), alpha});
    }
    int checked = 0;
    for (const ColumnInputs& in : columns) {
        ColumnResult r;
        if (testkit::raised_by([&] { r = calculate(in); }).number != 0) continue;
        ++checked;
        const auto& x = r.x.slots();
        const auto& y = r.y.slots();
        const int feed = r.feed_plate.value(), n = r.plate_count.value();
        for (int p = 1; p <= n; ++p) {
            EXPECT_EQ(equilibrium_liquid(in.alpha, y[p]), x[p]) << "plate " << p;
            if (p == 1) continue;
            const double line = p <= feed ? rectifying_line(in, x[p - 1]) : stripping_line(in, r, x[p - 1]);
            EXPECT_EQ(line, y[p]) << "plate " << p;
        }
    }
    EXPECT_GT(checked, 100);
}

}  // namespace
}  // namespace veltrano::calc
