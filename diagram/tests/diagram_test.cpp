// The geometry under the diagrams: what is cut at the unit square's edges,
// the ticks of the sweep's axis, the numbering of a designed column's
// stages on its plot and in its magnified corners, and the equilibrium's
// x–y and T–x–y diagrams.
#include <cmath>
#include <limits>
#include <optional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/diagram/diagrams.h"
#include "veltrano/diagram/svg.h"
#include "veltrano/calc/design.h"
#include "veltrano/calc/rating.h"
#include "veltrano/calc/thermo.h"
#include "veltrano/calc/xy_data.h"
#include "veltrano/core/run_error.h"

namespace veltrano::diagram {

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

// A stage number as written: its panel (the plot or an inset), the stage and
// the box its text covers, estimated as the diagram estimates it (11 px
// digits 0.58 em wide, CJK characters 1 em).
struct Number {
    std::string panel;
    int stage;
    double x0, y0, x1, y1;
};

std::vector<Number> step_numbers(const std::string& svg) {
    std::vector<Number> numbers;
    std::string panel = "plot";
    const std::regex item(R"re(<g class="step-numbers"(?: data-inset="(\w)")?|<text class="step-number[^"]*" data-plate="(\d+)" x="([-\d.]+)" y="([-\d.]+)"[^>]*>([^<]*)<)re");
    for (std::sregex_iterator i(svg.begin(), svg.end(), item), end; i != end; ++i) {
        const std::smatch& m = *i;
        if (m[2].matched) {
            double ems = 0;
            for (const unsigned char ch : m[5].str()) {
                if (ch < 0x80) ems += 0.58;
                else if (ch >= 0xE3) ems += 1;  // the first byte of a CJK character
            }
            const double w = ems * 11 + 2, cx = std::stod(m[3]), cy = std::stod(m[4]) - 11 * 0.36;
            numbers.push_back({panel, std::stoi(m[2]), cx - w / 2, cy - 6.5, cx + w / 2, cy + 6.5});
        } else {
            panel = m[1].matched ? m[1].str() : "plot";
        }
    }
    return numbers;
}

// Each stage numbered once at most, in the plot or in one inset; all of
// them unless the page says some are left out; no two numbers in one panel
// overlap; no coordinate is NaN or infinite. Counts the pages magnified
// and thinned.
struct Tally {
    int magnified = 0, thinned = 0;
};
void check_numbers(const std::string& svg, int stages, int feed, const std::string& what, Tally& tally) {
    EXPECT_EQ(svg.find("nan"), std::string::npos) << what;
    EXPECT_EQ(svg.find("inf"), std::string::npos) << what;
    const bool note = svg.find("过密处") != std::string::npos;
    tally.thinned += note;
    tally.magnified += svg.find("class=\"inset\"") != std::string::npos;

    const std::vector<Number> numbers = step_numbers(svg);
    std::map<int, int> seen;
    for (const Number& n : numbers) ++seen[n.stage];
    for (const auto& [stage, times] : seen) {
        EXPECT_EQ(times, 1) << what << ": stage " << stage;
        EXPECT_TRUE(stage >= 1 && stage <= stages) << what << ": stage " << stage;
    }
    EXPECT_EQ(seen.count(feed), 1u) << what << ": the feed stage is always numbered";
    if (!note) {
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(stages)) << what;
    }
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        for (std::size_t j = i + 1; j < numbers.size(); ++j) {
            const Number &a = numbers[i], &b = numbers[j];
            const bool overlap = a.panel == b.panel && a.x0 < b.x1 - 0.02 && b.x0 < a.x1 - 0.02 &&
                                 a.y0 < b.y1 - 0.02 && b.y0 < a.y1 - 0.02;
            EXPECT_FALSE(overlap) << what << ": " << a.stage << " and " << b.stage << " in " << a.panel;
        }
    }
}

