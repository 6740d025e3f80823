// The vapour–liquid equilibrium of a binary at its pressure: the x–y diagram
// on the left, and where the curve knows its bubble temperatures the T–x–y
// diagram beside it, the bubble curve below the dew curve, both meeting the
// pure components' boiling points at the ends and each azeotrope between.
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "draw.h"
#include "veltrano/calc/curve.h"

namespace veltrano::diagram {

namespace {

using namespace draw;
using calc::Azeotrope;
using calc::EquilibriumCurve;
using Pieces = std::vector<std::vector<Point>>;

// Both diagrams side by side, each 440 pixels square; a curve without
// temperatures has the x–y diagram alone, as large as the McCabe–Thiele plot.
constexpr double kTop = 96;  // under the title and the line naming the azeotropes
constexpr double kPairWidth = 1100, kPairSize = 440, kXyLeft = 90, kTxyLeft = 630;
constexpr double kAloneWidth = 720, kAloneSize = 580;
constexpr double kBelowPlot = 70;  // the tick labels and the axis caption
constexpr Colour kBubbleColour = kCurveColour, kDewColour = kRectifyingColour, kAzeotropeColour = kFeedColour;
constexpr double kLabelSize = 12;

// A curve traced through its parameter t from 0 to 1: the points at(t) of
// a coarse grid and of `seeds` (the data's own liquids, the azeotropes), and
// between neighbours more, halving, until no chord is longer than 2.5 pixels
// at `sx`, `sy` pixels per unit: as smooth as the eye can tell, steep or
// flat. Where at(t) is unknown (a data curve's temperatures outside its
// points) the curve is broken; each piece has at least two points.
Pieces trace(const std::function<std::optional<Point>(double)>& at, std::vector<double> seeds, double sx, double sy) {
    constexpr int kCoarse = 64, kDeepest = 16;
    constexpr double kChord = 2.5;
    for (int i = 0; i <= kCoarse; ++i) seeds.push_back(i / static_cast<double>(kCoarse));
    std::sort(seeds.begin(), seeds.end());
    seeds.erase(std::unique(seeds.begin(), seeds.end()), seeds.end());

    const auto known = [&](double t) {
        std::optional<Point> p = at(t);
        return p && std::isfinite(p->x) && std::isfinite(p->y) ? p : std::nullopt;
    };
    Pieces pieces;
    std::vector<Point> run;
    const auto flush = [&] {
        if (run.size() >= 2) pieces.push_back(std::move(run));
        run.clear();
    };
    // Adds the points after a up to b.
    const std::function<void(double, Point, double, Point, int)> refine = [&](double ta, Point a, double tb, Point b,
                                                                              int depth) {
        if (depth < kDeepest && std::hypot((b.x - a.x) * sx, (b.y - a.y) * sy) > kChord) {
            const double tm = ta / 2 + tb / 2;
            if (const std::optional<Point> m = known(tm)) {
                refine(ta, a, tm, *m, depth + 1);
                refine(tm, *m, tb, b, depth + 1);
                return;
            }
            flush();  // unknown in between: the curve breaks there
        }
        run.push_back(b);
    };
    std::optional<Point> last;
    double t_last = 0;
    for (const double t : seeds) {
        if (!(t >= 0 && t <= 1)) continue;
        const std::optional<Point> p = known(t);
        if (!p) {
            flush();
        } else if (last) {
            refine(t_last, *last, t, *p, 0);
        } else {
            run.push_back(*p);
        }
        last = p;
        t_last = t;
    }
    flush();
    return pieces;
}

std::string fraction_text(double x) { return number_text(fixed(x, 4)); }
std::string celsius_text(double T) { return number_text(fixed(T, 2)) + " °C"; }

// The line under the title: each azeotrope with its kind, or that there is none.
Runs azeotropes_line(const std::vector<Azeotrope>& found) {
    if (found.empty()) return {{"此压力下无共沸点"}};
    std::string line;
    for (const Azeotrope& a : found) {
        if (!line.empty()) line += "　　";
        line += std::string(a.minimum_boiling ? "最低共沸点" : "最高共沸点") + " x = " + fraction_text(a.x);
        if (a.temperature) line += "，T = " + celsius_text(*a.temperature);
    }
    return {{line}};
}

// The azeotrope's mark: an orange disc ringed in black, `r` in the units it is drawn in.
Node azeotrope_mark(Num cx, Num cy, Num r, Num ring, const Azeotrope& a) {
    Node mark = circle(cx, cy, r);
    mark.cls = "azeotrope";
    mark.style.fill = kAzeotropeColour;
    mark.style.stroke = kStepColour;
    mark.style.stroke_width = ring;
    mark.data.push_back({"x", exact_text(a.x)});
    if (a.temperature) mark.data.push_back({"t", exact_text(*a.temperature)});
    return mark;
}

Node measured_dot(Num cx, Num cy, Num r) {
    Node dot = circle(cx, cy, r);
    dot.cls = "measured";
    dot.style.fill = kStepColour;
    return dot;
}

// The azeotrope's composition (and temperature) in two lines beside its mark
// at (px, py) on the page. Tried in the directions `ways` (x: -1 left, 0
// centred, 1 right; y: -1 above, 1 below) in turn, the first whose text lies
// inside `room`; failing all, the last moved sideways into it. Returns the
// box the text covers.
Box azeotrope_label(Node& out, double px, double py, const Azeotrope& a, const std::vector<Point>& ways,
                     const Box& room) {
    std::vector<std::string> lines = {"共沸点 x = " + fraction_text(a.x)};
    if (a.temperature) lines.push_back("T = " + celsius_text(*a.temperature));
    double w = 0;
    for (const std::string& l : lines) w = std::max(w, runs_width({{l}}, kLabelSize));
    const double h = 15.0 * static_cast<double>(lines.size());
    Box box{};
    for (const Point way : ways) {
        const double x0 = way.x < 0 ? px - 9 - w : way.x > 0 ? px + 9 : px - w / 2;
        const double y0 = way.y > 0 ? py + 8 : py - 8 - h;
        box = {x0, y0, x0 + w, y0 + h};
        if (box.inside(room)) break;
    }
    const double shift = std::max(room.x0 - box.x0, std::min(0.0, room.x1 - box.x1));
    Node label = group("azeotrope-label");
    label.style.font_size = page(kLabelSize);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        label.children.push_back(text(page(box.x0 + shift), page(box.y0 + 12 + 15.0 * static_cast<double>(i)),
                                      {{lines[i]}}));
    }
    out.children.push_back(std::move(label));
    return {box.x0 + shift, box.y0, box.x1 + shift, box.y1};
}

// A box's outline, for what the legend keeps clear of.
std::vector<Point> outline(const Box& b) {
    return {{b.x0, b.y0}, {b.x1, b.y0}, {b.x1, b.y1}, {b.x0, b.y1}, {b.x0, b.y0}};
}

// The legend in the first corner of `plot` that none of `drawn` (polylines
// and single points, on the page) passes through, in the first if every
// corner is taken: from the top right, or from the bottom right with
// `bottom_first` (under the diagonal of an x–y diagram); then the top left.
void legend_clear_of(Node& out, const Box& plot, const Pieces& drawn, const std::vector<LegendEntry>& entries,
                     bool bottom_first) {
    Node scratch;
    const Box first = legend(scratch, plot.x1, plot.y0, false, entries);
    const double left_edge = plot.x0 + (first.x1 - first.x0) + 20;
    const struct { double right, edge; bool bottom; } corners[] = {
        {plot.x1, plot.y0, false}, {left_edge, plot.y0, false}, {plot.x1, plot.y1, true}, {left_edge, plot.y1, true}};
    const int order[2][4] = {{0, 1, 2, 3}, {2, 1, 0, 3}};
    for (const int corner : order[bottom_first]) {
        const auto& c = corners[corner];
        scratch.children.clear();
        const Box box = legend(scratch, c.right, c.edge, c.bottom, entries);
        const bool clear = std::none_of(drawn.begin(), drawn.end(), [&](const std::vector<Point>& l) {
            if (l.size() == 1) return crosses(box, l[0], l[0]);
            for (std::size_t i = 0; i + 1 < l.size(); ++i) {
                if (crosses(box, l[i], l[i + 1])) return true;
            }
            return false;
        });
        if (clear) {
            out.children.push_back(std::move(scratch.children.back()));
            return;
        }
    }
    const auto& c = corners[order[bottom_first][0]];
    legend(out, c.right, c.edge, c.bottom, entries);
}

// Both curves' entries, then the dots' and the azeotropes' where the diagram has them.
std::vector<LegendEntry> legend_entries(LegendEntry first, LegendEntry second, bool measured, bool azeotropes) {
    std::vector<LegendEntry> entries = {std::move(first), std::move(second)};
    const auto sample = [](Node n) {
        n.cls.clear();  // a reader of the file counts the diagram's own
        n.data.clear();
        return std::vector<Node>{std::move(n)};
    };
    if (measured) entries.push_back({sample(measured_dot(whole(13), whole(0), fixed(3, 1))), {{"数据点"}}});
    if (azeotropes) {
        entries.push_back({sample(azeotrope_mark(whole(13), whole(0), fixed(4.5, 1), whole(1), {0, true, {}})),
                           {{"共沸点"}}});
    }
    return entries;
}

// The x–y diagram: the unit square, its diagonal, the curve, the measured
// points and each azeotrope on the diagonal.
void xy_diagram(Node& out, const Frame& f, const EquilibriumCurve& curve, const std::vector<Azeotrope>& found,
                const std::vector<double>& seeds) {
    Node plot = unit_square_plot(f);
    polylines(plot, f, {{{0, 0}, {1, 1}}}, "diagonal", kDiagonalColour, 1);
    Pieces pieces;
    for (const auto& traced : trace([&](double x) { return Point{x, curve.vapour(x)}; }, seeds, f.scale, f.scale)) {
        for (auto& piece : clip_to_unit_square(traced)) pieces.push_back(std::move(piece));
    }
    polylines(plot, f, pieces, "equilibrium", kCurveColour, 2);

    // What the legend keeps clear of, on the page.
    Pieces drawn = {{{f.left, f.bottom()}, {f.right(), f.top}}};
    const auto on_page = [&](Point p) { return Point{f.page_x(p.x), f.page_y(p.y)}; };
    for (const auto& piece : pieces) {
        drawn.emplace_back();
        for (const Point p : piece) drawn.back().push_back(on_page(p));
    }
    const auto measured = curve.measured_points();
    for (const auto& [x, y] : measured) {
        if (!in_unit_square({x, y})) continue;
        plot.children.push_back(measured_dot(exact(x), exact(y), f.length(3)));
        drawn.push_back({on_page({x, y})});
    }
    for (const Azeotrope& a : found) {
        plot.children.push_back(azeotrope_mark(exact(a.x), exact(a.x), f.length(4.5), f.length(1), a));
        drawn.push_back({on_page({a.x, a.x})});
    }
    out.children.push_back(std::move(plot));
    unit_square_ticks(out, f);

    // Each label above the diagonal to the left of its azeotrope, or below
    // it to the right: whichever way the curve crosses, it falls away from
    // there faster or slower than the diagonal and leaves the corner free.
    const Box room{f.left + 4, f.top + 4, f.right() - 4, f.bottom() - 4};
    for (const Azeotrope& a : found) {
        drawn.push_back(outline(azeotrope_label(out, f.page_x(a.x), f.page_y(a.x), a, {{-1, -1}, {1, 1}}, room)));
    }
    legend_clear_of(out, f.box(), drawn,
                    legend_entries({sample_line(kCurveColour, 2), {{"平衡线 y*(x)"}}},
                                   {sample_line(kDiagonalColour, 1), {{"对角线 y = x"}}}, !measured.empty(),
                                   !found.empty()),
                    true);
}

// The T–x–y plot on the page: compositions 0 to 1 across, T0 to T1 (°C) up.
struct TxyFrame {
    double left, top, size;
    double T0, T1;
    double page_x(double x) const { return left + x * size; }
    double page_y(double T) const { return top + size - (T - T0) / (T1 - T0) * size; }
    Point on_page(Point p) const { return {page_x(p.x), page_y(p.y)}; }
    Box box() const { return {left, top, left + size, top + size}; }
};

// The lowest and highest temperature of `pieces`, (x, T) each.
std::optional<std::pair<double, double>> temperature_range(const std::vector<const Pieces*>& all) {
    double low = INFINITY, high = -INFINITY;
    for (const Pieces* pieces : all) {
        for (const auto& piece : *pieces) {
            for (const Point p : piece) {
                low = std::min(low, p.y);
                high = std::max(high, p.y);
            }
        }
    }
    if (!(low <= high)) return std::nullopt;
    return std::pair{low, high};
}

// The temperature axis's ticks: over all the curves reach, and with room
// for an azeotrope's label below a minimum of T (above a maximum), 50 pixels.
std::vector<double> temperature_ticks(double low, double high, const std::vector<Azeotrope>& found) {
    constexpr double kRoom = 50 / kPairSize;
    for (const Azeotrope& a : found) {
        if (!a.temperature || !std::isfinite(*a.temperature)) continue;
        if (a.minimum_boiling) {
            low = std::min(low, (*a.temperature - kRoom * high) / (1 - kRoom));
        } else {
            high = std::max(high, (*a.temperature - kRoom * low) / (1 - kRoom));
        }
    }
    return axis_ticks(low, high);
}

// The grid at every tenth of composition and every temperature tick, the
// frame, the ticks with their values and both captions.
void txy_axes(Node& out, const TxyFrame& f, const std::vector<double>& ticks) {
    Node grid;
    grid.kind = Node::Kind::kGrid;
    grid.cls = "grid";
    grid.style.stroke = kGridColour;
    grid.style.stroke_width = whole(1);
    Node marks = group("ticks");
    marks.style.font_size = whole(12);
    marks.style.stroke = kFrameColour;
    marks.style.stroke_width = whole(1);
    const auto tick = [&](double ax, double ay, double bx, double by, double tx, double ty, std::string label,
                          Anchor anchor) { tick_mark(marks, {ax, ay}, {bx, by}, {tx, ty}, std::move(label), anchor); };
    const double bottom = f.top + f.size, right = f.left + f.size;
    for (int i = 0; i <= 10; ++i) {
        const double x = f.page_x(i / 10.0);
        if (i > 0 && i < 10) grid.points.insert(grid.points.end(), {{page(x), page(f.top)}, {page(x), page(bottom)}});
        tick(x, bottom, x, bottom + 5, x, bottom + 19, number_text(fixed(i / 10.0, 1)), Anchor::kMiddle);
    }
    const double step = ticks[1] - ticks[0];
    for (const double T : ticks) {
        const double y = f.page_y(T);
        if (T > f.T0 && T < f.T1) {
            grid.points.insert(grid.points.end(), {{page(f.left), page(y)}, {page(right), page(y)}});
        }
        tick(f.left - 5, y, f.left, y, f.left - 8, y + 4, tick_text(T, step), Anchor::kEnd);
    }
    out.children.push_back(std::move(grid));
    out.children.push_back(page_frame(f.left, f.top, f.size, f.size));
    out.children.push_back(std::move(marks));
    Node caption = text_line(f.left + f.size / 2, bottom + 44, 14, {{"液相组成 x，汽相组成 y（轻组分摩尔分数）"}});
    caption.style.anchor = Anchor::kMiddle;
    out.children.push_back(std::move(caption));
    out.children.push_back(y_caption(f.left - 50, f.top + f.size / 2, {{"温度 T/°C"}}));
}

// The T–x–y diagram: the bubble curve T(x) and the dew curve, the same
// temperatures over the vapours y*(x) in equilibrium with those liquids
// (the dew point of vapour y is the bubble point of the liquid under it),
// drawn only where the curve knows T; the measured points on both; each
// azeotrope where the two curves meet.
void txy_diagram(Node& out, const TxyFrame& f, const Pieces& bubble, const Pieces& dew, const EquilibriumCurve& curve,
                 const std::vector<Azeotrope>& found) {
    Node panel = group("txy");
    panel.data = {{"t-range", exact_text(f.T0) + " " + exact_text(f.T1)}};
    Pieces drawn;
    const auto lines = [&](const Pieces& pieces, const char* cls, Colour colour) {
        for (const auto& piece : pieces) {
            std::vector<Pt> points;
            drawn.emplace_back();
            for (const Point p : piece) {
                const Point at = f.on_page(p);
                points.push_back({page(at.x), page(at.y)});
                drawn.back().push_back(at);
            }
            Node l = polyline(std::move(points), colour, fixed(2, 0));
            l.cls = cls;
            l.style.fill = kNoPaint;
            l.style.round = true;
            panel.children.push_back(std::move(l));
        }
    };
    lines(bubble, "bubble", kBubbleColour);
    lines(dew, "dew", kDewColour);
    const auto measured = curve.measured_points();
    bool any_measured = false;
    for (const auto& [x, y] : measured) {
        const std::optional<double> T = curve.temperature(x);
        if (!T || !std::isfinite(*T)) continue;
        any_measured = true;
        for (const double v : {x, y}) {
            const Point at = f.on_page({v, *T});
            panel.children.push_back(measured_dot(page(at.x), page(at.y), fixed(3, 0)));
            drawn.push_back({at});
        }
    }
    std::vector<const Azeotrope*> marked;
    for (const Azeotrope& a : found) {
        if (!a.temperature || !std::isfinite(*a.temperature)) continue;
        const Point at = f.on_page({a.x, *a.temperature});
        panel.children.push_back(azeotrope_mark(page(at.x), page(at.y), fixed(4.5, 1), whole(1), a));
        drawn.push_back({at});
        marked.push_back(&a);
    }
    out.children.push_back(std::move(panel));

    // Both curves lie above a minimum-boiling azeotrope and below a maximum-boiling one.
    const Box room{f.left + 4, f.top + 4, f.left + f.size - 4, f.top + f.size - 4};
    for (const Azeotrope* a : marked) {
        const Point at = f.on_page({a->x, *a->temperature});
        drawn.push_back(outline(azeotrope_label(out, at.x, at.y, *a, {{0, a->minimum_boiling ? 1.0 : -1.0}}, room)));
    }
    legend_clear_of(out, f.box(), drawn,
                    legend_entries({sample_line(kBubbleColour, 2), {{"泡点线 T(x)"}}},
                                   {sample_line(kDewColour, 2), {{"露点线 T(y)"}}}, any_measured, !marked.empty()),
                    false);
}

}  // namespace

