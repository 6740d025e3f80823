// The McCabe–Thiele diagram of a designed column: the plate-by-plate
// diagram's page and style, with the q-line at its own slope, the operating
// lines meeting on it, the pseudo-equilibrium curve of a tray efficiency
// below 1, and every stage numbered. Where a high purity crowds the steps
// into a corner, a magnified view of that corner below the plot holds their
// numbers, and a rectangle on the plot shows where it looks.
#include <charconv>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "design_diagram.h"

namespace veltrano::diagram {

namespace designed {

namespace {

using calc::ColumnInputs;

constexpr double kPageWidth = 720;
// One line of inputs more than the plate-by-plate diagram: q and E.
const Frame kPlot = Frame::unit_square(90, 134, 580);
// A step this far from both its neighbours is not crowded: a number that
// does not sit well beside it would not sit better magnified.
constexpr double kCrowdedStep = 20;

// A number for people: six significant digits, a true minus sign.
std::string rounded(double v) {
    char buf[32];
    const auto written = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    std::string s(buf, written.ec == std::errc() ? written.ptr : buf);
    return s[0] == '-' ? "−" + s.substr(1) : s;
}

// "q 线（q = 1.5，斜率 3）": the feed condition and what it does to the line.
Runs q_line_text(double q) {
    if (q == 1) return {{"q 线（q = 1，竖直线 x = x"}, {"F", true}, {"）"}};
    if (q == 0) return {{"q 线（q = 0，水平线 y = x"}, {"F", true}, {"）"}};
    return {{"q 线（q = " + text(q) + "，斜率 " + rounded(q / (q - 1)) + "）"}};
}

}  // namespace

std::vector<int> unreadable(const std::vector<StepLabel>& labels, const std::vector<Box>& taken, const Box& room,
                            double nearest, const Frame* frame, const calc::EquilibriumCurve* curve) {
    std::vector<bool> bad(labels.size(), false);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const Box b = labels[i].box();
        if (!b.inside(room) || std::any_of(taken.begin(), taken.end(), [&](const Box& t) { return t.overlaps(b); })) {
            bad[i] = true;
        }
        if (frame && curve) {
            // The curve rises: it crosses the box when it is below the top
            // at the left edge and above the bottom at the right edge.
            const Frame& f = *frame;
            const double x0 = f.x0 + (b.x0 - f.left) / f.scale, x1 = f.x0 + (b.x1 - f.left) / f.scale;
            const double y0 = f.y0 + (f.bottom() - b.y1) / f.scale, y1 = f.y0 + (f.bottom() - b.y0) / f.scale;
            if (curve->vapour(x0) < y1 && curve->vapour(x1) > y0) bad[i] = true;
        }
        if (i > 0 && std::hypot(labels[i].cx - labels[i - 1].cx, labels[i].cy - labels[i - 1].cy) < nearest) {
            bad[i] = bad[i - 1] = true;
        }
        for (std::size_t j = i + 1; j < labels.size(); ++j) {
            if (label_hits(labels[i], labels[j]) || label_hits(labels[j], labels[i])) bad[i] = bad[j] = true;
        }
    }
    std::vector<int> stages;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (bad[i]) stages.push_back(labels[i].stage);
    }
    return stages;
}

std::size_t first_spacing(const Column& c, int first, int last, const Frame& f) {
    std::size_t k = 0;
    while (k + 1 < std::size(kApart) && c.numbered(first, last, kApart[k], f).size() > kMostNumbers) ++k;
    return k;
}

