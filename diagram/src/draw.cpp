#include "draw.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "veltrano/calc/balances.h"
#include "veltrano/core/number_text.h"
#include "veltrano/diagram/svg.h"

namespace veltrano::diagram {

namespace draw {

using calc::ColumnInputs;

std::string exact_text(double v) { return core::double_to_text(v); }

std::string tick_text(double v, double step) {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    if (decimals <= 6 && std::abs(v) < 1e9) return number_text(fixed(v, decimals));
    char buf[32];
    const auto written = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 3);
    return std::string(buf, written.ec == std::errc() ? written.ptr : buf);
}

// --- text -----------------------------------------------------------------

double text_ems(std::string_view text) {
    double ems = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        // U+3000 and above (CJK, full-width forms) start with 0xE3 or more.
        ems += lead >= 0xE3 ? 1.0 : 0.58;
        i += length;
    }
    return ems;
}

double runs_width(const Runs& runs, double size) {
    double w = 0;
    for (const Run& r : runs) w += text_ems(r.text) * (r.sub ? 0.72 : 1.0) * size;
    return w;
}

Node text_line(double x, double y, double size, Runs runs) { return text(page(x), page(y), std::move(runs), page(size)); }

// Made smaller when long numbers would make it wider than the page.
Node title_line(double width, double y, double size, Runs runs) {
    const double room = width - 40;
    const double w = runs_width(runs, size);
    if (w > room) size *= room / w;
    Node t = text_line(width / 2, y, size, std::move(runs));
    t.style.anchor = Anchor::kMiddle;
    return t;
}

void append_quantity(Runs& runs, std::string caption, std::string symbol, std::string sub, double value,
                     std::string unit) {
    runs.push_back({std::move(caption) + " " + std::move(symbol)});
    if (!sub.empty()) runs.push_back({std::move(sub), true});
    runs.push_back({" = " + exact_text(value) + std::move(unit)});
}

void append_input(Runs& runs, const ColumnInputs& in, double ColumnInputs::*input) {
    if (!runs.empty()) runs.push_back({"　　"});
    if (input == &ColumnInputs::F) append_quantity(runs, "进料流率", "F", "", in.F, " kmol/h");
    if (input == &ColumnInputs::xF) append_quantity(runs, "进料组成", "x", "F", in.xF);
    if (input == &ColumnInputs::xD) append_quantity(runs, "馏出组成", "x", "D", in.xD);
    if (input == &ColumnInputs::xW) append_quantity(runs, "塔底组成", "x", "W", in.xW);
    if (input == &ColumnInputs::R) append_quantity(runs, "回流比", "R", "", in.R);
    if (input == &ColumnInputs::alpha) append_quantity(runs, "相对挥发度", "α", "", in.alpha);
}

Scene page_of(double width, double height, std::string title) {
    Scene s;
    s.width = width;
    s.height = height;
    s.title = std::move(title);
    return s;
}

// --- page boxes -------------------------------------------------------------

bool crosses(const Box& box, Point a, Point b) {
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - box.x0, box.x1 - a.x, a.y - box.y0, box.y1 - a.y};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0) return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
    }
    return t0 < t1;
}

Box legend(Node& parent, double right, double top_or_bottom, bool at_bottom, const std::vector<LegendEntry>& entries) {
    constexpr double kRow = 18, kPad = 8, kSample = 26, kSize = 12;
    double text_width = 0;
    for (const LegendEntry& e : entries) text_width = std::max(text_width, runs_width(e.text, kSize));
    const double w = kPad * 3 + kSample + text_width, h = kPad * 2 + kRow * static_cast<double>(entries.size());
    const double x = right - w - 10, y = at_bottom ? top_or_bottom - h - 10 : top_or_bottom + 10;
    Node g = group("legend");
    Node back = rect(page(x), page(y), page(w), page(h));
    back.style.fill = kWhite;
    back.style.fill_opacity = fixed(0.92, 2);
    back.style.stroke = 0xbbbbbb;
    g.children.push_back(std::move(back));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const double row = y + kPad + kRow * (static_cast<double>(i) + 0.5);
        Node sample = group();
        sample.transform.kind = Transform::Kind::kTranslate;
        sample.transform.e = page(x + kPad);
        sample.transform.f = page(row);
        sample.children = entries[i].sample;
        g.children.push_back(std::move(sample));
        g.children.push_back(text_line(x + kPad * 2 + kSample, row + kSize * 0.36, kSize, entries[i].text));
    }
    parent.children.push_back(std::move(g));
    return {x, y, x + w, y + h};
}