Scene vle_diagram(const EquilibriumCurve& curve) {
    const std::vector<Azeotrope> found = calc::azeotropes(curve);
    std::vector<double> seeds = curve.knots();
    for (const Azeotrope& a : found) seeds.push_back(a.x);

    // The temperatures first: they decide whether there is a second diagram.
    // A first look at them sets the scale the curves are traced at; the
    // axis then spans all they reach.
    Pieces bubble, dew;
    if (curve.knows_temperature()) {
        const auto bubble_at = [&](double x) -> std::optional<Point> {
            const std::optional<double> T = curve.temperature(x);
            return T ? std::optional<Point>({x, *T}) : std::nullopt;
        };
        const Pieces rough = trace(bubble_at, seeds, 1, 0);
        if (const auto range = temperature_range({&rough})) {
            const double sy = kPairSize / std::max(range->second - range->first, 1e-9);
            bubble = trace(bubble_at, seeds, kPairSize, sy);
            dew = trace(
                [&](double x) -> std::optional<Point> {
                    const std::optional<Point> b = bubble_at(x);
                    return b ? std::optional<Point>({curve.vapour(x), b->y}) : std::nullopt;
                },
                seeds, kPairSize, sy);
        }
    }
    const std::optional<std::pair<double, double>> range = temperature_range({&bubble, &dew});
    const double width = range ? kPairWidth : kAloneWidth;
    const Frame xy = Frame::unit_square(kXyLeft, kTop, range ? kPairSize : kAloneSize);
    Scene drawing = page_of(width, xy.bottom() + kBelowPlot, "汽液平衡 " + curve.description());
    Node& out = drawing.root;
    Node heading = title_line(width, 36, 19, {{"汽液平衡　" + curve.description()}});
    heading.style.bold = true;
    out.children.push_back(std::move(heading));
    out.children.push_back(title_line(width, 64, 14, azeotropes_line(found)));

    xy_diagram(out, xy, curve, found, seeds);
    if (range) {
        const std::vector<double> ticks = temperature_ticks(range->first, range->second, found);
        const TxyFrame txy{kTxyLeft, kTop, kPairSize, ticks.front(), ticks.back()};
        txy_axes(out, txy, ticks);
        txy_diagram(out, txy, bubble, dew, curve, found);
    }
    return drawing;
}

}  // namespace veltrano::diagram