namespace {

// The page's numbers and what they keep clear of.
struct Layout {
    std::optional<Inset> a, b;
    std::vector<StepLabel> labels;
    std::vector<Box> taken;  // besides the numbers
    Node legend;
};

// A marker for the legend, drawn as on the plot.
std::vector<Node> sample_dot(Colour fill, Colour stroke, double radius) {
    Node d = circle(whole(13), whole(0), page(radius));
    d.style.fill = fill;
    d.style.stroke = stroke;
    d.style.stroke_width = page(1.4);
    return {d};
}

std::vector<LegendEntry> legend_entries(const Column& c, bool thinned) {
    std::vector<LegendEntry> entries = {
        {sample_line(kCurveColour, 2),
         {{c.constant_alpha ? "平衡线 y = αx/(1 + (α − 1)x)" : "平衡线（" + c.curve.description() + "）"}}}};
    if (!c.constant_alpha) {
        if (!c.curve.measured_points().empty()) entries.push_back({sample_dot(kCurveColour, kNoPaint, 2.6), {{"数据点"}}});
        for (const calc::Azeotrope& a : c.azeotropes) {
            entries.push_back({sample_dot(kWhite, kFrameColour, 4.5),
                               {{std::string(a.minimum_boiling ? "最低" : "最高") + "恒沸点 x = " + rounded(a.x) +
                                 (a.temperature ? "，" + rounded(*a.temperature) + " °C" : "")}}});
        }
        entries.push_back({sample_dot(kQLineColour, kNoPaint, 3.6),
                           {{std::string(c.d.tangent_pinch ? "切点夹紧" : "进料处夹紧") + "（x = " + rounded(c.d.x_pinch) +
                             "，y = " + rounded(c.d.y_pinch) + "）"}}});
    }
    if (c.E < 1) {
        entries.push_back({sample_line(kCurveColour, 1.4, {whole(5), whole(3)}), {{"拟平衡线（E = " + text(c.E) + "）"}}});
    }
    entries.push_back({sample_line(kDiagonalColour, 1), {{"对角线 y = x"}}});
    entries.push_back({sample_line(kQLineColour, 1.4, {whole(6), whole(4)}), q_line_text(c.in.q)});
    entries.push_back({sample_line(kRectifyingColour, 1.6), {{"精馏段操作线"}}});
    entries.push_back({sample_line(kStrippingColour, 1.6), {{"提馏段操作线"}}});
    entries.push_back({sample_line(kStepColour, 1.3),
                       {{thinned ? "逐板梯级（数字为板号，过密处只标部分）" : "逐板梯级（数字为板号）"}}});
    entries.push_back({sample_line(kFeedColour, 3.2), {{"进料板的梯级"}}});
    return entries;
}

// Where each stage is numbered: stages 1..top in inset A, bottom..N in
// inset B, those between in the plot, fewer where they crowd it. The
// corners start in the insets whose neighbours crowd them on the plot; then
// while a number on the plot cannot be read, the corner it belongs to joins
// its end's inset if that can still magnify it, or the plot numbers fewer.
using LegendOf = std::function<std::vector<LegendEntry>(bool thinned)>;

Layout lay_out(const Column& c, const LegendOf& legend_of) {
    const Frame& plot = c.plot;
    const auto corner_gap = [&](int n) {  // on the plot, to the next stage's corner
        return std::hypot(c.x(n) - c.x(n + 1), c.y(n) - c.y(n + 1)) * c.plot.scale;
    };
    const auto nearest = [&](int n) {
        return std::min(n > 1 ? corner_gap(n - 1) : INFINITY, n < c.N ? corner_gap(n) : INFINITY);
    };
    const auto crowded = [&](int n) { return nearest(n) < kNearestUnmagnified; };
    int top = 0, bottom = c.N + 1;
    while (top + 1 < bottom && crowded(top + 1) && magnifiable(c, 1, top + 1)) ++top;
    while (bottom - 1 > top && crowded(bottom - 1) && magnifiable(c, bottom - 1, c.N)) --bottom;

    Node scratch;
    const std::vector<Box> marks = composition_marks(scratch, plot, c, false);
    const Box room{plot.left + 1, plot.top - 14, plot.right() + 14, plot.bottom() - 1};
    const double a_left = plot.right() - kInsetSize, b_left = plot.left;
    Layout l;
    for (std::size_t apart = first_spacing(c, top + 1, bottom - 1, plot);;) {
        const std::vector<int> stages = c.numbered(top + 1, bottom - 1, kApart[apart], plot);
        l.taken = marks;
        l.legend = group();
        const bool thinned = static_cast<int>(stages.size()) < bottom - top - 1;
        l.taken.push_back(legend(l.legend, plot.right(), plot.bottom(), true, legend_of(thinned)));
        l.a.reset();
        l.b.reset();
        if (top > 0) l.a = Inset{"A", 1, top, window_of(c, 1, top, a_left), 0, {}, {}, {}};
        if (bottom <= c.N) l.b = Inset{"B", bottom, c.N, window_of(c, bottom, c.N, b_left), 0, {}, {}, {}};
        for (std::optional<Inset>* inset : {&l.a, &l.b}) {
            if (!*inset) continue;
            // Numbers may cross the rectangle's thin outline, not its name.
            mark_window(**inset, plot, l.taken);
            l.taken.push_back((*inset)->mark_label);
        }
        l.labels = place_step_numbers(plot, c.corners(stages, plot), c.feed, room, l.taken, true);
        const std::vector<int> poor = unreadable(l.labels, l.taken, room, kNearestUnmagnified, &plot, &c.curve);
        if (poor.empty()) break;
        // One corner at a time from each end, the unreadable one nearest
        // it and those before it: the fewer steps an inset holds, the more
        // it magnifies them.
        const int upper = poor.front(), lower = poor.back();
        bool moved = false;
        if (upper - 1 < c.N - upper && nearest(upper) < kCrowdedStep && magnifiable(c, 1, upper)) {
            top = upper;
            moved = true;
        }
        if (lower - 1 >= c.N - lower && lower > top && nearest(lower) < kCrowdedStep && magnifiable(c, lower, c.N)) {
            bottom = lower;
            moved = true;
        }
        if (moved) continue;
        if (unreadable(l.labels, l.taken, room, kNearestCorners).empty() || apart + 1 == std::size(kApart)) break;
        ++apart;
    }
    for (std::optional<Inset>* inset : {&l.a, &l.b}) {
        if (*inset) number_inset(**inset, c);
    }
    return l;
}

// The numbers, the magnified corners and their marks on the plot, after
// the composition marks and the legend; the page's height.
double write_layout(Node& out, const Column& c, const Layout& layout) {
    composition_marks(out, c.plot, c, false);
    for (const Node& n : layout.legend.children) out.children.push_back(n);
    for (const std::optional<Inset>* inset : {&layout.a, &layout.b}) {
        if (!*inset) continue;
        const Box& m = (*inset)->mark;
        const Box& n = (*inset)->mark_label;
        Node mark = rect(page(m.x0), page(m.y0), page(m.x1 - m.x0), page(m.y1 - m.y0));
        mark.cls = "inset-mark";
        mark.data.push_back({"inset", (*inset)->name});
        mark.style.fill = kNoPaint;
        mark.style.stroke = kFrameColour;
        mark.style.stroke_width = whole(1);
        out.children.push_back(std::move(mark));
        Node name = text_line((n.x0 + n.x1) / 2, n.y1 - 3, 12, {{(*inset)->name}});
        name.cls = "inset-name";
        name.style.anchor = Anchor::kMiddle;
        name.style.bold = true;
        name.style.fill = kFrameColour;
        out.children.push_back(std::move(name));
    }
    write_step_numbers(out, layout.labels, c.feed);
    for (const std::optional<Inset>* inset : {&layout.a, &layout.b}) {
        if (*inset) draw_inset(out, **inset, c);
    }
    const bool insets = layout.a || layout.b;
    return insets ? c.plot.bottom() + kInsetBelowPlot + kInsetSize + 34 : c.plot.bottom() + 78;
}

}  // namespace

}  // namespace designed

