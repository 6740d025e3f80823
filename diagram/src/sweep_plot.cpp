// The plate count against the swept input, one point per value of a sweep.
#include <cmath>
#include <string>

#include "draw.h"
#include "veltrano/calc/balances.h"

namespace veltrano::diagram {

namespace {

using namespace draw;
using calc::ColumnInputs;

constexpr double kSweepWidth = 720, kSweepHeight = 600;
constexpr double kSweepLeft = 80, kSweepPlotWidth = 600, kSweepPlotHeight = 420;
constexpr double kSweepRight = kSweepLeft + kSweepPlotWidth;
// The plate-by-plate calculation stops at 30 plates: its axis ends there, and
// so does design mode's while its columns are no taller.
constexpr double kMostPlates = 30;

void add_data(Node& n, const char* name, double v) { n.data.push_back({name, exact_text(v)}); }

// The swept input's name for a title, a caption and the legend.
struct SweptText {
    std::string symbol;   // R, α, q, E
    std::string caption;  // its name in full
};
SweptText swept_text(Swept input) {
    switch (input) {
    case Swept::kReflux: return {"R", "回流比"};
    case Swept::kVolatility: return {"α", "相对挥发度"};
    case Swept::kFeedQuality: return {"q", "进料热状况参数"};
    case Swept::kEfficiency: return {"E", "默弗里板效率"};
    case Swept::kPressure: return {"P", "压力"};
    }
    return {};
}

Node series_line(Colour colour, std::vector<Num> dashes) {
    Node l = polyline({}, colour, fixed(1.6, 1));
    l.style.fill = kNoPaint;
    l.style.dashes = std::move(dashes);
    return l;
}

}  // namespace

Scene sweep_plot(const SweepBase& swept_base, std::optional<int> base_plates, const SweepRange& range,
                 const std::vector<SweepRow>& rows) {
    const calc::DesignInputs& design_base = swept_base.inputs;
    const ColumnInputs& base = design_base.column;
    // Against the swept value itself where R / Rmin says nothing of it: the
    // feed condition and the pressure move Rmin with them, the efficiency
    // leaves it alone.
    const bool by_value = range.input == Swept::kFeedQuality || range.input == Swept::kEfficiency ||
                          range.input == Swept::kPressure;
    const SweptText swept = swept_text(range.input);
    // Design mode names q and E among the fixed inputs: one line more.
    const double top = range.design ? 134 : 112, bottom = top + kSweepPlotHeight;
    Scene drawing = page_of(kSweepWidth, kSweepHeight + (top - 112),
                         by_value ? "塔板数与 " + swept.symbol : std::string("塔板数与 R/Rmin"));
    Node& out = drawing.root;

    const std::string range_text = "：" + swept.symbol + " 从 " + exact_text(range.from) + " 到 " +
                                   exact_text(range.to) + "，步长 " + exact_text(range.step);
    const Runs title = by_value ? Runs{{"塔板数与" + swept.caption + " " + swept.symbol + range_text}}
                                : Runs{{"塔板数与 R/R"}, {"min", true}, {range_text}};
    Node heading = title_line(kSweepWidth, 36, 19, title);
    heading.style.bold = true;
    out.children.push_back(std::move(heading));
    Runs fixed1, fixed2, fixed3;
    for (auto input : {&ColumnInputs::F, &ColumnInputs::xF, &ColumnInputs::xD}) append_input(fixed1, base, input);
    append_input(fixed2, base, &ColumnInputs::xW);
    if (range.input != Swept::kReflux) append_input(fixed2, base, &ColumnInputs::R);
    if (swept_base.curve) {
        fixed2.push_back({"　　" + swept_base.curve->description()});
    } else if (range.input != Swept::kVolatility && range.input != Swept::kPressure) {
        append_input(fixed2, base, &ColumnInputs::alpha);
    }
    if (range.design && range.input != Swept::kFeedQuality) {
        append_quantity(fixed3, "进料热状况参数", "q", "", design_base.q);
    }
    if (range.design && range.input != Swept::kEfficiency) {
        if (!fixed3.empty()) fixed3.push_back({"　　"});
        append_quantity(fixed3, "默弗里板效率", "E", "", design_base.efficiency);
    }
    out.children.push_back(title_line(kSweepWidth, 64, 14, fixed1));
    out.children.push_back(title_line(kSweepWidth, 86, 14, fixed2));
    if (range.design) out.children.push_back(title_line(kSweepWidth, 108, 14, fixed3));

    // Where each row and the base case go across: their swept value, or their R / Rmin.
    const double base_value = range.input == Swept::kFeedQuality  ? design_base.q
                              : range.input == Swept::kEfficiency ? design_base.efficiency
                              : range.input == Swept::kPressure   ? swept_base.pressure_kPa
                              : range.input == Swept::kReflux     ? base.R
                                                                  : base.alpha;
    const std::optional<double> base_x =
        by_value              ? std::optional<double>(base_value)
        : swept_base.curve    ? calc::reflux_over_minimum(design_base, *swept_base.curve)
        : range.design        ? calc::reflux_over_minimum(design_base)
                              : calc::reflux_over_minimum(base);
    const auto across = [&](const SweepRow& row) { return by_value ? std::optional<double>(row.value) : row.ratio; };
    double low = INFINITY, high = -INFINITY;
    int most_plates = 0;
    for (const SweepRow& row : rows) {
        if (const std::optional<double> x = across(row)) {
            low = std::min(low, *x);
            high = std::max(high, *x);
        }
        if (row.error == 0) most_plates = std::max(most_plates, row.plate_count);
    }
    const bool any = low <= high;
    // The plate-by-plate run always has its base; design mode's only when it succeeded.
    if (base_x && any && (base_plates || !range.design)) {
        low = std::min(low, *base_x);
        high = std::max(high, *base_x);
    }
    if (base_plates) most_plates = std::max(most_plates, *base_plates);
    const std::vector<double> ticks = any ? axis_ticks(low, high) : std::vector<double>{0, 1};
    const double x0 = ticks.front(), x1 = ticks.back(), step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1;
    // The plate axis: to 30 in fives, or to a round number above the tallest column.
    std::vector<double> plate_ticks;
    if (most_plates <= kMostPlates) {
        for (int plates = 0; plates <= kMostPlates; plates += 5) plate_ticks.push_back(plates);
    } else {
        plate_ticks = axis_ticks(0, most_plates);
    }
    const double most = plate_ticks.back();
    // In halves, so that no difference overflows; the ticks span every value.
    const auto page_x = [&](double r) {
        const double along = (r / 2 - x0 / 2) / (x1 / 2 - x0 / 2);
        return kSweepLeft + (std::isfinite(along) ? along : 0.5) * kSweepPlotWidth;
    };
    const auto page_y = [&](double plates) { return bottom - plates / most * kSweepPlotHeight; };

    // Frame, grid and ticks; the plot's ranges are written on it for readers of the file.
    Node plot = group();
    plot.id = "plot";
    plot.data = {{"x-range", exact_text(x0) + " " + exact_text(x1)},
                 {"y-range", "0 " + exact_text(most)},
                 {"frame", number_text(page(kSweepLeft)) + " " + number_text(page(top)) + " " +
                               number_text(page(kSweepPlotWidth)) + " " + number_text(page(kSweepPlotHeight))}};
    Node grid = group("grid");
    grid.style.stroke = kGridColour;
    grid.style.stroke_width = whole(1);
    const auto grid_line = [](double ax, double ay, double bx, double by) {
        Node l;
        l.kind = Node::Kind::kLine;
        l.points = {{page(ax), page(ay)}, {page(bx), page(by)}};
        return l;
    };
    for (const double t : ticks) grid.children.push_back(grid_line(page_x(t), top, page_x(t), bottom));
    for (const double plates : plate_ticks) {
        if (plates <= 0 || plates >= most) continue;
        grid.children.push_back(grid_line(kSweepLeft, page_y(plates), kSweepRight, page_y(plates)));
    }
    plot.children.push_back(std::move(grid));
    plot.children.push_back(page_frame(kSweepLeft, top, kSweepPlotWidth, kSweepPlotHeight));
    Node tick_texts = group("ticks");
    tick_texts.style.font_size = whole(12);
    tick_texts.style.stroke = kNoPaint;
    for (const double t : ticks) {
        tick_texts.children.push_back(
            text(page(page_x(t)), page(bottom + 19), {{tick_text(t, step)}}, std::nullopt, Anchor::kMiddle));
    }
    for (const double plates : plate_ticks) {
        tick_texts.children.push_back(text(page(kSweepLeft - 8), page(page_y(plates) + 4),
                                           {{std::to_string(static_cast<long long>(plates))}}, std::nullopt,
                                           Anchor::kEnd));
    }
    plot.children.push_back(std::move(tick_texts));
    Node x_caption = text_line(kSweepLeft + kSweepPlotWidth / 2, bottom + 46, 14,
                               by_value ? Runs{{swept.caption + " " + swept.symbol + (range.input == Swept::kPressure ? " / kPa" : "")}}
                                        : Runs{{"R / R"}, {"min", true}});
    x_caption.style.anchor = Anchor::kMiddle;
    plot.children.push_back(std::move(x_caption));
    plot.children.push_back(y_caption(kSweepLeft - 44, top + kSweepPlotHeight / 2, {{"塔板数 N，进料板"}}));

    if (!any) {
        Node none = text_line(kSweepLeft + kSweepPlotWidth / 2, top + kSweepPlotHeight / 2, 16,
                              {{"R/R"}, {"min", true}, {" 在这些值下都无定义，无点可画"}});
        none.style.anchor = Anchor::kMiddle;
        plot.children.push_back(std::move(none));
    }
    if (!by_value && any && x0 <= 1 && 1 <= x1) {
        Node minimum = line({page(page_x(1)), page(top)}, {page(page_x(1)), page(bottom)}, kRectifyingColour,
                            fixed(1.4, 1));
        minimum.cls = "minimum-reflux";
        minimum.style.dashes = {whole(6), whole(4)};
        plot.children.push_back(std::move(minimum));
        Node label = text_line(page_x(1) + 5, top + 16, 12, {{"R = R"}, {"min", true}});
        label.style.fill = kRectifyingColour;
        plot.children.push_back(std::move(label));
    }

    // The two series, joined between neighbouring values that both succeeded.
    std::vector<Node> plate_lines, feed_lines, markers;
    const auto join = [](std::vector<Node>& lines, double x, double y, bool continues, Colour colour,
                         std::vector<Num> dashes) {
        if (!continues || lines.empty()) lines.push_back(series_line(colour, std::move(dashes)));
        lines.back().points.push_back({page(x), page(y)});
    };
    bool previous_ok = false;
    for (const SweepRow& row : rows) {
        const std::optional<double> x = across(row);
        if (!x) {
            previous_ok = false;
            continue;
        }
        const double at = page_x(*x);
        const auto add_row_data = [&](Node& n) {
            add_data(n, "value", row.value);
            if (row.ratio) add_data(n, "ratio", *row.ratio);
        };
        if (row.error != 0) {
            Node failed = text(page(at), page(bottom - 4), {{"×"}}, whole(14), Anchor::kMiddle);
            failed.cls = "failed";
            failed.style.fill = kRectifyingColour;
            add_row_data(failed);
            failed.data.push_back({"error", std::to_string(row.error)});
            markers.push_back(std::move(failed));
            previous_ok = false;
            continue;
        }
        const double plates_at = page_y(row.plate_count), feed_at = page_y(row.feed_plate);
        join(plate_lines, at, plates_at, previous_ok, kCurveColour, {});
        join(feed_lines, at, feed_at, previous_ok, kFeedColour, {whole(5), whole(3)});
        Node count = circle(page(at), page(plates_at), fixed(3.5, 1));
        count.cls = "plate-count";
        count.style.fill = kCurveColour;
        add_row_data(count);
        count.data.push_back({"plates", std::to_string(row.plate_count)});
        markers.push_back(std::move(count));
        Node feed = rect(page(at - 3), page(feed_at - 3), whole(6), whole(6));
        feed.cls = "feed-plate";
        feed.style.fill = kWhite;
        feed.style.stroke = kFeedColour;
        feed.style.stroke_width = fixed(1.4, 1);
        add_row_data(feed);
        feed.data.push_back({"feed", std::to_string(row.feed_plate)});
        markers.push_back(std::move(feed));
        previous_ok = true;
    }
    Node series = group("series");
    for (std::vector<Node>* part : {&feed_lines, &plate_lines, &markers}) {
        for (Node& n : *part) series.children.push_back(std::move(n));
    }
    plot.children.push_back(std::move(series));
    if (base_x && any && base_plates) {
        Node mark = circle(page(page_x(*base_x)), page(page_y(*base_plates)), whole(8));
        mark.cls = "base";
        mark.style.fill = kNoPaint;
        mark.style.stroke = kStepColour;
        mark.style.stroke_width = fixed(1.4, 1);
        add_data(mark, by_value ? "value" : "ratio", *base_x);
        mark.data.push_back({"plates", std::to_string(*base_plates)});
        plot.children.push_back(std::move(mark));
    }
    out.children.push_back(std::move(plot));

    Node count_sample = circle(whole(13), whole(0), fixed(3.5, 1));
    count_sample.style.fill = kCurveColour;
    Node feed_sample = rect(whole(10), whole(-3), whole(6), whole(6));
    feed_sample.style.fill = kWhite;
    feed_sample.style.stroke = kFeedColour;
    feed_sample.style.stroke_width = fixed(1.4, 1);
    Node failed_sample = text(whole(13), whole(5), {{"×"}}, whole(14), Anchor::kMiddle);
    failed_sample.style.fill = kRectifyingColour;
    std::vector<Node> count_entry = sample_line(kCurveColour, 1.6);
    count_entry.push_back(count_sample);
    std::vector<Node> feed_entry = sample_line(kFeedColour, 1.6, {whole(5), whole(3)});
    feed_entry.push_back(feed_sample);
    std::vector<LegendEntry> entries = {
        {count_entry, {{"塔板数 N"}}}, {feed_entry, {{"进料板"}}}, {{failed_sample}, {{"计算出错（错误号见输出）"}}}};
    if (base_plates) {
        Node base_sample = circle(whole(13), whole(0), whole(7));
        base_sample.style.fill = kNoPaint;
        base_sample.style.stroke = kStepColour;
        base_sample.style.stroke_width = fixed(1.4, 1);
        entries.push_back({{base_sample}, {{"本次计算（" + swept.symbol + " = " + exact_text(base_value) + "）"}}});
    }
    legend(out, kSweepRight, top, false, entries);
    return drawing;
}

}  // namespace veltrano::diagram
