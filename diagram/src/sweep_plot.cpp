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
    const double x0 = ticks.front(), x1 = ticks.back();
    // The plate axis: to 30 in fives, or to a round number above the tallest column.
    std::vector<double> plate_ticks;
    if (most_plates <= kMostPlates) {
        for (int plates = 0; plates <= kMostPlates; plates += 5) plate_ticks.push_back(plates);
    } else {
        plate_ticks = axis_ticks(0, most_plates);
    }
    const ValueFrame frame{kSweepLeft, top, kSweepPlotWidth, kSweepPlotHeight, ticks, plate_ticks};
    const auto page_x = [&](double r) { return frame.page_x(r); };
    const auto page_y = [&](double plates) { return frame.page_y(plates); };

    // Frame, grid, ticks and captions; the plot's ranges are written on it for readers of the file.
    const Runs x_caption =
        by_value ? Runs{{swept.caption + " " + swept.symbol + swept.unit}} : Runs{{"R / R"}, {"min", true}};
    Node plot = value_plot(frame, x_caption, {{"塔板数 N，进料板"}});

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
            Node failed = failed_mark(at, bottom);
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
        Node mark = base_ring(page_x(*base_x), page_y(*base_plates));
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
    std::vector<Node> count_entry = sample_line(kCurveColour, 1.6);
    count_entry.push_back(count_sample);
    std::vector<Node> feed_entry = sample_line(kFeedColour, 1.6, {whole(5), whole(3)});
    feed_entry.push_back(feed_sample);
    std::vector<LegendEntry> entries = {
        {count_entry, {{"塔板数 N"}}}, {feed_entry, {{"进料板"}}}, failed_entry()};
    if (base_plates) entries.push_back(base_entry(swept.symbol, base_value));
    legend(out, kSweepRight, top, false, entries);
    return drawing;
}

}  // namespace veltrano::diagram
