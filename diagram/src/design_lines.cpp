// What the design diagram draws in mole fractions, on the plot and in its
// magnified corners: the composition marks, the equilibrium and
// pseudo-equilibrium curves, the diagonal, the q-line, the operating lines,
// and the staircase with its points.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "design_diagram.h"

namespace veltrano::diagram::designed {

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

namespace {

// The equilibrium curve across a magnified window: points at even steps of
// x and of y, so that it is smooth where it is steep as well as where it is flat.
std::vector<Point> equilibrium_in(const Frame& f, const calc::EquilibriumCurve& curve) {
    constexpr int kSteps = 120;
    const double x0 = std::max(f.x0, 0.0), x1 = std::min(f.x0 + f.span(), 1.0);
    const double y0 = std::max(f.y0, 0.0), y1 = std::min(f.y0 + f.span(), 1.0);
    std::vector<Point> points;
    for (int i = 0; i <= kSteps && x0 < x1; ++i) {
        const double x = x0 + (x1 - x0) * i / kSteps;
        points.push_back({x, curve.vapour(x)});
    }
    for (int i = 0; i <= kSteps && y0 < y1; ++i) {
        const double y = y0 + (y1 - y0) * i / kSteps;
        points.push_back({curve.liquid(y), y});
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

}  // namespace

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
        draw(equilibrium_in(f, c.curve), "equilibrium", kCurveColour, 2);
    } else {
        equilibrium_curve(out, f, c.curve);
    }
    if (c.E < 1) {
        const double x0 = magnified ? f.x0 : 0, x1 = magnified ? f.x0 + span : 1;
        draw(pseudo_curve(c, x0, x1, magnified ? 120 : 240), "pseudo-equilibrium", kCurveColour, 1.4, 5, 3);
    }
    const Point meet{c.d.x_meet, c.d.y_meet};
    draw({{c.xF, c.xF}, {c.d.x_q, c.d.y_q}}, "q-line", kQLineColour, 1.4, 6, 4);
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

}  // namespace veltrano::diagram::designed