std::vector<Node> sample_line(Colour colour, double width, std::vector<Num> dashes) {
    Node l = line({whole(0), whole(0)}, {whole(26), whole(0)}, colour, page(width));
    l.style.dashes = std::move(dashes);
    return {l};
}

// --- a plot of mole fractions ----------------------------------------------

Transform Frame::transform() const {
    Transform t;
    t.kind = Transform::Kind::kMatrix;
    t.a = page(scale);
    t.d = page(-scale);
    t.e = page(left - x0 * scale);
    t.f = page(bottom() + y0 * scale);
    return t;
}

bool in_unit_square(Point p) { return p.x >= 0 && p.x <= 1 && p.y >= 0 && p.y <= 1; }

void polylines(Node& parent, const Frame& frame, const std::vector<std::vector<Point>>& pieces, std::string cls,
               Colour colour, double width, std::vector<Num> dashes) {
    for (const auto& piece : pieces) {
        std::vector<Pt> points;
        points.reserve(piece.size());
        for (const Point p : piece) points.push_back({exact(p.x), exact(p.y)});
        Node l = polyline(std::move(points), colour, frame.length(width));
        l.cls = cls;
        l.style.dashes = dashes;
        parent.children.push_back(std::move(l));
    }
}

// The equilibrium curve, as points on it: x = i / 200 (exact decimals) with
// their vapour, and where the curve is steep, y = j / 200 with their liquid,
// so that a volatile mixture's curve is as smooth near x = 0 as elsewhere.
// The computed coordinate is written to 1e-9. Only points inside the unit
// square are drawn; a gap (alpha <= 0 puts the curve outside) splits the line.
void equilibrium_curve(Node& parent, const Frame& frame, double alpha) {
    // Monotone from (0, 0) to (1, 1) only for alpha > 0; otherwise x decides alone.
    equilibrium_curve(parent, frame, calc::AlphaCurve(alpha), alpha > 0);
}

void equilibrium_curve(Node& parent, const Frame& frame, const calc::EquilibriumCurve& curve, bool monotone) {
    struct Sample {
        double x;  // where it sorts: the liquid as computed
        Pt at;
        bool gap;
    };
    constexpr int kSteps = 200;
    std::vector<Sample> samples;
    const auto inside = [](double v) { return std::isfinite(v) && v >= -1e-12 && v <= 1 + 1e-12; };
    const auto clamp01 = [](double v) { return std::min(1.0, std::max(0.0, v)); };
    for (int i = 0; i <= kSteps; ++i) {
        const double x = i / static_cast<double>(kSteps);
        const double y = curve.vapour(x);
        samples.push_back({x, {fixed(x, 3), fixed(inside(y) ? clamp01(y) : 0, 9)}, !inside(y)});
    }
    if (monotone) {
        for (int j = 1; j < kSteps; ++j) {
            const double y = j / static_cast<double>(kSteps);
            const double x = curve.liquid(y);
            if (inside(x)) samples.push_back({x, {fixed(clamp01(x), 9), fixed(y, 3)}, false});
        }
        std::stable_sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.x < b.x; });
    }
    std::vector<Pt> run;
    const auto flush = [&] {
        if (run.size() >= 2) {
            Node l = polyline(std::move(run), kCurveColour, frame.length(2));
            l.cls = "equilibrium";
            parent.children.push_back(std::move(l));
        }
        run.clear();
    };
    for (const Sample& s : samples) {
        if (s.gap) {
            flush();
        } else {
            run.push_back(s.at);
        }
    }
    flush();
}