// Across feed conditions, efficiencies and purities, from a handful of
// stages to nearly a thousand.
TEST(DesignDiagram, EveryStageNumberedOnceWhereItCanBeRead) {
    struct Purity { double xD, xW; };
    int designed = 0;
    Tally tally;
    for (const double q : {-1.0, 0.0, 0.5, 1.0, 1.5, 3.0}) {
        for (const double E : {1.0, 0.7, 0.3, 0.011}) {
            for (const Purity p : {Purity{0.95, 0.05}, Purity{0.999, 0.001}, Purity{0.999999, 1e-6}}) {
                const calc::DesignInputs in{{100, 0.5, p.xD, p.xW, 4, 2.5}, q, E};
                calc::Design design;
                try {
                    design = calc::design_column(in);
                } catch (const std::exception&) {
                    continue;  // beyond 1000 stages, or a reflux below the minimum for this q
                }
                ++designed;
                const std::string what = "q " + std::to_string(q) + " E " + std::to_string(E) + " xD " +
                                         std::to_string(p.xD) + " N " + std::to_string(design.stage_count);
                check_numbers(to_svg(design_diagram(in, design)), design.stage_count, design.feed_stage, what, tally);
            }
        }
    }
    // The table reaches what it means to: crowded corners, and crowds beyond any magnifying.
    EXPECT_GT(designed, 50);
    EXPECT_GT(tally.magnified, 10);
    EXPECT_GT(tally.thinned, 0);
}

// The plate-by-plate diagram magnifies the corners a high purity crowds,
// and only those: a column whose numbers fit keeps its one plot.
TEST(StaircaseDiagram, CrowdedCornersMagnifiedOnly) {
    struct Case {
        calc::ColumnInputs in;
        bool magnified;
        const char* feed_number = nullptr;  // where the plain numbering has always put it
    };
    const Case cases[] = {
        {{100, 0.5, 0.95, 0.05, 2, 2.5}, false},  {{100, 0.3, 0.9, 0.1, 3, 3}, false},
        {{100, 0.5, 0.999, 0.001, 5, 4}, true},   {{100, 0.5, 0.9999, 0.0001, 8, 6}, true},
        {{100, 0.4, 0.99, 0.001, 3, 5}, true},    {{10, 0.6, 0.98, 0.02, 1.5, 3}, false},
        // Reflux near the minimum: the numbers crowd the pinch, not an end,
        // so nothing is magnified and they stand where they always have.
        {{100, 0.5, 0.95, 0.05, 1.2, 2.5}, false, R"(data-plate="9" x="350.59" y="253.85")"},
    };
    for (const Case& c : cases) {
        const calc::ColumnResult column = calc::calculate(c.in);
        const std::string what = "xD " + std::to_string(c.in.xD) + " alpha " + std::to_string(c.in.alpha);
        Tally tally;
        const std::string svg = to_svg(staircase_diagram(c.in, column));
        check_numbers(svg, column.plate_count.value(), column.feed_plate.value(), what, tally);
        EXPECT_EQ(tally.magnified, c.magnified ? 1 : 0) << what;
        if (c.feed_number != nullptr) {
            EXPECT_NE(svg.find(c.feed_number), std::string::npos) << what;
        }
    }
}

// --- the equilibrium diagrams ---------------------------------------------------

std::shared_ptr<calc::EquilibriumCurve> model(const char* light, const char* heavy) {
    return std::make_shared<calc::ModelCurve>(
        calc::mixture_of(calc::builtin_components(), light, heavy, false), calc::kAtmosphere);
}
std::shared_ptr<calc::EquilibriumCurve> data(const char* text) {
    return std::make_shared<calc::DataCurve>(calc::read_xy_data(text, "test"));
}
// Ethanol–water from the handbook's table, a few of its points: the last one the azeotrope.
constexpr const char* kHandbookXyT = "x y T\n0.019 0.17 95.5\n0.1661 0.5089 84.1\n0.5079 0.6564 79.8\n"
                                     "0.7472 0.7815 78.41\n0.8943 0.8943 78.15\n";
// Benzene–toluene read off a curve, without temperatures.
constexpr const char* kReadXy = "0.1 0.21\n0.3 0.51\n0.5 0.71\n0.7 0.85\n0.9 0.96\n";