using namespace designed;

namespace {

// What a curve other than constant alpha shows on the plot, in mole
// fractions: the measured points it was drawn through, each azeotrope on
// the diagonal, and where the binding operating line touches the curve.
void curve_marks(Node& plot, const Frame& f, const Column& c) {
    Node marks = group("curve-marks");
    const auto dot = [&](double x, double y, double radius, Colour fill, Colour stroke, const char* cls) {
        if (!(x >= 0 && x <= 1 && y >= 0 && y <= 1)) return;
        Node d = circle(exact(x), exact(y), f.length(radius));
        d.cls = cls;
        d.style.fill = fill;
        d.style.stroke = stroke;
        d.style.stroke_width = f.length(1.4);
        marks.children.push_back(std::move(d));
    };
    for (const auto& p : c.curve.measured_points()) dot(p[0], p[1], 2.6, kCurveColour, kNoPaint, "data-point");
    for (const calc::Azeotrope& a : c.azeotropes) dot(a.x, a.x, 4.5, kWhite, kFrameColour, "azeotrope");
    dot(c.d.x_pinch, c.d.y_pinch, 3.6, kQLineColour, kNoPaint, c.d.tangent_pinch ? "tangent-pinch" : "feed-pinch");
    plot.children.push_back(std::move(marks));
}

Scene drawn(const calc::DesignInputs& in, const calc::Design& design, const calc::EquilibriumCurve& curve,
            bool constant_alpha) {
    const Column c(in, design, curve, constant_alpha, kPlot);
    const Layout layout = lay_out(c, [&](bool thinned) { return legend_entries(c, thinned); });

    // On a curve other than constant alpha the title names it: the mixture,
    // its model and the pressure, or the user's data.
    const std::string named = constant_alpha ? std::string() : "（" + curve.description() + "）";
    Scene drawing = page_of(kPageWidth, 0, "McCabe–Thiele 图" + named);
    Node& out = drawing.root;
    Node title = title_line(kPageWidth, 36, 19,
                            {{"McCabe–Thiele 图" + named + "　进料板 " + std::to_string(c.feed) + "　理论板数 N = " +
                              std::to_string(c.N) + "（含再沸器）"}});
    title.style.bold = true;
    out.children.push_back(std::move(title));
    Runs inputs1, inputs2, inputs3;
    for (auto input : {&ColumnInputs::F, &ColumnInputs::xF, &ColumnInputs::xD}) append_input(inputs1, in.column, input);
    for (auto input : {&ColumnInputs::xW, &ColumnInputs::R, &ColumnInputs::alpha}) {
        if (input != &ColumnInputs::alpha || constant_alpha) append_input(inputs2, in.column, input);
    }
    append_quantity(inputs3, "进料热状况参数", "q", "", in.q);
    inputs3.push_back({"　　"});
    append_quantity(inputs3, "默弗里板效率", "E", "", in.efficiency);
    out.children.push_back(title_line(kPageWidth, 64, 14, inputs1));
    out.children.push_back(title_line(kPageWidth, 86, 14, inputs2));
    out.children.push_back(title_line(kPageWidth, 108, 14, inputs3));

    Node plot = unit_square_plot(kPlot);
    plot_lines(plot, kPlot, c, 1, c.N, false);
    if (!constant_alpha) curve_marks(plot, kPlot, c);
    out.children.push_back(std::move(plot));
    unit_square_ticks(out, kPlot);
    drawing.height = write_layout(out, c, layout);
    return drawing;
}

}  // namespace

