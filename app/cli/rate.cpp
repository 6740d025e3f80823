#include "rate.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "mixture.h"
#include "output.h"
#include "sweep.h"
#include "veltrano/calc/balances.h"
#include "veltrano/calc/rating.h"
#include "veltrano/command/input_fields.h"
#include "veltrano/diagram/diagrams.h"
#include "veltrano/diagram/svg.h"

namespace veltrano::app {

namespace {

// --stages 12, --feed-stage 5: a whole number, or a usage error.
bool read_whole_option(const std::string& text, const char* name, Language language, int& value, std::string& why) {
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc() && end == text.data() + text.size() && std::llabs(v) <= std::numeric_limits<int>::max()) {
        value = static_cast<int>(v);
        return true;
    }
    why = std::string(name) + worded(language, " 须是整数，不是 ", " must be a whole number, not ") + core::quote_excerpt(text);
    return false;
}

// F, xF, R and alpha from their texts as the window's fields read them.
void read_texts(const std::vector<std::string>& texts, const core::NumberFormat& format, calc::RatingInputs& in) {
    double* const targets[] = {&in.F, &in.xF, &in.R, &in.alpha};
    constexpr double calc::ColumnInputs::* kInputs[] = {&calc::ColumnInputs::F, &calc::ColumnInputs::xF,
                                                        &calc::ColumnInputs::R, &calc::ColumnInputs::alpha};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const command::InputField& field = command::input_field(kInputs[i]);
        *targets[i] = core::text_to_double(texts[i], format, field.caption, field.letter);
    }
}

// The rated column as design mode's inputs, for its diagram.
calc::DesignInputs as_design(const calc::RatingInputs& in, const calc::Rating& r) {
    return {{in.F, in.xF, r.xD, r.xW, in.R, in.alpha}, in.q, in.efficiency};
}

std::string rating_details(const calc::Rating& r) {
    const calc::Design& d = r.column;
    return name_value_lines({
        {"馏出流量 D", d.D},
        {"塔底流量 W", d.W},
        {"精馏段液相流量 L", d.L},
        {"精馏段汽相流量 V", d.V},
        {"提馏段液相流量 L′", d.L_strip},
        {"提馏段汽相流量 V′", d.V_strip},
        {"最小回流比 Rmin", calc::finite(d.R_min)},
        {"R/Rmin", d.R_over_R_min},
        {"轻组分回收率", r.recovery},
    });
}

// The feed stage of the sweep's rows that gives the richest distillate.
std::string best_feed_stage(const std::vector<diagram::RatingSweepRow>& rows) {
    const diagram::RatingSweepRow* best = nullptr;
    for (const diagram::RatingSweepRow& row : rows) {
        if (row.error == 0 && (best == nullptr || *row.xD > *best->xD)) best = &row;
    }
    return "最佳进料板\t" + (best ? core::double_to_text(best->value) : std::string("-")) + '\n';
}

}  // namespace

int run_rate(const Request& request, const core::NumberFormat& format, Language language, std::ostream& out,
             std::ostream& err, const sheet::SpreadsheetFactory& new_spreadsheet) {
    std::string why;
    std::optional<SweepRange> sweep;
    if (request.sweep && !(sweep = parse_sweep(*request.sweep, format, language, why,
                                               {false, true, request.on_curve(), request.mixture.has_value()}))) {
        return usage_error(err, language, why);
    }
    calc::RatingInputs in{};
    double pressure = calc::kAtmosphere;
    if (!read_number_option(request.q, "--q", format, language, in.q, why) ||
        !read_number_option(request.efficiency, "--efficiency", format, language, in.efficiency, why) ||
        !read_number_option(request.pressure, "--pressure", format, language, pressure, why) ||
        !read_number_option(request.distillate, "--distillate", format, language, in.D, why) ||
        !read_whole_option(*request.stages, "--stages", language, in.stages, why) ||
        !read_whole_option(*request.feed_stage, "--feed-stage", language, in.feed_stage, why)) {
        return usage_error(err, language, why);
    }
    if (const auto failed = core::run_press([&] { read_texts(request.texts, format, in); })) return report(err, *failed);
    if (request.on_curve()) in.alpha = NAN;

    // As design mode: a file or a name that fails ends the run, a pressure
    // that fails is the base's error when P is swept.
    ChosenCurve chosen;
    if (!requested_curve(request, chosen, err)) return 1;
    std::optional<calc::Rating> rating;
    const auto base_failed = core::run_press([&] {
        chosen.at_pressure(pressure);
        rating = chosen.curve ? calc::rate_column(in, *chosen.curve) : calc::rate_column(in);
    });
    // A sweep goes on past a failed base, but not without a curve to step on.
    const bool rows_run = sweep && (!request.on_curve() || chosen.curve || sweep->input == Swept::kPressure);
    if (base_failed && !rows_run) return report(err, *base_failed);
    if (rating) {
        out << column_lines(rating->column, chosen.knows_temperature());
        out << name_value_lines({{"馏出液组成 xD", rating->xD}, {"釜液组成 xW", rating->xW}});
        if (request.details) out << rating_details(*rating);
    }
    std::vector<diagram::RatingSweepRow> rows;
    if (sweep) {
        rows = run_rating_sweep(in, *sweep, rows_curve(chosen, sweep->input));
        out << rating_sweep_tsv(*sweep, rows);
        if (request.details && sweep->input == Swept::kFeedStage) out << best_feed_stage(rows);
    }
    out.flush();
    if (request.svg) {
        std::string svg;
        if (sweep) {
            const diagram::RatingSweepBase base{in, chosen.curve.get(), rating ? std::optional<double>(rating->xD) : std::nullopt,
                                                rating ? std::optional<double>(rating->xW) : std::nullopt};
            svg = diagram::to_svg(diagram::rating_sweep_plot(base, *sweep, rows));
        } else {
            const calc::DesignInputs drawn = as_design(in, *rating);
            svg = diagram::to_svg(chosen.curve ? diagram::design_diagram(drawn, rating->column, *chosen.curve)
                                               : diagram::design_diagram(drawn, rating->column));
        }
        if (write_svg(err, *request.svg, svg) != 0) return 1;
    }
    if (base_failed) return report(err, *base_failed);
    if (!request.to_spreadsheet) return 0;
    const calc::Design& column = rating->column;
    return export_to(err, new_spreadsheet,
                     [&](sheet::Spreadsheet& s) { sheet::export_stages(s, column.x, column.y, column.T); });
}

}  // namespace veltrano::app