std::size_t count(const std::string& s, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

// The polylines of a class, each as its points.
std::vector<std::vector<Point>> lines_of(const std::string& svg, const std::string& cls) {
    // Found by hand: a regular expression over a long points attribute
    // recurses once per character, past the stack of a sanitizer build.
    std::vector<std::vector<Point>> lines;
    const std::string opening = "<polyline class=\"" + cls + "\"";
    for (std::size_t at = svg.find(opening); at != std::string::npos; at = svg.find(opening, at + 1)) {
        const std::size_t end_of_tag = svg.find('>', at);
        const std::size_t points = svg.find(" points=\"", at);
        if (points == std::string::npos || points > end_of_tag) continue;
        const std::size_t first = points + 9, last = svg.find('"', first);
        lines.emplace_back();
        std::istringstream in(svg.substr(first, last - first));
        double x, y;
        char comma;
        while (in >> x >> comma >> y) lines.back().push_back({x, y});
    }
    return lines;
}

// Page y of the line at page x, where one of its pieces spans x.
std::optional<double> height_at(const std::vector<std::vector<Point>>& lines, double x) {
    for (const auto& l : lines) {
        for (std::size_t i = 0; i + 1 < l.size(); ++i) {
            const Point a = l[i], b = l[i + 1];
            if (std::min(a.x, b.x) <= x && x <= std::max(a.x, b.x) && a.x != b.x) {
                return a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x);
            }
        }
    }
    return std::nullopt;
}

double longest_chord(const std::vector<std::vector<Point>>& lines, double scale) {
    double longest = 0;
    for (const auto& l : lines) {
        for (std::size_t i = 0; i + 1 < l.size(); ++i) {
            longest = std::max(longest, std::hypot(l[i + 1].x - l[i].x, l[i + 1].y - l[i].y) * scale);
        }
    }
    return longest;
}

