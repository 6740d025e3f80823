// What one edit of the workbench computes: the fields read as the main
// window reads them, the curve, the design or the rating, the results as
// they are shown, and the picture `design --svg` or `rate --svg` draws.
#include <cmath>
#include <cstdio>

#include "veltrano/calc/design.h"
#include "veltrano/calc/errors.h"
#include "veltrano/calc/rating.h"
#include "veltrano/command/chosen_curve.h"
#include "veltrano/command/workbench.h"
#include "veltrano/core/error_report.h"
#include "veltrano/diagram/diagrams.h"
#include "workbench_choice.h"

namespace veltrano::command {

namespace {

// How the checks' messages name each field's quantity: the rule a message
// states is about the quantity named just before its "须" ("must").
struct Subject {
    std::string_view field, words;
};
constexpr Subject kSubjects[] = {
    {"F", "进料流率 F"},       {"xF", "进料组成 xF"},   {"xD", "馏出组成 xD"},         {"xW", "塔底组成 xW"},
    {"N", "塔板数 N"},         {"feed_stage", "进料板"}, {"D", "馏出流量 D"},           {"R", "回流比 R"},
    {"q", "进料热状况参数 q"}, {"q", "进料 q"},          {"E", "默弗里板效率 E"},       {"alpha", "相对挥发度 α"},
};

// The field a check's message is about: the quantity whose name is followed,
// past its " = value", by "须"; else the first one named; else none.
std::string blamed_field(const std::string& message) {
    std::string first;
    std::size_t first_at = std::string::npos;
    for (const Subject& s : kSubjects) {
        for (std::size_t at = message.find(s.words); at != std::string::npos; at = message.find(s.words, at + 1)) {
            std::size_t after = at + s.words.size();
            if (message.compare(after, 3, " = ") == 0) after = message.find(' ', after + 3);
            if (after != std::string::npos && message.compare(after, 4, " 须") == 0) return std::string(s.field);
            if (at < first_at) first_at = at, first = s.field;
        }
    }
    return first;
}

struct Failed {
    std::string description, field;
};

[[noreturn]] void fail(const core::RunError& e, std::string field) {
    throw Failed{core::error_report(e).description, std::move(field)};
}

constexpr int kResultDigits = 4;

// Shown to `digits` significant digits with the user's decimal point;
// whole numbers as whole numbers; empty where there is no value.
std::string shown(std::optional<double> v, int digits, const core::NumberFormat& format) {
    if (!v || !std::isfinite(*v)) return {};
    char text[40];
    if (*v == std::trunc(*v) && std::fabs(*v) < 1e15) {
        std::snprintf(text, sizeof text, "%.0f", *v);
    } else {
        // The results keep their trailing zeros: 0.8090 is four digits, 0.809 three.
        std::snprintf(text, sizeof text, digits == kResultDigits ? "%#.*g" : "%.*g", digits, *v);
    }
    std::string out = text;
    if (!out.empty() && out.back() == '.') out.pop_back();
    if (const std::size_t dot = out.find('.'); dot != std::string::npos) out.replace(dot, 1, format.decimal_point);
    return out;
}

std::string full(std::optional<double> v) {
    return v && std::isfinite(*v) ? core::double_to_text(*v) : std::string();
}

// The enabled fields' numbers by name; the first that is not a number, or a
// stage number that is not whole, fails naming its field.
std::map<std::string_view, double> read_fields(const WorkbenchState& state, const core::NumberFormat& format) {
    std::map<std::string_view, double> v;
    for (const WorkbenchField& f : kWorkbenchFields) {
        if (!field_enabled(state, f)) continue;
        const auto text = state.texts.find(f.name);
        const std::string typed = text == state.texts.end() ? std::string() : text->second;
        try {
            v[f.name] = core::text_to_double(typed, format, f.caption);
        } catch (const core::RunError& e) {
            fail(e, std::string(f.name));
        }
        if (f.whole && !(v[f.name] == std::trunc(v[f.name]) && std::fabs(v[f.name]) <= 1e9)) {
            fail(core::RunError(calc::kInvalidArgument,
                                std::string(f.caption) + " 须是整数，不是 " + core::quote_excerpt(typed)),
                 std::string(f.name));
        }
    }
    return v;
}

ChosenCurve curve_of(const WorkbenchState& state, double kPa) {
    ChosenCurve chosen;
    try {
        if (const auto pair = chosen_pair(state.mixture)) {
            chosen = mixture_curve(calc::builtin_components(), pair->first, pair->second, false);
        } else if (chose_data_file(state)) {
            chosen = points_curve(state.data_file);
        }
    } catch (const core::RunError& e) {
        fail(e, std::string(kMixtureList));
    }
    try {
        chosen.at_pressure(kPa);
    } catch (const core::RunError& e) {
        fail(e, "P");
    }
    return chosen;
}

void fill(WorkbenchOutcome& out, const char* name, std::optional<double> v, int digits,
          const core::NumberFormat& format) {
    for (std::size_t i = 0; i < kWorkbenchResults.size(); ++i) {
        if (kWorkbenchResults[i].name != name) continue;
        out.shown[i] = shown(v, digits, format);
        out.full[i] = full(v);
    }
}

std::optional<double> finite(double v) { return std::isfinite(v) ? std::optional<double>(v) : std::nullopt; }

// The results of a designed or rated column, its table and its export.
void describe(WorkbenchOutcome& out, const calc::Design& d, const ChosenCurve& chosen, double xD,
              const core::NumberFormat& format) {
    fill(out, "feed_stage", d.feed_stage, kResultDigits, format);
    fill(out, "stages", d.stage_count, kResultDigits, format);
    fill(out, "fractional", finite(d.fractional_stages), kResultDigits, format);
    fill(out, "R_min", finite(d.R_min), kResultDigits, format);
    fill(out, "ratio", d.R_over_R_min, kResultDigits, format);
    fill(out, "N_min", finite(d.N_min), kResultDigits, format);
    fill(out, "gilliland", finite(d.gilliland_stages), kResultDigits, format);
    fill(out, "kirkbride", finite(d.kirkbride_ratio), kResultDigits, format);
    out.shown[4] = d.tangent_pinch ? "切点" : "进料处";
    out.full[4] = out.shown[4] + "：x = " + core::double_to_text(d.x_pinch) + "，y = " + core::double_to_text(d.y_pinch);
    if (chosen.knows_temperature()) {
        const CurveResults r = curve_results(chosen, d, xD);
        fill(out, "T_top", r.T_top, kResultDigits, format);
        fill(out, "T_bottom", r.T_bottom, kResultDigits, format);
        fill(out, "Qc", r.condenser, kResultDigits, format);
        fill(out, "Qr", r.reboiler, kResultDigits, format);
    }
    out.x = d.x, out.y = d.y, out.T = d.T;
    out.stage_rows.reserve(d.x.size());
    for (std::size_t n = 0; n < d.x.size(); ++n) {
        const bool known = n < d.T.size() && d.T[n].has_value();
        const double T = known ? std::round(d.T[n].value_or(0) * 100) / 100 : 0;
        out.stage_rows.push_back({std::to_string(n + 1), shown(d.x[n], 6, format), shown(d.y[n], 6, format),
                                  known ? shown(T, 5, format) : std::string("-")});
    }
}

void compute(const WorkbenchState& state, const core::NumberFormat& format, WorkbenchOutcome& out) {
    std::map<std::string_view, double> v = read_fields(state, format);
    const ChosenCurve chosen = curve_of(state, v.count("P") ? v["P"] : calc::kAtmosphere);
    // On a curve, alpha is a number no step uses, as on the command line.
    const double alpha = chosen.curve ? NAN : v["alpha"];
    calc::DesignInputs drawn;
    calc::Design column;
    try {
        if (state.mode == WorkbenchMode::kDesign) {
            drawn = {{v["F"], v["xF"], v["xD"], v["xW"], v["R"], alpha}, v["q"], v["E"]};
            column = chosen.curve ? calc::design_column(drawn, *chosen.curve) : calc::design_column(drawn);
        } else {
            const calc::RatingInputs in{v["F"], v["xF"], v["R"], alpha, v["q"], v["E"],
                                        static_cast<int>(v["N"]), static_cast<int>(v["feed_stage"]), v["D"]};
            const calc::Rating r = chosen.curve ? calc::rate_column(in, *chosen.curve) : calc::rate_column(in);
            // The rated column drawn as design mode draws the column of its products.
            drawn = {{in.F, in.xF, r.xD, r.xW, in.R, in.alpha}, in.q, in.efficiency};
            column = r.column;
            fill(out, "xD", r.xD, kResultDigits, format);
            fill(out, "xW", r.xW, kResultDigits, format);
        }
    } catch (const core::RunError& e) {
        fail(e, blamed_field(e.description()));
    }
    describe(out, column, chosen, drawn.column.xD, format);
    out.picture = std::make_shared<const diagram::Scene>(chosen.curve ? diagram::design_diagram(drawn, column, *chosen.curve)
                                                                      : diagram::design_diagram(drawn, column));
}

}  // namespace

WorkbenchOutcome compute_workbench(const WorkbenchState& state, const core::NumberFormat& format) {
    WorkbenchOutcome out;
    try {
        compute(state, format, out);
    } catch (const Failed& f) {
        out = WorkbenchOutcome{};
        out.failure = f.description;
        out.failed_field = f.field;
    } catch (const core::RunError& e) {
        out = WorkbenchOutcome{};
        out.failure = core::error_report(e).description;
    } catch (const std::exception& e) {
        // A fault of the program, not of the inputs: said, never fatal.
        out = WorkbenchOutcome{};
        out.failure = std::string("计算中出现意外错误：") + e.what();
    }
    return out;
}

void export_stages(const WorkbenchOutcome& outcome, const sheet::SpreadsheetFactory& new_spreadsheet) {
    if (!outcome.ok()) return;
    const std::unique_ptr<sheet::Spreadsheet> application = new_spreadsheet();
    sheet::export_stages(*application, outcome.x, outcome.y, outcome.T);
}

}  // namespace veltrano::command
