// The McCabe–Thiele diagram of one plate-by-plate calculation.
#include <algorithm>
#include <cmath>
#include <string>

#include "draw.h"
#include "veltrano/calc/balances.h"
#include "veltrano/calc/design.h"

namespace veltrano::diagram {

namespace {

using namespace draw;
using calc::ColumnInputs;
using calc::ColumnResult;

// The staircase: from (xD, xD) across to plate 1 on the curve, down to the
// operating line, across to plate 2 ... to plate N, and down to the diagonal.
// Each vertex is a number of the profile: (x[n], y[n]) on the curve, (x[n],
// y[n+1]) on the operating line.
std::vector<Point> staircase(const ColumnResult& column) {
    const auto& x = column.x.slots();
    const auto& y = column.y.slots();
    const int n = column.plate_count.value();
    std::vector<Point> points = {{y[1], y[1]}};  // y[1] is xD: total condenser
    for (int p = 1; p <= n; ++p) {
        points.push_back({x[p], y[p]});
        points.push_back({x[p], p < n ? y[p + 1] : x[p]});
    }
    return points;
}

// The plot: the unit square of mole fractions, 580 pixels a side.
constexpr double kPageWidth = 720, kPageHeight = 770;
const Frame kPlot = Frame::unit_square(90, 112, 580);

// The corners on the curve that are on the page, each with the curve's slope.
std::vector<Corner> plate_corners(const ColumnInputs& in, const ColumnResult& column) {
    const auto& x = column.x.slots();
    const auto& y = column.y.slots();
    std::vector<Corner> corners;
    for (int p = 1; p <= column.plate_count.value(); ++p) {
        if (!in_unit_square({x[p], y[p]})) continue;  // its corner is not on the page
        double slope = calc::equilibrium_slope(in.alpha, x[p]);
        if (!std::isfinite(slope)) slope = 1;
        corners.push_back({p, x[p], y[p], slope});
    }
    return corners;
}

}  // namespace

PlotPlace staircase_plot_place() { return {kPlot.left, kPlot.top, kPlot.size}; }

Scene staircase_diagram(const ColumnInputs& in, const ColumnResult& column) {
    const int n = column.plate_count.value(), feed = column.feed_plate.value();
    const auto& x = column.x.slots();
    const auto& y = column.y.slots();
    Scene drawing = page_of(kPageWidth, kPageHeight, "McCabe–Thiele 图");
    Node& out = drawing.root;

    Node title = title_line(kPageWidth, 36, 19,
                            {{"McCabe–Thiele 图　进料板 " + std::to_string(feed) + "　塔板数 " + std::to_string(n)}});
    title.style.bold = true;
    out.children.push_back(std::move(title));
    Runs inputs1, inputs2;
    for (auto input : {&ColumnInputs::F, &ColumnInputs::xF, &ColumnInputs::xD}) append_input(inputs1, in, input);
    for (auto input : {&ColumnInputs::xW, &ColumnInputs::R, &ColumnInputs::alpha}) append_input(inputs2, in, input);
    out.children.push_back(title_line(kPageWidth, 64, 14, inputs1));
    out.children.push_back(title_line(kPageWidth, 86, 14, inputs2));

    // The plot, in mole fractions: x to the right, y upwards.
    Node plot = unit_square_plot(kPlot);
    polylines(plot, kPlot, {{{0, 0}, {1, 1}}}, "diagonal", kDiagonalColour, 1);
    equilibrium_curve(plot, kPlot, in.alpha);

    // Both operating lines end on the q-line, x = xF, each at its own vapour
    // there: they meet where the balances close.
    const double rectifying_end = calc::rectifying_line(in, in.xF);
    const double stripping_end = calc::stripping_line(in, column, in.xF);
    // The q-line rises from the diagonal to the higher of the meeting point and the curve.
    double q_top = in.xF;
    for (double v : {rectifying_end, stripping_end, calc::equilibrium_vapour(in.alpha, in.xF)}) {
        if (std::isfinite(v)) q_top = std::max(q_top, v);
    }
    polylines(plot, kPlot, clip_to_unit_square({{in.xF, in.xF}, {in.xF, q_top}}), "q-line", kQLineColour, 1.4,
              {kPlot.length(6), kPlot.length(4)});
    polylines(plot, kPlot, clip_to_unit_square({{in.xD, in.xD}, {in.xF, rectifying_end}}), "rectifying",
              kRectifyingColour, 1.6);
    polylines(plot, kPlot, clip_to_unit_square({{in.xW, in.xW}, {in.xF, stripping_end}}), "stripping",
              kStrippingColour, 1.6);
    polylines(plot, kPlot, clip_to_unit_square(staircase(column)), "staircase", kStepColour, 1.3);
    // The feed plate's step: across to it and down to the stripping line.
    polylines(plot, kPlot,
              clip_to_unit_square({{x[feed - 1], y[feed]}, {x[feed], y[feed]}, {x[feed], y[feed + 1]}}),
              "feed-step", kFeedColour, 3.2);

    Node dots = group("points");
    dots.style.fill = kStepColour;
    dots.style.stroke = kNoPaint;
    for (const Point p : {Point{in.xD, in.xD}, Point{in.xF, in.xF}, Point{in.xW, in.xW}}) {
        if (in_unit_square(p)) dots.children.push_back(circle(exact(p.x), exact(p.y), kPlot.length(3.2)));
    }
    if (in_unit_square({in.xF, rectifying_end})) {
        Node meeting = circle(exact(in.xF), exact(rectifying_end), kPlot.length(3.2));
        meeting.cls = "meeting";
        meeting.style.fill = kQLineColour;
        dots.children.push_back(std::move(meeting));
    }
    plot.children.push_back(std::move(dots));
    out.children.push_back(std::move(plot));

    unit_square_ticks(out, kPlot);
    const auto legend_of = [](bool thinned) {
        return std::vector<LegendEntry>{
            {sample_line(kCurveColour, 2), {{"平衡线 y = αx/(1 + (α − 1)x)"}}},
            {sample_line(kDiagonalColour, 1), {{"对角线 y = x"}}},
            {sample_line(kQLineColour, 1.4, {whole(6), whole(4)}), {{"q 线（泡点进料，x = x"}, {"F", true}, {"）"}}},
            {sample_line(kRectifyingColour, 1.6), {{"精馏段操作线"}}},
            {sample_line(kStrippingColour, 1.6), {{"提馏段操作线"}}},
            {sample_line(kStepColour, 1.3),
             {{thinned ? "逐板梯级（数字为板号，过密处只标部分）" : "逐板梯级（数字为板号）"}}},
            {sample_line(kFeedColour, 3.2), {{"进料板的梯级"}}}};
    };
    // xW, xF and xD named under their points on the diagonal.
    std::vector<Box> taken;
    Node marks = group();
    const struct { double v; const char* sub; } points[] = {{in.xD, "D"}, {in.xF, "F"}, {in.xW, "W"}};
    for (const auto& m : points) {
        if (!in_unit_square({m.v, m.v})) continue;
        const double lx = kPlot.page_x(m.v) + 7, ly = kPlot.page_y(m.v) + 15;
        Node mark = text_line(lx, ly, 13, {{"x"}, {m.sub, true}});
        mark.cls = "composition";
        marks.children.push_back(std::move(mark));
        taken.push_back({lx, ly - 13, lx + 16, ly + 3});
    }
    Node key = group();
    taken.push_back(legend(key, kPlot.right(), kPlot.bottom(), true, legend_of(false)));
    // Inside the frame on the left and at the bottom, where the tick labels
    // are; a little room above and to the right.
    const Box allowed{kPlot.left + 1, kPlot.top - 14, kPlot.right() + 14, kPlot.bottom() - 1};
    const std::vector<StepLabel> labels = place_step_numbers(kPlot, plate_corners(in, column), feed, allowed, taken);
    // Magnified corners are a sound column's: its distillate at the top
    // right, its bottoms at the bottom left.
    // Plates crowding an end (a high purity): magnified below the plot.
    if (!readable(labels, taken, allowed) && calc::input_problems({in, 1, 1}).empty()) {
        if (const auto height =
                number_crowded_plates(out, in, column, kPlot, {in.xF, q_top}, {in.xF, rectifying_end}, legend_of)) {
            drawing.height = *height;
            return drawing;
        }
    }
    for (Node& n : marks.children) out.children.push_back(std::move(n));
    for (Node& n : key.children) out.children.push_back(std::move(n));
    write_step_numbers(out, labels, feed);
    return drawing;
}

}  // namespace veltrano::diagram
