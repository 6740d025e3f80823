// What the sweeps' plots share: the swept input's names, a frame of value
// against value with its grid, ticks and captions, the series' lines, the
// cross of a failed value and the ring of the column swept from.
#include <cmath>
#include <string>

#include "draw.h"

namespace veltrano::diagram::draw {

SweptText swept_text(Swept input) {
    switch (input) {
    case Swept::kReflux: return {"R", "回流比", ""};
    case Swept::kVolatility: return {"α", "相对挥发度", ""};
    case Swept::kFeedQuality: return {"q", "进料热状况参数", ""};
    case Swept::kEfficiency: return {"E", "默弗里板效率", ""};
    case Swept::kPressure: return {"P", "压力", " / kPa"};
    case Swept::kDistillate: return {"D", "馏出流量", " / (kmol/h)"};
    case Swept::kStages: return {"N", "塔板数", ""};
    case Swept::kFeedStage: return {"f", "进料板", ""};
    }
    return {};
}

// In halves, so that no difference overflows; the ticks span every value.
double ValueFrame::page_x(double v) const {
    const double x0 = x_ticks.front(), x1 = x_ticks.back();
    const double along = (v / 2 - x0 / 2) / (x1 / 2 - x0 / 2);
    return left + (std::isfinite(along) ? along : 0.5) * width;
}

double ValueFrame::page_y(double v) const {
    const double up = (v - y_ticks.front()) / (y_ticks.back() - y_ticks.front());
    return bottom() - (std::isfinite(up) ? up : 0.5) * height;
}

Node value_plot(const ValueFrame& f, Runs x_caption, Runs y_caption_runs) {
    Node plot = group();
    plot.id = "plot";
    plot.data = {{"x-range", exact_text(f.x_ticks.front()) + " " + exact_text(f.x_ticks.back())},
                 {"y-range", exact_text(f.y_ticks.front()) + " " + exact_text(f.y_ticks.back())},
                 {"frame", number_text(page(f.left)) + " " + number_text(page(f.top)) + " " +
                               number_text(page(f.width)) + " " + number_text(page(f.height))}};
    Node grid = group("grid");
    grid.style.stroke = kGridColour;
    grid.style.stroke_width = whole(1);
    const auto grid_line = [](double ax, double ay, double bx, double by) {
        Node l;
        l.kind = Node::Kind::kLine;
        l.points = {{page(ax), page(ay)}, {page(bx), page(by)}};
        return l;
    };
    for (const double t : f.x_ticks) grid.children.push_back(grid_line(f.page_x(t), f.top, f.page_x(t), f.bottom()));
    for (std::size_t i = 1; i + 1 < f.y_ticks.size(); ++i) {
        const double at = f.page_y(f.y_ticks[i]);
        grid.children.push_back(grid_line(f.left, at, f.right(), at));
    }
    plot.children.push_back(std::move(grid));
    plot.children.push_back(page_frame(f.left, f.top, f.width, f.height));
    Node tick_texts = group("ticks");
    tick_texts.style.font_size = whole(12);
    tick_texts.style.stroke = kNoPaint;
    const auto step_of = [](const std::vector<double>& ticks) { return ticks.size() > 1 ? ticks[1] - ticks[0] : 1; };
    const double x_step = step_of(f.x_ticks), y_step = step_of(f.y_ticks);
    for (const double t : f.x_ticks) {
        tick_texts.children.push_back(text(page(f.page_x(t)), page(f.bottom() + 19), {{tick_text(t, x_step)}},
                                           std::nullopt, Anchor::kMiddle));
    }
    for (const double t : f.y_ticks) {
        tick_texts.children.push_back(
            text(page(f.left - 8), page(f.page_y(t) + 4), {{tick_text(t, y_step)}}, std::nullopt, Anchor::kEnd));
    }
    plot.children.push_back(std::move(tick_texts));
    Node across = text_line(f.left + f.width / 2, f.bottom() + 46, 14, std::move(x_caption));
    across.style.anchor = Anchor::kMiddle;
    plot.children.push_back(std::move(across));
    plot.children.push_back(y_caption(f.left - 44, f.top + f.height / 2, std::move(y_caption_runs)));
    return plot;
}

Node series_line(Colour colour, std::vector<Num> dashes) {
    Node l = polyline({}, colour, fixed(1.6, 1));
    l.style.fill = kNoPaint;
    l.style.dashes = std::move(dashes);
    return l;
}

Node failed_mark(double x, double bottom) {
    Node failed = text(page(x), page(bottom - 4), {{"×"}}, whole(14), Anchor::kMiddle);
    failed.cls = "failed";
    failed.style.fill = kRectifyingColour;
    return failed;
}

Node base_ring(double x, double y) {
    Node ring = circle(page(x), page(y), whole(8));
    ring.cls = "base";
    ring.style.fill = kNoPaint;
    ring.style.stroke = kStepColour;
    ring.style.stroke_width = fixed(1.4, 1);
    return ring;
}

LegendEntry failed_entry() {
    Node sample = text(whole(13), whole(5), {{"×"}}, whole(14), Anchor::kMiddle);
    sample.style.fill = kRectifyingColour;
    return {{sample}, {{"计算出错（错误号见输出）"}}};
}

LegendEntry base_entry(const std::string& symbol, double value) {
    Node sample = circle(whole(13), whole(0), whole(7));
    sample.style.fill = kNoPaint;
    sample.style.stroke = kStepColour;
    sample.style.stroke_width = fixed(1.4, 1);
    return {{sample}, {{"本次计算（" + symbol + " = " + exact_text(value) + "）"}}};
}

}  // namespace veltrano::diagram::draw
