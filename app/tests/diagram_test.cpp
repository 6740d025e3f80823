// The geometry under the diagrams: what is cut at the unit square's edges, and
// the ticks of the sweep's axis.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "diagram.h"

namespace veltrano::app {

// Bit for bit: a vertex inside the square is kept exactly.
bool operator==(Point a, Point b) { return a.x == b.x && a.y == b.y; }

namespace {

using Line = std::vector<Point>;

TEST(Diagram, ClipsToTheUnitSquare) {
    constexpr double kHuge = 1e308, kNan = std::numeric_limits<double>::quiet_NaN();
    struct Case { const char* what; Line line; std::vector<Line> pieces; };
    const Case cases[] = {
        {"inside, vertices kept to the bit", {{0.1, 0.3}, {0.7, 0.30000000000000004}, {0.7, 1}},
         {{{0.1, 0.3}, {0.7, 0.30000000000000004}, {0.7, 1}}}},
        {"out through the right edge", {{0.5, 0.5}, {1.5, 0.5}}, {{{0.5, 0.5}, {1, 0.5}}}},
        {"across the whole square", {{-1, -1}, {2, 2}}, {{{0, 0}, {1, 1}}}},
        {"out and back in: two pieces", {{0.5, 0.5}, {0.5, 1.5}, {0.8, 1.5}, {0.8, 0.5}},
         {{{0.5, 0.5}, {0.5, 1}}, {{0.8, 1}, {0.8, 0.5}}}},
        {"along the edge", {{1, 0.2}, {1, 0.4}}, {{{1, 0.2}, {1, 0.4}}}},
        {"outside altogether", {{1.2, 0.2}, {1.2, 0.4}, {2, 3}}, {}},
        {"a NaN vertex splits the line", {{0.1, 0.1}, {0.2, 0.2}, {kNan, 0.3}, {0.4, 0.4}, {0.5, 0.5}},
         {{{0.1, 0.1}, {0.2, 0.2}}, {{0.4, 0.4}, {0.5, 0.5}}}},
        {"beyond the double range in between", {{0.5, -kHuge}, {0.5, kHuge}}, {{{0.5, 0}, {0.5, 1}}}},
        {"a single point", {{0.5, 0.5}}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(clip_to_unit_square(c.line), c.pieces) << c.what;
    // Whatever comes in, what goes out is finite and on the square.
    for (const auto& piece : clip_to_unit_square({{-kHuge, kHuge}, {kHuge, -kHuge}, {0.3, kHuge}, {0.2, 0.1}})) {
        for (const Point p : piece) EXPECT_TRUE(p.x >= 0 && p.x <= 1 && p.y >= 0 && p.y <= 1) << p.x << ' ' << p.y;
    }
}

TEST(Diagram, AxisTicksCoverTheRangeInRoundSteps) {
    struct Case { double low, high; };
    for (const Case c : {Case{0.727, 2.727}, Case{1.09, 1.1}, Case{-20, 9e299}, Case{1, 1}, Case{0, 0},
                         Case{-1e308, 1e308}, Case{5, 3}, Case{5e-324, 5e-324}, Case{1e20, 1e20 + 65536}}) {
        const std::vector<double> ticks = axis_ticks(c.low, c.high);
        ASSERT_GE(ticks.size(), 2u) << c.low << ' ' << c.high;
        EXPECT_LE(ticks.size(), 13u);
        EXPECT_LE(ticks.front(), std::min(c.low, c.high));
        EXPECT_GE(ticks.back(), std::max(c.low, c.high));
        const double step = ticks[1] - ticks[0];
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
        EXPECT_TRUE(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
                    std::abs(mantissa - 5) < 1e-9)
            << step;
        for (std::size_t i = 1; i < ticks.size(); ++i) EXPECT_GT(ticks[i], ticks[i - 1]);
    }
    EXPECT_EQ(axis_ticks(0.727, 2.727), (std::vector<double>{0.5, 1, 1.5, 2, 2.5, 3}));
}

}  // namespace
}  // namespace veltrano::app
