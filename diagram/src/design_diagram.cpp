// The McCabe–Thiele diagram of a designed column: the plate-by-plate
// diagram's page and style, with the q-line at its own slope, the operating
// lines meeting on it, the pseudo-equilibrium curve of a tray efficiency
// below 1, and every stage numbered. Where a high purity crowds the steps
// into a corner, a magnified view of that corner below the plot holds their
// numbers, and a rectangle on the plot shows where it looks.
#include <algorithm>
#include <charconv>
#include <functional>
#include <cmath>
#include <iterator>
#include <optional>
#include <set>
#include <string_view>

#include "draw.h"
#include "veltrano/calc/balances.h"

namespace veltrano::diagram {

namespace {

using namespace draw;
using calc::ColumnInputs;

constexpr double kPageWidth = 720;
// One line of inputs more than the plate-by-plate diagram: q and E.
const Frame kPlot = Frame::unit_square(90, 134, 580);
// The magnified corners, squares below the plot: B, the bottoms, on the left
// under small x; A, the distillate, on the right under large x.
constexpr double kInsetSize = 260;
// Their top below the plot, room for its axis caption and their own.
constexpr double kInsetBelowPlot = 92;
// Room inside a magnified corner around the steps it holds: numbers sit up
// and to the left of their corners, the composition marks right and below.
constexpr double kRoomLeft = 40, kRoomTop = 34, kRoomRight = 30, kRoomBottom = 24;
// A corner is magnified only when its steps fit in this many pixels of the
// plot: a larger window would magnify too little to help.
constexpr double kWidestWindow = 80;
// Corners nearer than this on the page: their leaders would not say which
// is which. A corner that an inset can magnify goes there already when its
// neighbour is nearer than the second distance, or its number sits on the
// equilibrium curve.
constexpr double kNearestCorners = 3, kNearestUnmagnified = 6;
// A step this far from both its neighbours is not crowded: a number that
// does not sit well beside it would not sit better magnified.
constexpr double kCrowdedStep = 20;
// Where numbers cannot all be read, only corners this many pixels apart are
// numbered: the feed stage first, then the roundest numbers.
constexpr double kApart[] = {0, 6, 10, 16, 25, 40, 60, 100, 160, 250, 400};
constexpr int kRound[] = {1000, 500, 200, 100, 50, 20, 10, 5, 2};
// A first guess at most numbers one plot can hold; the placement decides.
constexpr std::size_t kMostNumbers = 60;

std::string text(double v) { return exact_text(v); }

// A number for people: six significant digits, a true minus sign.
std::string rounded(double v) {
    char buf[32];
    const auto written = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    std::string s(buf, written.ec == std::errc() ? written.ptr : buf);
    return s[0] == '-' ? "−" + s.substr(1) : s;
}

// The designed column as the diagram needs it: its stages numbered from 1,
// stage 0 being the distillate where the staircase starts, and its lines.
struct Column {
    const calc::DesignInputs& in;
    const calc::Design& d;
    Frame plot;  // the unit square on the page
    int N, feed;
    double xF, xD, xW, alpha, E;
    double rectifying_a, rectifying_b;  // y = a x + b
    double stripping_a, stripping_b;

    Column(const calc::DesignInputs& in_, const calc::Design& d_, const Frame& plot_ = kPlot)
        : in(in_), d(d_), plot(plot_), N(d_.stage_count), feed(d_.feed_stage), xF(in_.column.xF), xD(in_.column.xD),
          xW(in_.column.xW), alpha(in_.column.alpha), E(in_.efficiency),
          rectifying_a(in_.column.R / (in_.column.R + 1.0)), rectifying_b(in_.column.xD / (in_.column.R + 1.0)),
          stripping_a(d_.L_strip / d_.V_strip), stripping_b(-(d_.W * in_.column.xW) / d_.V_strip) {}

    double x(int n) const { return n == 0 ? xD : d.x[static_cast<std::size_t>(n - 1)]; }
    double y(int n) const { return n == 0 ? xD : d.y[static_cast<std::size_t>(n - 1)]; }
    // Where stage n's step comes down: the vapour from the stage below on
    // the operating line, and under the reboiler the diagonal.
    double foot(int n) const { return n < N ? d.y[static_cast<std::size_t>(n)] : x(n); }