void tick_mark(Node& ticks, Point from, Point to, Point label_at, std::string label, Anchor anchor) {
    Node l;
    l.kind = Node::Kind::kLine;
    l.points = {{page(from.x), page(from.y)}, {page(to.x), page(to.y)}};
    ticks.children.push_back(std::move(l));
    Node t = text(page(label_at.x), page(label_at.y), {{std::move(label)}}, std::nullopt, anchor);
    t.style.stroke = kNoPaint;
    ticks.children.push_back(std::move(t));
}

Node unit_square_plot(const Frame& frame) {
    Node plot = group();
    plot.id = "plot";
    plot.transform = frame.transform();
    plot.style.fill = kNoPaint;
    plot.style.round = true;
    // Grid and frame in the plot's own units.
    Node grid;
    grid.kind = Node::Kind::kGrid;
    grid.cls = "grid";
    grid.style.stroke = kGridColour;
    grid.style.stroke_width = frame.length(1);
    for (int i = 1; i < 10; ++i) {
        const Num v = fixed(i / 10.0, 1);
        grid.points.push_back({v, whole(0)});
        grid.points.push_back({v, whole(1)});
        grid.points.push_back({whole(0), v});
        grid.points.push_back({whole(1), v});
    }
    plot.children.push_back(std::move(grid));
    Node box = rect(whole(0), whole(0), whole(1), whole(1));
    box.cls = "frame";
    box.style.stroke = kFrameColour;
    box.style.stroke_width = frame.length(1.2);
    plot.children.push_back(std::move(box));
    return plot;
}

Node page_frame(double left, double top, double width, double height) {
    Node frame = rect(page(left), page(top), page(width), page(height));
    frame.cls = "frame";
    frame.style.fill = kNoPaint;
    frame.style.stroke = kFrameColour;
    frame.style.stroke_width = fixed(1.2, 1);
    return frame;
}

Node y_caption(double x, double y, Runs runs) {
    Node turned = group();
    turned.transform.kind = Transform::Kind::kTranslate;
    turned.transform.e = page(x);
    turned.transform.f = page(y);
    turned.transform.degrees = -90;
    Node t = text_line(0, 0, 14, std::move(runs));
    t.style.anchor = Anchor::kMiddle;
    turned.children.push_back(std::move(t));
    return turned;
}

void unit_square_ticks(Node& parent, const Frame& frame) {
    Node g = group("ticks");
    g.style.font_size = whole(12);
    g.style.stroke = kFrameColour;
    g.style.stroke_width = whole(1);
    for (int i = 0; i <= 10; ++i) {
        const std::string label = number_text(fixed(i / 10.0, 1));
        const double at_x = frame.page_x(i / 10.0), at_y = frame.page_y(i / 10.0);
        Node down;
        down.kind = Node::Kind::kLine;
        down.points = {{page(at_x), page(frame.bottom())}, {page(at_x), page(frame.bottom() + 5)}};
        Node across = down;
        across.points = {{page(frame.left - 5), page(at_y)}, {page(frame.left), page(at_y)}};
        g.children.push_back(std::move(down));
        g.children.push_back(std::move(across));
        Node below = text(page(at_x), page(frame.bottom() + 19), {{label}}, std::nullopt, Anchor::kMiddle);
        below.style.stroke = kNoPaint;
        Node beside = text(page(frame.left - 8), page(at_y + 4), {{label}}, std::nullopt, Anchor::kEnd);
        beside.style.stroke = kNoPaint;
        g.children.push_back(std::move(below));
        g.children.push_back(std::move(beside));
    }
    parent.children.push_back(std::move(g));
    Node x_caption = text_line(frame.left + frame.size / 2, frame.bottom() + 44, 14, {{"液相组成 x（轻组分摩尔分数）"}});
    x_caption.style.anchor = Anchor::kMiddle;
    parent.children.push_back(std::move(x_caption));
    parent.children.push_back(y_caption(frame.left - 50, frame.top + frame.size / 2, {{"汽相组成 y（轻组分摩尔分数）"}}));
}

}  // namespace draw

