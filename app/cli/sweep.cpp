#include "sweep.h"

#include <charconv>
#include <cmath>

#include "veltrano/calc/balances.h"
#include "veltrano/calc/errors.h"
#include "veltrano/core/run_error.h"

namespace veltrano::app {

namespace {

// What each command may sweep: the exact mode, design mode, a rating.
struct SweptName {
    std::string_view name, symbol;
    Swept input;
    bool exact, design, rating;
};
constexpr SweptName kSwept[] = {
    {"R", "R", Swept::kReflux, true, true, true},
    {"alpha", "alpha", Swept::kVolatility, true, true, false},
    {"α", "alpha", Swept::kVolatility, true, true, false},
    {"q", "q", Swept::kFeedQuality, false, true, true},
    {"E", "E", Swept::kEfficiency, false, true, true},
    {"P", "P", Swept::kPressure, false, true, true},
    {"D", "D", Swept::kDistillate, false, false, true},
    {"stages", "stages", Swept::kStages, false, false, true},
    {"feed-stage", "feed-stage", Swept::kFeedStage, false, false, true},
};

// The shortest decimal within `tolerance` of `v`.
double tidy(double v, double tolerance) {
    char buf[64];
    for (int digits = 1; digits < 17; ++digits) {
        const auto written = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
        double shorter = v;
        std::from_chars(buf, written.ptr, shorter);
        if (std::abs(shorter - v) <= tolerance) return shorter;
    }
    return v;
}

}  // namespace

std::optional<SweepRange> parse_sweep(std::string_view text, const core::NumberFormat& format, Language language,
                                      std::string& why, const SweepContext& context) {
    const auto equals = text.find('=');
    const SweptName* swept = nullptr;
    const bool design = context.design, on_curve = context.on_curve, mixture = context.mixture;
    for (const SweptName& s : kSwept) {
        const bool allowed = (context.rating ? s.rating : design ? s.design : s.exact) &&
                             !(on_curve && s.input == Swept::kVolatility) && (mixture || s.input != Swept::kPressure);
        if (equals != std::string_view::npos && text.substr(0, equals) == s.name && allowed) swept = &s;
    }
    if (!swept && context.rating) {
        why = worded(language, "rate 的 --sweep 只能扫描 R、D、q、E、stages 或 feed-stage（有 --mixture 时还有 P），写作 R=起:止:步长",
                     "rate's --sweep takes R, D, q, E, stages or feed-stage (and P with --mixture), written R=FROM:TO:STEP");
        return std::nullopt;
    }
    if (!swept) {
        why = mixture    ? worded(language, "有 --mixture 时 --sweep 只能扫描 R、q、E 或 P（压力 kPa），写作 R=起:止:步长",
                                  "with --mixture, --sweep takes R, q, E or P (pressure, kPa), written R=FROM:TO:STEP")
              : on_curve ? worded(language, "有 --xy 时 --sweep 只能扫描 R、q 或 E，写作 R=起:止:步长",
                                  "with --xy, --sweep takes R, q or E, written R=FROM:TO:STEP")
              : design   ? worded(language, "--sweep 只能扫描 R、alpha、q 或 E，写作 R=起:止:步长",
                                  "--sweep takes R, alpha, q or E, written R=FROM:TO:STEP")
                         : worded(language, "--sweep 只能扫描 R 或 alpha，写作 R=起:止:步长",
                                  "--sweep takes R or alpha, written R=FROM:TO:STEP");
        return std::nullopt;
    }
    double bounds[3];
    std::string_view rest = text.substr(equals + 1);
    for (int i = 0; i < 3; ++i) {
        const auto colon = rest.find(':');
        if ((i < 2) == (colon == std::string_view::npos)) {
            why = worded(language, "--sweep 的范围应写作 起:止:步长", "the range of --sweep is written FROM:TO:STEP");
            return std::nullopt;
        }
        try {
            bounds[i] = core::text_to_double(rest.substr(0, colon), format);
        } catch (const core::RunError& e) {
            why = worded(language, "--sweep 的范围中有不是数字的部分（", "the range of --sweep holds a part that is not a number (") +
                  e.description() + worded(language, "）", ")");
            return std::nullopt;
        }
        rest = i < 2 ? rest.substr(colon + 1) : std::string_view{};
    }
    SweepRange range{swept->symbol, swept->input, bounds[0], bounds[1], bounds[2], {}, design || context.rating};
    // How many steps from FROM to TO, forgiving the rounding of the step;
    // in halves, so that no difference overflows.
    const double steps = (range.to / 2 - range.from / 2) / (range.step / 2);
    if (range.step == 0 || !(steps > -1e-9)) {
        why = worded(language, "--sweep 的步长须不为零，且从起点走向终点",
                 "the step of --sweep must not be zero and must lead from FROM to TO");
        return std::nullopt;
    }
    if (!(steps + 1e-9 < static_cast<double>(kMaxSweepValues))) {
        why = worded(language, "--sweep 最多 ", "--sweep takes at most ") + std::to_string(kMaxSweepValues) +
              worded(language, " 个值", " values");
        return std::nullopt;
    }
    const auto count = static_cast<std::size_t>(std::floor(steps + 1e-9)) + 1;
    const double tolerance = std::abs(range.step) * 1e-9;
    for (std::size_t i = 0; i < count; ++i) {
        const double value = (range.from / 2 + static_cast<double>(i) * (range.step / 2)) * 2;
        range.values.push_back(tidy(value, tolerance));
    }
    return range;
}

calc::DesignInputs with_value(calc::DesignInputs in, Swept input, double value) {
    switch (input) {
    case Swept::kReflux: in.column.R = value; break;
    case Swept::kVolatility: in.column.alpha = value; break;
    case Swept::kFeedQuality: in.q = value; break;
    case Swept::kEfficiency: in.efficiency = value; break;
    case Swept::kPressure: break;  // the row's curve holds it
    case Swept::kDistillate: case Swept::kStages: case Swept::kFeedStage: break;  // a rating's own
    }
    return in;
}

namespace {

// One row per value: `calculate` fills in the column of `in` (its R / Rmin,
// feed plate and plate count) or raises, and the row keeps the error.
template <class Calculate>
std::vector<SweepRow> sweep_rows(const calc::DesignInputs& base, const SweepRange& range, Calculate calculate) {
    std::vector<SweepRow> rows;
    rows.reserve(range.values.size());
    for (const double value : range.values) {
        SweepRow row;
        row.value = value;
        try {
            calculate(with_value(base, range.input, value), row);
        } catch (const core::RunError& e) {
            row.error = e.number();
            row.message = e.description();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace

std::vector<SweepRow> run_sweep(const calc::ColumnInputs& base, const SweepRange& range) {
    return sweep_rows({base}, range, [](const calc::DesignInputs& in, SweepRow& row) {
        row.ratio = calc::reflux_over_minimum(in.column);
        const calc::ColumnResult column = calc::calculate(in.column);
        row.feed_plate = column.feed_plate.value();
        row.plate_count = column.plate_count.value();
    });
}

std::vector<SweepRow> run_design_sweep(const calc::DesignInputs& base, const SweepRange& range,
                                       const RowCurve& curve) {
    return sweep_rows(base, range, [&](const calc::DesignInputs& in, SweepRow& row) {
        if (!curve) {
            row.ratio = calc::reflux_over_minimum(in);
            const calc::Design d = calc::design_column(in);
            row.feed_plate = d.feed_stage;
            row.plate_count = d.stage_count;
            return;
        }
        // On a curve the minimum reflux is a search: a designed row has it
        // already, only a failed one looks for it on its own.
        const std::shared_ptr<const calc::EquilibriumCurve> on = curve(row.value);
        calc::Design d;
        try {
            d = calc::design_column(in, *on);
        } catch (const core::RunError&) {
            try {
                row.ratio = calc::reflux_over_minimum(in, *on);
            } catch (const core::RunError&) {
            }
            throw;
        }
        row.ratio = d.R_over_R_min ? calc::finite(*d.R_over_R_min) : std::nullopt;
        row.feed_plate = d.feed_stage;
        row.plate_count = d.stage_count;
    });
}

std::string sweep_tsv(const SweepRange& range, const std::vector<SweepRow>& rows) {
    const bool messages = range.design;
    std::string out = std::string(range.symbol) + "\tR/Rmin\t进料板\t塔板数\t错误" + (messages ? "\t说明\n" : "\n");
    for (const SweepRow& row : rows) {
        const bool ok = row.error == 0;
        out += core::double_to_text(row.value);
        out += '\t';
        out += row.ratio ? core::double_to_text(*row.ratio) : "-";
        out += '\t';
        out += ok ? std::to_string(row.feed_plate) : "-";
        out += '\t';
        out += ok ? std::to_string(row.plate_count) : "-";
        out += '\t';
        out += ok ? "-" : std::to_string(row.error);
        if (messages) {
            out += '\t';
            out += ok ? "-" : row.message;
        }
        out += '\n';
    }
    return out;
}

namespace {

// `in` with the swept input set to `value`; a stage count or a feed stage
// that is not a whole number is the row's error.
calc::RatingInputs rated_with(calc::RatingInputs in, Swept input, double value) {
    const auto whole = [&](int& target, const char* what) {
        if (!(value == std::floor(value) && std::fabs(value) <= 1e6)) {
            throw core::RunError(calc::kInvalidArgument, std::string(what) + " = " + core::double_to_text(value) + " 须是整数");
        }
        target = static_cast<int>(value);
    };
    switch (input) {
    case Swept::kReflux: in.R = value; break;
    case Swept::kFeedQuality: in.q = value; break;
    case Swept::kEfficiency: in.efficiency = value; break;
    case Swept::kDistillate: in.D = value; break;
    case Swept::kStages: whole(in.stages, "塔板数 N"); break;
    case Swept::kFeedStage: whole(in.feed_stage, "进料板"); break;
    case Swept::kVolatility: in.alpha = value; break;
    case Swept::kPressure: break;  // the row's curve holds it
    }
    return in;
}

}  // namespace

std::vector<diagram::RatingSweepRow> run_rating_sweep(const calc::RatingInputs& base, const SweepRange& range,
                                                      const RowCurve& curve) {
    std::vector<diagram::RatingSweepRow> rows;
    rows.reserve(range.values.size());
    for (const double value : range.values) {
        diagram::RatingSweepRow row;
        row.value = value;
        try {
            const calc::RatingInputs in = rated_with(base, range.input, value);
            const calc::Rating r = curve ? calc::rate_column(in, *curve(value)) : calc::rate_column(in);
            row.xD = r.xD;
            row.xW = r.xW;
        } catch (const core::RunError& e) {
            row.error = e.number();
            row.message = e.description();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string rating_sweep_tsv(const SweepRange& range, const std::vector<diagram::RatingSweepRow>& rows) {
    std::string out = std::string(range.symbol) + "\txD\txW\t错误\t说明\n";
    for (const diagram::RatingSweepRow& row : rows) {
        const bool ok = row.error == 0;
        out += core::double_to_text(row.value) + '\t' + (ok ? core::double_to_text(*row.xD) : "-") + '\t' +
               (ok ? core::double_to_text(*row.xW) : "-") + '\t' + (ok ? "-" : std::to_string(row.error)) + '\t' +
               (ok ? "-" : row.message) + '\n';
    }
    return out;
}

}  // namespace veltrano::app