    // The curve a stage's liquid lies on: the pseudo-equilibrium curve of
    // its section's operating line, the equilibrium curve itself for an
    // ideal stage and for the reboiler.
    double curve_slope(int n) const {
        const double equilibrium = calc::equilibrium_slope(alpha, x(n));
        if (E == 1 || n == N) return equilibrium;
        const double a = n < feed ? rectifying_a : stripping_a;
        return a + E * (equilibrium - a);
    }
    double pseudo_vapour(double x_) const {
        return x_ > d.x_meet ? calc::pseudo_equilibrium_vapour(alpha, E, rectifying_a, rectifying_b, x_)
                             : calc::pseudo_equilibrium_vapour(alpha, E, stripping_a, stripping_b, x_);
    }

    // From (x(first - 1), y(first)) across and down through stage `last`.
    std::vector<Point> staircase(int first, int last) const {
        std::vector<Point> points = {{x(first - 1), y(first)}};
        for (int n = first; n <= last; ++n) {
            points.push_back({x(n), y(n)});
            points.push_back({x(n), foot(n)});
        }
        return points;
    }
    std::vector<Point> feed_step() const { return staircase(feed, feed); }

    // Stages first..last to be numbered on `f`: all of them, or with
    // `apart` pixels, only those whose corners lie that far from every
    // corner numbered already, the feed stage first, then the roundest
    // numbers (1000, 500, 200, 100, 50, ...), then the rest in order.
    std::vector<int> numbered(int first, int last, double apart, const Frame& f) const {
        std::vector<int> stages;
        for (int n = first; n <= last; ++n) stages.push_back(n);
        if (apart <= 0) return stages;
        const auto rank = [&](int n) {
            if (n == feed) return static_cast<int>(std::size(kRound)) + 1;
            return static_cast<int>(std::count_if(std::begin(kRound), std::end(kRound), [&](int k) { return n % k == 0; }));
        };
        std::stable_sort(stages.begin(), stages.end(), [&](int a, int b) { return rank(a) > rank(b); });
        // The corners go down and to the left stage by stage: the nearest
        // numbered corners are those of the nearest numbered stages.
        const auto near = [&](int n, int m) {
            return std::hypot(x(n) - x(m), y(n) - y(m)) * f.scale < apart;
        };
        std::set<int> kept;
        for (const int n : stages) {
            const auto after = kept.lower_bound(n);
            if (after != kept.end() && near(n, *after)) continue;
            if (after != kept.begin() && near(n, *std::prev(after))) continue;
            kept.insert(n);
        }
        return {kept.begin(), kept.end()};
    }