Scene design_diagram(const calc::DesignInputs& in, const calc::Design& design) {
    return drawn(in, design, calc::AlphaCurve(in.column.alpha), true);
}

Scene design_diagram(const calc::DesignInputs& in, const calc::Design& design, const calc::EquilibriumCurve& curve) {
    return drawn(in, design, curve, false);
}

namespace draw {

bool readable(const std::vector<StepLabel>& labels, const std::vector<Box>& taken, const Box& room) {
    return unreadable(labels, taken, room, kNearestCorners).empty();
}

std::optional<double> number_crowded_plates(Node& out, const calc::ColumnInputs& in, const calc::ColumnResult& column,
                                            const Frame& plot, Point q_top, Point meet,
                                            const std::function<std::vector<LegendEntry>(bool thinned)>& legend_of) {
    // The plate-by-plate column as a design of q = 1 and E = 1: its stages
    // are its plates, its last plate the bottom stage.
    const calc::DesignInputs as_design{in, 1, 1};
    calc::Design d{};
    d.W = column.W;
    d.D = column.D;
    d.L = column.L;
    d.V = column.L + column.D;
    d.L_strip = column.L + in.F;
    d.V_strip = d.L_strip - column.W;
    d.x_pinch = d.x_q = q_top.x;
    d.y_pinch = d.y_q = q_top.y;
    d.x_meet = meet.x;
    d.y_meet = meet.y;
    d.feed_stage = column.feed_plate.value();
    d.stage_count = column.plate_count.value();
    for (int p = 1; p <= d.stage_count; ++p) {
        d.x.push_back(column.x.slots()[static_cast<std::size_t>(p)]);
        d.y.push_back(column.y.slots()[static_cast<std::size_t>(p)]);
    }
    const calc::AlphaCurve curve(in.alpha);
    const Column c(as_design, d, curve, true, plot);
    const Layout layout = lay_out(c, legend_of);
    if (!layout.a && !layout.b) return std::nullopt;
    return write_layout(out, c, layout);
}

}  // namespace draw

}  // namespace veltrano::diagram