// Which diagrams each kind of curve gets, its azeotropes marked on each,
// its measured points as dots (in the T–x–y diagram on both curves).
TEST(VleDiagram, PanelsAzeotropesAndMeasuredPoints) {
    struct Case {
        const char* what;
        std::shared_ptr<calc::EquilibriumCurve> curve;
        bool txy;
        std::vector<double> azeotropes;  // x, to 2e-3
        std::size_t dots;                // in the x–y diagram
    };
    const Case cases[] = {
        {"ethanol-water", model("ethanol", "water"), true, {0.882}, 0},
        {"benzene-toluene", model("benzene", "toluene"), true, {}, 0},
        {"x-y-T data", data(kHandbookXyT), true, {0.8943}, 5},
        {"x-y data", data(kReadXy), false, {}, 5},
    };
    for (const Case& c : cases) {
        const std::string svg = to_svg(vle_diagram(*c.curve));
        EXPECT_EQ(svg.find("nan"), std::string::npos) << c.what;
        EXPECT_EQ(svg.find("inf"), std::string::npos) << c.what;
        EXPECT_NE(svg.find("汽液平衡　" + c.curve->description()), std::string::npos) << c.what;
        const std::size_t split = std::min(svg.find("class=\"txy\""), svg.size());
        const std::string xy = svg.substr(0, split), txy = svg.substr(split);
        EXPECT_EQ(!txy.empty(), c.txy) << c.what;
        EXPECT_EQ(txy.empty(), svg.find("width=\"720.00\"") != std::string::npos) << c.what;
        EXPECT_EQ(count(txy, "class=\"bubble\"") > 0, c.txy) << c.what;
        EXPECT_EQ(count(xy, "class=\"measured\""), c.dots) << c.what;
        EXPECT_EQ(count(txy, "class=\"measured\""), c.txy ? 2 * c.dots : 0) << c.what;
        for (const std::string* panel : {&xy, &txy}) {
            if (panel->empty()) continue;
            std::vector<double> marked;
            const std::regex mark(R"re(class="azeotrope" data-x="([^"]+)")re");
            for (std::sregex_iterator i(panel->begin(), panel->end(), mark), end; i != end; ++i) {
                marked.push_back(std::stod((*i)[1]));
            }
            ASSERT_EQ(marked.size(), c.azeotropes.size()) << c.what;
            for (std::size_t i = 0; i < marked.size(); ++i) EXPECT_NEAR(marked[i], c.azeotropes[i], 2e-3) << c.what;
        }
        // Smooth: no chord of the curve longer than a few pixels of its 440 or 580.
        EXPECT_LT(longest_chord(lines_of(xy, "equilibrium"), c.txy ? 440 : 580), 3) << c.what;
    }
}

// The dew curve never below the bubble curve, both inside the panel and
// smooth; for a model both span the whole of 0..1 and meet at its ends.
TEST(VleDiagram, DewCurveAboveBubbleCurve) {
    struct Case {
        const char* what;
        std::shared_ptr<calc::EquilibriumCurve> curve;
        bool whole;  // T known over all of 0..1
    };
    const Case cases[] = {{"ethanol-water", model("ethanol", "water"), true},
                          {"2-propanol-water", model("2-propanol", "water"), true},
                          {"benzene-toluene", model("benzene", "toluene"), true},
                          {"x-y-T data", data(kHandbookXyT), false}};
    constexpr double kLeft = 630, kSize = 440, kTop = 96;
    for (const Case& c : cases) {
        const std::string svg = to_svg(vle_diagram(*c.curve));
        const auto bubble = lines_of(svg, "bubble"), dew = lines_of(svg, "dew");
        ASSERT_FALSE(bubble.empty() || dew.empty()) << c.what;
        int compared = 0;
        for (int i = 0; i <= 100; ++i) {
            const double x = kLeft + kSize * i / 100;
            const auto b = height_at(bubble, x), d = height_at(dew, x);
            if (!b || !d) continue;
            ++compared;
            EXPECT_LE(*d, *b + 0.02) << c.what << " at x " << i / 100.0;  // page y grows downwards
        }
        EXPECT_GT(compared, c.whole ? 95 : 40) << c.what;
        for (const auto* lines : {&bubble, &dew}) {
            for (const auto& l : *lines) {
                for (const Point p : l) {
                    EXPECT_TRUE(p.x >= kLeft && p.x <= kLeft + kSize && p.y >= kTop && p.y <= kTop + kSize) << c.what;
                }
            }
            EXPECT_LT(longest_chord(*lines, 1), 3) << c.what;
        }
        if (c.whole) {
            EXPECT_EQ(bubble.front().front(), dew.front().front()) << c.what;
            EXPECT_EQ(bubble.back().back(), dew.back().back()) << c.what;
        }
    }
}

// --- a rating's sweep -----------------------------------------------------------

// An existing column rated across a sweep: each rated value a point on both
// series at its compositions, each failed one a cross, the base ringed at
// its own value; whole-number inputs keep whole ticks.
TEST(RatingSweepPlot, PointsCrossesAndTheBase) {
    const calc::RatingInputs column{100, 0.5, 2, 2.5, 1, 1, 11, 5, 50};
    calc::RatingInputs unrated = column;
    unrated.R = 0;
    const calc::Mixture benzene_toluene = calc::mixture_of(calc::builtin_components(), "benzene", "toluene", false);
    struct Case {
        const char* symbol;
        Swept input;
        double from, to, step;
        calc::RatingInputs base;
        std::size_t failed;
        std::optional<double> ring;  // the base's value, where it rated
        const char* title;
        const char* left_out;  // the swept input among the fixed ones
    };
    // No column of N <= f stages can be rated, nor one at R = 0 (the reflux
    // sweep's base too, so nothing is ringed there).
    const Case cases[] = {
        {"feed-stage", Swept::kFeedStage, 2, 10, 1, column, 0, 5, "随进料板 f 的变化：f 从 2 到 10", "进料板 f ="},
        {"feed-stage", Swept::kFeedStage, 5, 7, 1, column, 0, 5, "f 从 5 到 7，步长 1", "进料板 f ="},
        {"stages", Swept::kStages, 2, 20, 1, column, 4, 11, "随塔板数 N 的变化", "塔板数 N ="},
        {"D", Swept::kDistillate, 0, 100, 10, column, 2, 50, "随馏出流量 D 的变化", "馏出流量 D ="},
        {"R", Swept::kReflux, 0, 2, 0.5, unrated, 1, std::nullopt, "随回流比 R 的变化", "回流比 R ="},
        {"P", Swept::kPressure, 50, 200, 50, column, 0, calc::kAtmosphere, "随压力 P 的变化", "压力 P ="},
    };
    for (const Case& c : cases) {
        const bool on_curve = c.input == Swept::kPressure;
        const auto curve_at = [&](double P) { return std::make_shared<calc::ModelCurve>(benzene_toluene, P); };
        const auto base_curve = curve_at(calc::kAtmosphere);
        const auto rate = [&](const calc::RatingInputs& in, double P) {
            return on_curve ? calc::rate_column(in, *curve_at(P)) : calc::rate_column(in);
        };
        SweepRange range{c.symbol, c.input, c.from, c.to, c.step, {}, false};
        std::vector<RatingSweepRow> rows;
        for (double v = c.from; v <= c.to; v += c.step) {
            range.values.push_back(v);
            calc::RatingInputs in = c.base;
            if (c.input == Swept::kFeedStage) in.feed_stage = static_cast<int>(v);
            if (c.input == Swept::kStages) in.stages = static_cast<int>(v);
            if (c.input == Swept::kDistillate) in.D = v;
            if (c.input == Swept::kReflux) in.R = v;
            RatingSweepRow row;
            row.value = v;
            try {
                const calc::Rating r = rate(in, v);
                row.xD = r.xD, row.xW = r.xW;
            } catch (const core::RunError& e) {
                row.error = e.number();
            }
            rows.push_back(row);
        }
        RatingSweepBase base{c.base, on_curve ? base_curve.get() : nullptr, {}, {}};
        try {
            const calc::Rating r = rate(c.base, calc::kAtmosphere);
            base.xD = r.xD, base.xW = r.xW;
        } catch (const core::RunError&) {
        }
        const std::string svg = to_svg(rating_sweep_plot(base, range, rows));
        const std::string what = std::string(c.symbol) + " from " + std::to_string(c.from);
        EXPECT_EQ(svg.find("nan"), std::string::npos) << what;
        EXPECT_EQ(svg.find("inf"), std::string::npos) << what;
        EXPECT_NE(svg.find(c.title), std::string::npos) << what;
        EXPECT_EQ(svg.find(c.left_out), std::string::npos) << what;
        EXPECT_EQ(svg.find(base_curve->description()) != std::string::npos, on_curve) << what;
        EXPECT_EQ(count(svg, "class=\"failed\""), c.failed) << what;
        EXPECT_EQ(count(svg, "class=\"distillate\""), rows.size() - c.failed) << what;
        EXPECT_EQ(count(svg, "class=\"bottoms\""), rows.size() - c.failed) << what;

        // Every mark where its value and composition put it on the 600 by 420 frame.
        std::smatch range_match;
        ASSERT_TRUE(std::regex_search(svg, range_match, std::regex(R"re(data-x-range="(\S+) (\S+)")re"))) << what;
        const double x0 = std::stod(range_match[1]), x1 = std::stod(range_match[2]);
        const std::regex mark(R"re(class="(distillate|bottoms|base)" data-value="([^"]+)" data-x[DW]="([^"]+)")re"
                              R"re( c?x="([^"]+)" c?y="([^"]+)")re");
        std::set<double> ringed;
        std::size_t marks = 0;
        for (std::sregex_iterator i(svg.begin(), svg.end(), mark), end; i != end; ++i, ++marks) {
            const std::smatch& m = *i;
            const double centre = m[1] == "bottoms" ? 3 : 0;  // a square's corner
            EXPECT_NEAR(std::stod(m[4]) + centre, 80 + 600 * (std::stod(m[2]) - x0) / (x1 - x0), 0.01) << what;
            EXPECT_NEAR(std::stod(m[5]) + centre, 134 + 420 * (1 - std::stod(m[3])), 0.01) << what;
            if (m[1] == "base") ringed.insert(std::stod(m[2]));
        }
        EXPECT_EQ(marks, 2 * (rows.size() - c.failed) + (c.ring ? 2 : 0)) << what;
        EXPECT_EQ(ringed, c.ring ? std::set<double>{*c.ring} : std::set<double>{}) << what;
        // The column's whole-number inputs tick at whole numbers only.
        if (c.input != Swept::kFeedStage && c.input != Swept::kStages) continue;
        const std::regex x_tick(R"re(y="573.00" text-anchor="middle">([^<]+)<)re");
        for (std::sregex_iterator i(svg.begin(), svg.end(), x_tick), end; i != end; ++i) {
            EXPECT_EQ((*i)[1].str().find('.'), std::string::npos) << what;
        }
    }
}

}  // namespace
}  // namespace veltrano::diagram