    // The corners of `stages` on `f`. A corner on the pseudo-equilibrium
    // curve has its number beyond the equilibrium curve above it.
    std::vector<Corner> corners(const std::vector<int>& stages, const Frame& f) const {
        std::vector<Corner> out;
        for (const int n : stages) {
            const double slope = curve_slope(n);
            double offset = 0;
            if (E < 1 && n < N) {
                // Along the normal, to the equilibrium curve, taken as straight there.
                const double rise = calc::equilibrium_vapour(alpha, x(n)) - y(n);
                const double steep = calc::equilibrium_slope(alpha, x(n));
                offset = std::max(0.0, rise * std::hypot(1.0, slope) / (1.0 + slope * steep)) * f.scale;
            }
            out.push_back({n, x(n), y(n), slope, offset});
        }
        return out;
    }
};

// "q 线（q = 1.5，斜率 3）": the feed condition and what it does to the line.
Runs q_line_text(double q) {
    if (q == 1) return {{"q 线（q = 1，竖直线 x = x"}, {"F", true}, {"）"}};
    if (q == 0) return {{"q 线（q = 0，水平线 y = x"}, {"F", true}, {"）"}};
    return {{"q 线（q = " + text(q) + "，斜率 " + rounded(q / (q - 1)) + "）"}};
}

// The stages whose numbers cannot be read where they went: covering
// another number or its leader, or something already drawn, outside their
// room, or at a corner nearer than `nearest` pixels to the one numbered
// before it, for a leader to tell which is which. With `curve`, a number
// the equilibrium curve of `frame` passes through is not read either.
std::vector<int> unreadable(const std::vector<StepLabel>& labels, const std::vector<Box>& taken, const Box& room,
                            double nearest, const Frame* curve = nullptr, double alpha = 0) {
    std::vector<bool> bad(labels.size(), false);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const Box b = labels[i].box();
        if (!b.inside(room) || std::any_of(taken.begin(), taken.end(), [&](const Box& t) { return t.overlaps(b); })) {
            bad[i] = true;
        }
        if (curve) {
            // The curve rises: it crosses the box when it is below the top
            // at the left edge and above the bottom at the right edge.
            const Frame& f = *curve;
            const double x0 = f.x0 + (b.x0 - f.left) / f.scale, x1 = f.x0 + (b.x1 - f.left) / f.scale;
            const double y0 = f.y0 + (f.bottom() - b.y1) / f.scale, y1 = f.y0 + (f.bottom() - b.y0) / f.scale;
            if (calc::equilibrium_vapour(alpha, x0) < y1 && calc::equilibrium_vapour(alpha, x1) > y0) bad[i] = true;
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

// The first spacing in kApart that numbers no more than kMostNumbers of stages first..last.
std::size_t first_spacing(const Column& c, int first, int last, const Frame& f) {
    std::size_t k = 0;
    while (k + 1 < std::size(kApart) && c.numbered(first, last, kApart[k], f).size() > kMostNumbers) ++k;
    return k;
}

// A magnified corner of the plot.
struct Inset {
    std::string name;  // "A" at the distillate, "B" at the bottoms
    int first, last;   // the stages numbered in it
    Frame frame;
    std::size_t apart = 0;  // index into kApart
    bool thinned = false;   // some of its stages are not numbered
    std::vector<StepLabel> labels;
    Box mark{}, mark_label{};  // its window on the plot, and the name beside it
};

// The steps of stages first..last in the mole fractions they span: from the
// lowest liquid to the highest, from the lowest foot to the highest vapour.
struct Span {
    double x0, x1, y0, y1;
};
Span steps_span(const Column& c, int first, int last) {
    return {c.x(last), first == 1 ? c.xD : c.x(first), c.foot(last), c.y(first)};
}

// Whether the steps of first..last are small enough on the plot to be worth magnifying.
bool magnifiable(const Column& c, int first, int last) {
    const Span s = steps_span(c, first, last);
    return std::max(s.x1 - s.x0, s.y1 - s.y0) * c.plot.scale <= kWidestWindow;
}

// The window that shows the steps of first..last with room for their
// numbers, `left` on the page below the plot.
Frame window_of(const Column& c, int first, int last, double left) {
    const Span s = steps_span(c, first, last);
    const double ex = std::max(s.x1 - s.x0, 1e-300), ey = std::max(s.y1 - s.y0, 1e-300);
    const double wide = kInsetSize - kRoomLeft - kRoomRight, high = kInsetSize - kRoomTop - kRoomBottom;
    const double scale = std::min(wide / ex, high / ey), span = kInsetSize / scale;
    // The steps in the middle of their room; what room is left over goes
    // towards the inside of the unit square rather than beyond its edges.
    const auto place = [&](double lo, double hi, double before, double room) {
        const double centred = (lo + hi) / 2 - (before + room / 2) / scale;
        const double least = std::min(0.0, lo - before / scale);
        const double most = std::max(1.0, hi + (kInsetSize - before - room) / scale);
        return std::clamp(centred, least, std::max(least, most - span));
    };
    return {left, c.plot.bottom() + kInsetBelowPlot, kInsetSize, place(s.x0, s.x1, kRoomLeft, wide),
            place(s.y0, s.y1, kRoomBottom, high),
            scale};
}

// The window's rectangle on the plot (the part inside the unit square) and
// its name beside it, clear of what is drawn already: below a window at the
// top right, to the right of one at the bottom left, both under the diagonal.
void mark_window(Inset& inset, const Frame& plot, const std::vector<Box>& taken) {
    const Frame& f = inset.frame;
    const double x0 = std::max(f.x0, 0.0), x1 = std::min(f.x0 + f.span(), 1.0);
    const double y0 = std::max(f.y0, 0.0), y1 = std::min(f.y0 + f.span(), 1.0);
    inset.mark = {plot.page_x(x0), plot.page_y(y1), plot.page_x(x1), plot.page_y(y0)};
    constexpr double kW = 10, kH = 14;
    const bool below = inset.name == "A";
    for (int step = 0; step < 40; ++step) {
        const double along = 3 + 4 * step;
        inset.mark_label = below ? Box{(inset.mark.x0 + inset.mark.x1 - kW) / 2, inset.mark.y1 + along,
                                       (inset.mark.x0 + inset.mark.x1 + kW) / 2, inset.mark.y1 + along + kH}
                                 : Box{inset.mark.x1 + along, (inset.mark.y0 + inset.mark.y1 - kH) / 2,
                                       inset.mark.x1 + along + kW, (inset.mark.y0 + inset.mark.y1 + kH) / 2};
        if (std::none_of(taken.begin(), taken.end(), [&](const Box& t) { return t.overlaps(inset.mark_label); })) {
            break;
        }
    }
}

// The composition marks xD, xF, xW beside their points on the diagonal, and
// the boxes they cover; in a magnified window only those it shows whole.
std::vector<Box> composition_marks(Node& out, const Frame& f, const Column& c, bool magnified) {
    std::vector<Box> boxes;
    const struct { double v; const char* sub; } marks[] = {{c.xD, "D"}, {c.xF, "F"}, {c.xW, "W"}};
    const Box room = f.box();
    for (const auto& m : marks) {
        double lx = f.page_x(m.v) + 7;
        const double ly = f.page_y(m.v) + 15;
        // Clear of the tick label 0.0 under the frame's corner.
        if (!magnified && ly + 3 > f.bottom() + 6 && lx < f.left + 12) lx = f.left + 12;
        const Box b{lx, ly - 13, lx + 16, ly + 3};
        const Box dot{f.page_x(m.v), f.page_y(m.v), f.page_x(m.v), f.page_y(m.v)};
        if (magnified && !(dot.inside(room) && b.inside(room))) continue;
        Node mark = text_line(lx, ly, 13, {{"x"}, {m.sub, true}});
        mark.cls = "composition";
        out.children.push_back(std::move(mark));
        boxes.push_back(b);
    }
    return boxes;
}

// The equilibrium curve across a magnified window: points at even steps of
// x and of y, so that it is smooth where it is steep as well as where it is flat.
std::vector<Point> equilibrium_in(const Frame& f, double alpha) {
    constexpr int kSteps = 120;
    const double x0 = std::max(f.x0, 0.0), x1 = std::min(f.x0 + f.span(), 1.0);
    const double y0 = std::max(f.y0, 0.0), y1 = std::min(f.y0 + f.span(), 1.0);
    std::vector<Point> points;
    for (int i = 0; i <= kSteps && x0 < x1; ++i) {
        const double x = x0 + (x1 - x0) * i / kSteps;
        points.push_back({x, calc::equilibrium_vapour(alpha, x)});
    }
    for (int i = 0; i <= kSteps && y0 < y1; ++i) {
        const double y = y0 + (y1 - y0) * i / kSteps;
        points.push_back({calc::equilibrium_liquid(alpha, y), y});
    }
    std::sort(points.begin(), points.end(), [](Point a, Point b) { return a.x < b.x; });
    return points;
}

// The pseudo-equilibrium curve between xW and xD, over x0..x1, with its
// corner where the operating lines meet.
std::vector<Point> pseudo_curve(const Column& c, double x0, double x1, int steps) {
    x0 = std::max(x0, c.xW);
    x1 = std::min(x1, c.xD);
    std::vector<Point> points;
    for (int i = 0; i <= steps && x0 < x1; ++i) {
        const double x = i == steps ? x1 : x0 + (x1 - x0) * i / steps;
        if (!points.empty() && points.back().x < c.d.x_meet && x > c.d.x_meet) {
            points.push_back({c.d.x_meet, c.pseudo_vapour(c.d.x_meet)});
        }
        points.push_back({x, c.pseudo_vapour(x)});
    }
    return points;
}

// Everything drawn in the plot's units, the staircase of stages first..last
// (all of them in the plot). The plot draws in mole fractions under its
// transform, cut at the unit square. A magnified window draws in page
// pixels, cut at its own edges: at a large magnification a renderer may
// drop a dash pattern of a few millionths of a unit.
void plot_lines(Node& out, const Frame& f, const Column& c, int first, int last, bool magnified) {
    const double span = f.span();
    const auto draw = [&](std::vector<Point> line, std::string cls, Colour colour, double width, double dash = 0,
                          double gap = 0) {
        if (!magnified) {
            polylines(out, f, clip_to_unit_square(line), std::move(cls), colour, width,
                      dash > 0 ? std::vector<Num>{f.length(dash), f.length(gap)} : std::vector<Num>{});
            return;
        }
        // Through the window's own unit square, then onto the page.
        for (Point& p : line) p = {(p.x - f.x0) / span, (p.y - f.y0) / span};
        for (const auto& piece : clip_to_unit_square(line)) {
            std::vector<Pt> points;
            for (const Point p : piece) points.push_back({page(f.left + p.x * f.size), page(f.bottom() - p.y * f.size)});
            Node l = polyline(std::move(points), colour, page(width));
            l.cls = cls;
            if (dash > 0) l.style.dashes = {page(dash), page(gap)};
            out.children.push_back(std::move(l));
        }
    };
    draw({{0, 0}, {1, 1}}, "diagonal", kDiagonalColour, 1);
    if (magnified) {
        draw(equilibrium_in(f, c.alpha), "equilibrium", kCurveColour, 2);
    } else {
        equilibrium_curve(out, f, c.alpha);
    }
    if (c.E < 1) {
        const double x0 = magnified ? f.x0 : 0, x1 = magnified ? f.x0 + span : 1;
        draw(pseudo_curve(c, x0, x1, magnified ? 120 : 240), "pseudo-equilibrium", kCurveColour, 1.4, 5, 3);
    }
    const Point meet{c.d.x_meet, c.d.y_meet};
    draw({{c.xF, c.xF}, {c.d.x_pinch, c.d.y_pinch}}, "q-line", kQLineColour, 1.4, 6, 4);
    draw({{c.xD, c.xD}, meet}, "rectifying", kRectifyingColour, 1.6);
    draw({{c.xW, c.xW}, meet}, "stripping", kStrippingColour, 1.6);
    draw(c.staircase(first, last), "staircase", kStepColour, 1.3);
    if (first <= c.feed && c.feed <= last) draw(c.feed_step(), "feed-step", kFeedColour, 3.2);

    Node dots = group("points");
    dots.style.fill = kStepColour;
    dots.style.stroke = kNoPaint;
    const auto dot = [&](Point p) -> std::optional<Node> {
        if (magnified) {
            if (!(p.x >= f.x0 && p.x <= f.x0 + span && p.y >= f.y0 && p.y <= f.y0 + span)) return std::nullopt;
            return circle(page(f.page_x(p.x)), page(f.page_y(p.y)), page(3.2));
        }
        return circle(exact(p.x), exact(p.y), f.length(3.2));
    };
    for (const Point p : {Point{c.xD, c.xD}, Point{c.xF, c.xF}, Point{c.xW, c.xW}}) {
        if (std::optional<Node> d = dot(p)) dots.children.push_back(std::move(*d));
    }
    if (std::optional<Node> d = dot(meet)) {
        d->cls = "meeting";
        d->style.fill = kQLineColour;
        dots.children.push_back(std::move(*d));
    }
    out.children.push_back(std::move(dots));
}

// Ticks at round values, far enough apart for their texts, inside the
// window and the unit square.
std::vector<double> window_ticks(double from, double span, double scale) {
    const double least = 64 / scale;  // mole fractions between ticks at the least
    double step = std::pow(10.0, std::ceil(std::log10(least)));
    if (step / 5 >= least) step /= 5;
    else if (step / 2 >= least) step /= 2;
    std::vector<double> ticks;
    for (double i = std::ceil(from / step);; ++i) {
        const double t = std::abs(i) < 0.5 ? 0.0 : i * step;
        if (t > from + span) break;
        if (t >= -1e-12 && t <= 1 + 1e-12) ticks.push_back(t);
    }
    return ticks;
}

void draw_inset(Node& out, const Inset& inset, const Column& c) {
    const Frame& f = inset.frame;
    const double span = f.span();
    Node g = group("inset");
    g.id = "inset-" + inset.name;
    g.data = {{"window", text(f.x0) + " " + text(f.y0) + " " + text(span)},
              {"frame", number_text(page(f.left)) + " " + number_text(page(f.top)) + " " + number_text(page(f.size))},
              {"stages", std::to_string(inset.first) + " " + std::to_string(inset.last)}};
    Runs caption = {{"放大图 " + inset.name + "：第 " + std::to_string(inset.first) + "–" +
                     std::to_string(inset.last) + " 板（" + (inset.name == "A" ? "塔顶" : "塔底，含再沸器") + "）"}};
    if (inset.thinned) caption.push_back({"，过密处只标部分板号"});
    const double caption_size = std::min(13.0, 13 * f.size / runs_width(caption, 13));
    Node heading = text_line(f.left, f.top - 10, caption_size, caption);
    heading.cls = "inset-caption";
    heading.style.bold = true;
    g.children.push_back(std::move(heading));
    // Beyond the unit square, grey: no mixture is there.
    Node inside = group();
    inside.clip = std::vector<Num>{page(f.left), page(f.top), page(f.size), page(f.size)};
    inside.clip_id = "inset-clip-" + inset.name;
    inside.style.fill = kNoPaint;
    inside.style.round = true;
    Node outside = rect(page(f.left), page(f.top), page(f.size), page(f.size));
    outside.cls = "outside";
    outside.style.fill = 0xf0f0f0;
    inside.children.push_back(std::move(outside));
    const double ux0 = std::max(0.0, f.x0), ux1 = std::min(1.0, f.x0 + span);
    const double uy0 = std::max(0.0, f.y0), uy1 = std::min(1.0, f.y0 + span);
    Node unit = rect(page(f.page_x(ux0)), page(f.page_y(uy1)), page(f.page_x(ux1) - f.page_x(ux0)),
                     page(f.page_y(uy0) - f.page_y(uy1)));
    unit.style.fill = kWhite;
    inside.children.push_back(std::move(unit));
    const std::vector<double> xs = window_ticks(f.x0, span, f.scale), ys = window_ticks(f.y0, span, f.scale);
    const double step = xs.size() > 1 ? xs[1] - xs[0] : ys.size() > 1 ? ys[1] - ys[0] : span;
    Node grid;
    grid.kind = Node::Kind::kGrid;
    grid.cls = "grid";
    grid.style.stroke = kGridColour;
    grid.style.stroke_width = whole(1);
    for (const double t : xs) {
        grid.points.push_back({page(f.page_x(t)), page(f.top)});
        grid.points.push_back({page(f.page_x(t)), page(f.bottom())});
    }
    for (const double t : ys) {
        grid.points.push_back({page(f.left), page(f.page_y(t))});
        grid.points.push_back({page(f.right()), page(f.page_y(t))});
    }
    inside.children.push_back(std::move(grid));
    plot_lines(inside, f, c, std::max(1, inset.first - 1), std::min(c.N, inset.last + 1), true);
    g.children.push_back(std::move(inside));
    g.children.push_back(page_frame(f.left, f.top, f.size, f.size));
    Node ticks = group("ticks");
    ticks.style.font_size = whole(11);
    ticks.style.stroke = kFrameColour;
    ticks.style.stroke_width = whole(1);
    const auto tick = [&](double ax, double ay, double bx, double by, double tx, double ty, std::string label,
                          Anchor anchor) {
        Node l;
        l.kind = Node::Kind::kLine;
        l.points = {{page(ax), page(ay)}, {page(bx), page(by)}};
        ticks.children.push_back(std::move(l));
        Node t = text(page(tx), page(ty), {{std::move(label)}}, std::nullopt, anchor);
        t.style.stroke = kNoPaint;
        ticks.children.push_back(std::move(t));
    };
    for (const double t : xs) {
        const double at = f.page_x(t);
        tick(at, f.bottom(), at, f.bottom() + 5, at, f.bottom() + 18, tick_text(t, step), Anchor::kMiddle);
    }
    for (const double t : ys) {
        const double at = f.page_y(t);
        tick(f.left - 5, at, f.left, at, f.left - 8, at + 4, tick_text(t, step), Anchor::kEnd);
    }
    g.children.push_back(std::move(ticks));
    composition_marks(g, f, c, true);
    write_step_numbers(g, inset.labels, c.feed, inset.name);
    out.children.push_back(std::move(g));
}

// The numbers of a magnified corner: all of them, or fewer where even
// magnified they cannot all be read.
void number_inset(Inset& inset, const Column& c) {
    Node scratch;
    const std::vector<Box> taken = composition_marks(scratch, inset.frame, c, true);
    const Box b = inset.frame.box();
    const Box room{b.x0 + 1, b.y0 + 1, b.x1 - 1, b.y1 - 1};
    for (inset.apart = first_spacing(c, inset.first, inset.last, inset.frame);; ++inset.apart) {
        const std::vector<int> stages = c.numbered(inset.first, inset.last, kApart[inset.apart], inset.frame);
        inset.thinned = static_cast<int>(stages.size()) < inset.last - inset.first + 1;
        inset.labels = place_step_numbers(inset.frame, c.corners(stages, inset.frame), c.feed, room, taken, true);
        if (unreadable(inset.labels, taken, room, kNearestCorners).empty() || inset.apart + 1 == std::size(kApart)) {
            break;
        }
    }
}

// The page's numbers and what they keep clear of.
struct Layout {
    std::optional<Inset> a, b;
    std::vector<StepLabel> labels;
    std::vector<Box> taken;  // besides the numbers
    Node legend;
};

std::vector<LegendEntry> legend_entries(const Column& c, bool thinned) {
    std::vector<LegendEntry> entries = {{sample_line(kCurveColour, 2), {{"平衡线 y = αx/(1 + (α − 1)x)"}}}};
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
        const std::vector<int> poor = unreadable(l.labels, l.taken, room, kNearestUnmagnified, &plot, c.alpha);
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

Scene design_diagram(const calc::DesignInputs& in, const calc::Design& design) {
    const Column c(in, design);
    const Layout layout = lay_out(c, [&](bool thinned) { return legend_entries(c, thinned); });

    Scene drawing = page_of(kPageWidth, 0, "McCabe–Thiele 图");
    Node& out = drawing.root;
    Node title = title_line(kPageWidth, 36, 19,
                            {{"McCabe–Thiele 图　进料板 " + std::to_string(c.feed) + "　理论板数 N = " +
                              std::to_string(c.N) + "（含再沸器）"}});
    title.style.bold = true;
    out.children.push_back(std::move(title));
    Runs inputs1, inputs2, inputs3;
    for (auto input : {&ColumnInputs::F, &ColumnInputs::xF, &ColumnInputs::xD}) append_input(inputs1, in.column, input);
    for (auto input : {&ColumnInputs::xW, &ColumnInputs::R, &ColumnInputs::alpha}) {
        append_input(inputs2, in.column, input);
    }
    append_quantity(inputs3, "进料热状况参数", "q", "", in.q);
    inputs3.push_back({"　　"});
    append_quantity(inputs3, "默弗里板效率", "E", "", in.efficiency);
    out.children.push_back(title_line(kPageWidth, 64, 14, inputs1));
    out.children.push_back(title_line(kPageWidth, 86, 14, inputs2));
    out.children.push_back(title_line(kPageWidth, 108, 14, inputs3));

    Node plot = unit_square_plot(kPlot);
    plot_lines(plot, kPlot, c, 1, c.N, false);
    out.children.push_back(std::move(plot));
    unit_square_ticks(out, kPlot);
    drawing.height = write_layout(out, c, layout);
    return drawing;
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
    d.x_pinch = q_top.x;
    d.y_pinch = q_top.y;
    d.x_meet = meet.x;
    d.y_meet = meet.y;
    d.feed_stage = column.feed_plate.value();
    d.stage_count = column.plate_count.value();
    for (int p = 1; p <= d.stage_count; ++p) {
        d.x.push_back(column.x.slots()[static_cast<std::size_t>(p)]);
        d.y.push_back(column.y.slots()[static_cast<std::size_t>(p)]);
    }
    const Column c(as_design, d, plot);
    const Layout layout = lay_out(c, legend_of);
    if (!layout.a && !layout.b) return std::nullopt;
    return write_layout(out, c, layout);
}

}  // namespace draw

}  // namespace veltrano::diagram
