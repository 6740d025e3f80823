// The compositions an existing column gives against the input swept: the
// distillate's and the bottoms' mole fractions, one point each per value.
#include <algorithm>
#include <cmath>
#include <string>

#include "draw.h"
#include "veltrano/calc/thermo.h"

namespace veltrano::diagram {

namespace {

using namespace draw;

constexpr double kWidth = 720, kHeight = 622;
constexpr double kLeft = 80, kTop = 134, kPlotWidth = 600, kPlotHeight = 420;
constexpr Colour kDistillateColour = kCurveColour, kBottomsColour = kStrippingColour;
const std::vector<Num> kBottomsDashes = {whole(5), whole(3)};

void add_data(Node& n, const char* name, double v) { n.data.push_back({name, exact_text(v)}); }

// The base column's value of the swept input; the pressure only where the
// curve is a mixture's model, which knows it.
std::optional<double> base_value(const RatingSweepBase& base, Swept input) {
    const calc::RatingInputs& in = base.inputs;
    switch (input) {
    case Swept::kReflux: return in.R;
    case Swept::kVolatility: return in.alpha;
    case Swept::kFeedQuality: return in.q;
    case Swept::kEfficiency: return in.efficiency;
    case Swept::kDistillate: return in.D;
    case Swept::kStages: return in.stages;
    case Swept::kFeedStage: return in.feed_stage;
    case Swept::kPressure:
        if (const auto* model = dynamic_cast<const calc::ModelCurve*>(base.curve)) return model->pressure_kPa();
        return std::nullopt;
    }
    return std::nullopt;
}

// The stage count and the feed stage are whole numbers: so are their ticks.
std::vector<double> across_ticks(double low, double high, bool whole_numbers) {
    std::vector<double> ticks = axis_ticks(low, high);
    if (!whole_numbers || ticks[1] - ticks[0] >= 1) return ticks;
    double first = std::floor(low), last = std::ceil(high);
    if (first == last) first -= 1, last += 1;
    ticks.clear();
    for (double t = first; t <= last; ++t) ticks.push_back(t);
    return ticks;
}

// The three lines of fixed inputs under the title: the feed, the operation
// and the equilibrium, the column; the swept input left out.
std::vector<Runs> fixed_inputs(const RatingSweepBase& base, Swept swept) {
    const calc::RatingInputs& in = base.inputs;
    std::vector<Runs> lines(3);
    append_quantity(lines[0], "进料流率", "F", "", in.F, " kmol/h");
    lines[0].push_back({"　　"});
    append_quantity(lines[0], "进料组成", "x", "F", in.xF);
    const auto add = [&](Runs& runs, Swept input, double value) {
        if (input == swept) return;
        const SweptText t = swept_text(input);
        if (!runs.empty()) runs.push_back({"　　"});
        append_quantity(runs, t.caption, t.symbol, "", value, input == Swept::kDistillate ? " kmol/h" : "");
    };
    add(lines[0], Swept::kFeedQuality, in.q);
    add(lines[1], Swept::kDistillate, in.D);
    add(lines[1], Swept::kReflux, in.R);
    if (base.curve) {
        lines[1].push_back({"　　" + base.curve->description()});
    } else {
        add(lines[1], Swept::kVolatility, in.alpha);
    }
    add(lines[2], Swept::kStages, in.stages);
    add(lines[2], Swept::kFeedStage, in.feed_stage);
    add(lines[2], Swept::kEfficiency, in.efficiency);
    return lines;
}

// One of the two series on the page: its pieces between failed values and
// its markers, kept in page coordinates too for placing the legend.
struct Series {
    std::vector<Node> lines, markers;
    std::vector<std::vector<Point>> paths;
};

Node distillate_marker(double x, double y) {
    Node dot = circle(page(x), page(y), fixed(3.5, 1));
    dot.style.fill = kDistillateColour;
    return dot;
}

Node bottoms_marker(double x, double y) {
    Node square = rect(page(x - 3), page(y - 3), whole(6), whole(6));
    square.style.fill = kWhite;
    square.style.stroke = kBottomsColour;
    square.style.stroke_width = fixed(1.4, 1);
    return square;
}

// How much of the plot a legend at `box` would hide: the segments it
// crosses and the marks under it.
int hidden(const Box& box, const std::vector<std::vector<Point>>& paths, const std::vector<Point>& marks) {
    int n = 0;
    for (const auto& path : paths) {
        for (std::size_t i = 0; i + 1 < path.size(); ++i) n += crosses(box, path[i], path[i + 1]);
    }
    for (const Point p : marks) n += p.x > box.x0 - 8 && p.x < box.x1 + 8 && p.y > box.y0 - 8 && p.y < box.y1 + 8;
    return n;
}

}  // namespace

Scene rating_sweep_plot(const RatingSweepBase& base, const SweepRange& range, const std::vector<RatingSweepRow>& rows) {
    const SweptText swept = swept_text(range.input);
    Scene drawing = page_of(kWidth, kHeight, "馏出液与釜液组成随 " + swept.symbol + " 的变化");
    Node& out = drawing.root;
    const std::string range_text = "：" + swept.symbol + " 从 " + exact_text(range.from) + " 到 " +
                                   exact_text(range.to) + "，步长 " + exact_text(range.step);
    Node heading =
        title_line(kWidth, 36, 19, {{"馏出液与釜液组成随" + swept.caption + " " + swept.symbol + " 的变化" + range_text}});
    heading.style.bold = true;
    out.children.push_back(std::move(heading));
    const std::vector<Runs> fixed_lines = fixed_inputs(base, range.input);
    for (std::size_t i = 0; i < fixed_lines.size(); ++i) {
        out.children.push_back(title_line(kWidth, 64 + 22 * static_cast<double>(i), 14, fixed_lines[i]));
    }

    // A value the page cannot place is left off, as is a composition that is not a number.
    const auto placed = [](std::optional<double> v) { return v && std::isfinite(*v); };
    const std::optional<double> base_x = base_value(base, range.input);
    const bool ringed = placed(base_x) && (placed(base.xD) || placed(base.xW));
    double low = INFINITY, high = -INFINITY;
    for (const RatingSweepRow& row : rows) {
        if (!std::isfinite(row.value)) continue;
        low = std::min(low, row.value);
        high = std::max(high, row.value);
    }
    if (ringed) {
        low = std::min(low, *base_x);
        high = std::max(high, *base_x);
    }
    const bool whole_numbers = range.input == Swept::kStages || range.input == Swept::kFeedStage;
    std::vector<double> fractions;
    for (int i = 0; i <= 10; ++i) fractions.push_back(i / 10.0);
    const ValueFrame frame{kLeft, kTop, kPlotWidth, kPlotHeight,
                           low <= high ? across_ticks(low, high, whole_numbers) : std::vector<double>{0, 1}, fractions};
    Node plot = value_plot(frame, {{swept.caption + " " + swept.symbol + swept.unit}}, {{"组成（轻组分摩尔分数）"}});
    // Mole fractions lie in 0..1; one a rounding past an end stays on the frame.
    const auto page_y = [&](double x) { return frame.page_y(std::clamp(x, 0.0, 1.0)); };

    // Each series joined between neighbouring values where it rated.
    Series distillate, bottoms;
    std::vector<Node> crosses;
    std::vector<Point> marks;
    const auto join = [&](Series& s, double value, double x, bool continues, Colour colour, std::vector<Num> dashes,
                          Node (*marker)(double, double), const char* cls, const char* name) {
        if (!continues || s.lines.empty()) {
            s.lines.push_back(series_line(colour, std::move(dashes)));
            s.paths.emplace_back();
        }
        const double at = frame.page_x(value), y = page_y(x);
        s.lines.back().points.push_back({page(at), page(y)});
        s.paths.back().push_back({at, y});
        marks.push_back({at, y});
        s.markers.push_back(marker(at, y));
        s.markers.back().cls = cls;
        add_data(s.markers.back(), "value", value);
        add_data(s.markers.back(), name, x);
    };
    bool previous_ok = false;
    for (const RatingSweepRow& row : rows) {
        const bool ok = row.error == 0 && placed(row.xD) && placed(row.xW);
        if (!std::isfinite(row.value) || !ok) {
            if (std::isfinite(row.value) && row.error != 0) {
                Node failed = failed_mark(frame.page_x(row.value), frame.bottom());
                add_data(failed, "value", row.value);
                failed.data.push_back({"error", std::to_string(row.error)});
                crosses.push_back(std::move(failed));
                marks.push_back({frame.page_x(row.value), frame.bottom() - 8});
            }
            previous_ok = false;
            continue;
        }
        join(distillate, row.value, *row.xD, previous_ok, kDistillateColour, {}, distillate_marker, "distillate", "xD");
        join(bottoms, row.value, *row.xW, previous_ok, kBottomsColour, kBottomsDashes, bottoms_marker, "bottoms", "xW");
        previous_ok = true;
    }
    Node series = group("series");
    for (auto* part : {&bottoms.lines, &distillate.lines, &bottoms.markers, &distillate.markers, &crosses}) {
        for (Node& n : *part) series.children.push_back(std::move(n));
    }
    plot.children.push_back(std::move(series));
    if (ringed) {
        for (const auto& [x, name] : {std::pair{base.xD, "xD"}, std::pair{base.xW, "xW"}}) {
            if (!placed(x)) continue;
            Node ring = base_ring(frame.page_x(*base_x), page_y(*x));
            marks.push_back({frame.page_x(*base_x), page_y(*x)});
            add_data(ring, "value", *base_x);
            add_data(ring, name, *x);
            plot.children.push_back(std::move(ring));
        }
    }
    out.children.push_back(std::move(plot));

    std::vector<Node> distillate_entry = sample_line(kDistillateColour, 1.6);
    distillate_entry.push_back(distillate_marker(13, 0));
    std::vector<Node> bottoms_entry = sample_line(kBottomsColour, 1.6, kBottomsDashes);
    bottoms_entry.push_back(bottoms_marker(13, 0));
    std::vector<LegendEntry> entries = {{distillate_entry, {{"馏出液组成 x"}, {"D", true}}},
                                        {bottoms_entry, {{"釜液组成 x"}, {"W", true}}}};
    if (!crosses.empty()) entries.push_back(failed_entry());
    if (ringed) entries.push_back(base_entry(swept.symbol, *base_x));
    // Where it hides least of the plot: on its right at the top, the middle
    // or the bottom, then on its left; the first that hides nothing.
    std::vector<std::vector<Point>> paths = distillate.paths;
    paths.insert(paths.end(), bottoms.paths.begin(), bottoms.paths.end());
    Node trial;
    const Box size = legend(trial, frame.right(), frame.top, false, entries);
    const double middle = frame.top + frame.height / 2 - (size.y1 - size.y0) / 2 - 10;
    const double left_side = frame.left + (size.x1 - size.x0) + 20;
    struct Place {
        double right, edge;
        bool at_bottom;
    };
    Node best;
    int least = -1;
    for (const Place p : {Place{frame.right(), frame.top, false}, Place{frame.right(), middle, false},
                          Place{frame.right(), frame.bottom(), true}, Place{left_side, frame.top, false},
                          Place{left_side, middle, false}, Place{left_side, frame.bottom(), true}}) {
        Node candidate;
        const int hides = hidden(legend(candidate, p.right, p.edge, p.at_bottom, entries), paths, marks);
        if (least < 0 || hides < least) {
            least = hides;
            best = std::move(candidate.children.front());
        }
        if (least == 0) break;
    }
    out.children.push_back(std::move(best));
    return drawing;
}

}  // namespace veltrano::diagram
