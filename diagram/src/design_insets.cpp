// The design diagram's magnified corners: squares below the plot, each a
// window onto the steps that crowd one end of it with room for their
// numbers, drawn with its own grid, ticks and lines, and a rectangle on the
// plot, named A or B, that shows where it looks.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "design_diagram.h"

namespace veltrano::diagram::designed {

namespace {

// Room inside a magnified corner around the steps it holds: numbers sit up
// and to the left of their corners, the composition marks right and below.
constexpr double kRoomLeft = 40, kRoomTop = 34, kRoomRight = 30, kRoomBottom = 24;
// A corner is magnified only when its steps fit in this many pixels of the
// plot: a larger window would magnify too little to help.
constexpr double kWidestWindow = 80;

// The steps of stages first..last in the mole fractions they span: from the
// lowest liquid to the highest, from the lowest foot to the highest vapour.
struct Span {
    double x0, x1, y0, y1;
};
Span steps_span(const Column& c, int first, int last) {
    return {c.x(last), first == 1 ? c.xD : c.x(first), c.foot(last), c.y(first)};
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

}  // namespace

bool magnifiable(const Column& c, int first, int last) {
    const Span s = steps_span(c, first, last);
    return std::max(s.x1 - s.x0, s.y1 - s.y0) * c.plot.scale <= kWidestWindow;
}

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
                          Anchor anchor) { tick_mark(ticks, {ax, ay}, {bx, by}, {tx, ty}, std::move(label), anchor); };
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

}  // namespace veltrano::diagram::designed