std::vector<std::vector<Point>> clip_to_unit_square(const std::vector<Point>& line) {
    std::vector<std::vector<Point>> pieces;
    bool joined = false;  // the last segment kept ended at its own end, inside
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const Point a = line[i], b = line[i + 1];
        if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) {
            joined = false;
            continue;
        }
        // Liang–Barsky: the part a + t (b - a), t0 <= t <= t1, inside every
        // edge. Worked in halves, exactly, so that b - a cannot overflow.
        const double dx = b.x / 2 - a.x / 2, dy = b.y / 2 - a.y / 2;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {a.x / 2, 0.5 - a.x / 2, a.y / 2, 0.5 - a.y / 2};
        double t0 = 0, t1 = 1;
        bool visible = true;
        for (int k = 0; k < 4 && visible; ++k) {
            if (p[k] == 0) {
                visible = q[k] >= 0;  // parallel to this edge: inside it or not at all
                continue;
            }
            const double t = q[k] / p[k];
            if (p[k] < 0) {
                if (t > t1) visible = false;
                else if (t > t0) t0 = t;
            } else {
                if (t < t0) visible = false;
                else if (t < t1) t1 = t;
            }
        }
        // Where the segment crosses into or out of the square, coming from or
        // going to `end`. Across or down a step (as the staircase goes) that is
        // the end moved onto the edge, whatever the size of the numbers.
        const auto crossing = [&](double t, Point end) {
            const auto clamp01 = [](double v) { return std::min(1.0, std::max(0.0, v)); };
            if (a.x == b.x) return Point{a.x, clamp01(end.y)};
            if (a.y == b.y) return Point{clamp01(end.x), a.y};
            return Point{clamp01((a.x / 2 + t * dx) * 2), clamp01((a.y / 2 + t * dy) * 2)};
        };
        // An end inside stays as it is, to the bit.
        const Point from = t0 == 0 && draw::in_unit_square(a) ? a : crossing(t0, a);
        const Point to = t1 == 1 && draw::in_unit_square(b) ? b : crossing(t1, b);
        if (!visible || !(t0 <= t1) || !std::isfinite(from.x + from.y + to.x + to.y)) {
            joined = false;
            continue;
        }
        if (joined && from.x == pieces.back().back().x && from.y == pieces.back().back().y) {
            pieces.back().push_back(to);
        } else {
            pieces.push_back({from, to});
        }
        joined = t1 == 1 && to.x == b.x && to.y == b.y;
    }
    return pieces;
}

std::vector<double> axis_ticks(double low, double high) {
    if (!std::isfinite(low) || !std::isfinite(high)) return {0, 1};
    if (low > high) std::swap(low, high);
    // Halves keep the span within the double range.
    double half_span = high / 2 - low / 2;
    if (!(half_span > std::max(std::abs(low), std::abs(high)) * 1e-12)) {
        const double pad = low != 0 ? std::abs(low) * 0.05 : 0.5;
        low -= pad;
        high += pad;
        half_span = high / 2 - low / 2;
    }
    const double raw = half_span / 2.5;  // a fifth of the span
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * power;
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    }
    std::vector<double> ticks;
    const double first = std::floor(low / step) * step;
    for (int i = 0; i <= 12; ++i) {
        const double t = (first / 2 + i * (step / 2)) * 2;  // halves: i * step may overflow
        ticks.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);  // no -0 or 1e-17 for zero
        if (t >= high) break;
    }
    // Beyond what doubles can step (subnormal spans, a step lost in the
    // rounding of huge values): the range from 0 or below to 1 or above.
    bool usable = ticks.size() >= 2 && ticks.back() >= high && std::isfinite(ticks.front() + ticks.back());
    for (std::size_t i = 1; usable && i < ticks.size(); ++i) usable = ticks[i] > ticks[i - 1];
    if (!usable) return {std::min(low, 0.0), std::max(high, 1.0)};
    return ticks;
}

}  // namespace veltrano::diagram
