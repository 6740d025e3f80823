#include "cli.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string_view>

#include "veltrano/diagram/diagrams.h"
#include "veltrano/diagram/svg.h"
#include "mixture.h"
#include "output.h"
#include "rate.h"
#include "request.h"
#include "sweep.h"
#include "usage.h"
#include "veltrano/calc/balances.h"
#include "veltrano/calc/design.h"
#include "veltrano/sheet/text_table.h"
#include "veltrano/core/error_report.h"
#include "veltrano/core/number_text.h"
#include "veltrano/command/text_fields.h"
#include "veltrano/command/calculate.h"
#include "veltrano/command/input_fields.h"

namespace veltrano::app {

namespace {

// The window's eight text boxes: the six inputs from the arguments, given in
// the command line's order, and the two result fields, empty.
command::TextFields argument_fields(const std::vector<std::string>& values) {
    command::TextFields::Texts texts = {{std::string(command::kFeedPlateField), ""},
                                        {std::string(command::kPlateCountField), ""}};
    for (std::size_t i = 0; i < command::kCommandLineOrder.size(); ++i) {
        texts[std::string(command::input_field(command::kCommandLineOrder[i]).name)] = values[i];
    }
    return command::TextFields(std::move(texts));
}

// The lines of --details, in a fixed order: name TAB value.
std::string details(const calc::Balances& b) {
    return name_value_lines({
        {"馏出流量 D", b.D},
        {"塔底流量 W", b.W},
        {"精馏段液相流量 L", b.L},
        {"精馏段汽相流量 V", b.V},
        {"提馏段液相流量 L′", b.L_strip},
        {"提馏段汽相流量 V′", b.V_strip},
        {"最小回流比 Rmin", b.R_min},
        {"R/Rmin", b.R_over_R_min},
        {"最少理论板数 Nmin", b.N_min},
    });
}

// Design mode's --details: the same quantities for its feed condition, then
// the fractional stage count and the shortcut estimates.
std::string design_details(const calc::Design& d) {
    return details({d.D, d.W, d.L, d.V, d.L_strip, d.V_strip, d.R_min, d.R_over_R_min, d.N_min}) +
           name_value_lines({
               {"分数板数", d.fractional_stages},
               {"Gilliland 估算板数", d.gilliland_stages},
               {"Kirkbride NR/NS", d.kirkbride_ratio},
           });
}

// After a successful plate-by-plate run: each physical rule its inputs break,
// one line each. The run stands as it is; design mode is the checked way.
void warn_unphysical(std::ostream& err, const calc::ColumnInputs& in) {
    for (const std::string& problem : calc::input_problems({in, 1, 1})) {
        err << "warning: " << problem << "（逐板计算照常给出结果；“veltrano-cli design” 会检查输入）\n";
    }
}

// veltrano-cli design ...: the checked design, on constant alpha or on the
// curve of a mixture or of the user's points. A sweep runs whether or not
// the arguments themselves pass: each row says its own error, and the base
// case's error follows the table.
int run_design(const Request& request, const core::NumberFormat& format, Language language, std::ostream& out,
               std::ostream& err, const sheet::SpreadsheetFactory& new_spreadsheet) {
    std::string why;
    std::optional<SweepRange> sweep;
    if (request.sweep && !(sweep = parse_sweep(*request.sweep, format, language, why,
                                               {true, false, request.on_curve(), request.mixture.has_value()}))) {
        return usage_error(err, language, why);
    }
    calc::DesignInputs in{};
    double pressure = calc::kAtmosphere;
    if (!read_number_option(request.q, "--q", format, language, in.q, why) ||
        !read_number_option(request.efficiency, "--efficiency", format, language, in.efficiency, why) ||
        !read_number_option(request.pressure, "--pressure", format, language, pressure, why)) {
        return usage_error(err, language, why);
    }
    std::vector<std::string> texts = request.texts;
    // On a curve there is no alpha to read: its field holds a number no step uses.
    if (request.on_curve()) texts.push_back("1");
    command::TextFields fields = argument_fields(texts);
    if (const auto failed = core::run_press([&] { in.column = command::read_inputs(fields, format); })) {
        return report(err, *failed);
    }
    if (request.on_curve()) in.column.alpha = NAN;

    // The curve: a file or a name that fails ends the run; a pressure that
    // fails is the base case's error when P is swept, each row having its own.
    ChosenCurve chosen;
    if (!requested_curve(request, chosen, err)) return 1;
    std::optional<calc::Design> design;
    const auto base_failed = core::run_press([&] {
        chosen.at_pressure(pressure);
        design = chosen.curve ? calc::design_column(in, *chosen.curve) : calc::design_column(in);
    });
    // A sweep goes on past a failed base, but not without a curve to step on.
    const bool rows_run = sweep && (!request.on_curve() || chosen.curve || sweep->input == Swept::kPressure);
    if (base_failed && !rows_run) return report(err, *base_failed);
    if (design) {
        out << column_lines(*design, chosen.knows_temperature());
        if (request.details) out << design_details(*design);
        if (request.details && chosen.curve) out << curve_details(in, *design, chosen);
    }
    std::vector<SweepRow> rows;
    if (sweep) {
        rows = run_design_sweep(in, *sweep, rows_curve(chosen, sweep->input));
        out << sweep_tsv(*sweep, rows);
    }
    out.flush();
    if (request.svg) {
        const std::optional<int> base_stages = design ? std::optional<int>(design->stage_count) : std::nullopt;
        const diagram::SweepBase base{in, chosen.curve.get(), pressure};
        const std::string svg = diagram::to_svg(sweep            ? diagram::sweep_plot(base, base_stages, *sweep, rows)
                                                : chosen.curve ? diagram::design_diagram(in, *design, *chosen.curve)
                                                               : diagram::design_diagram(in, *design));
        if (write_svg(err, *request.svg, svg) != 0) return 1;
    }
    if (base_failed) return report(err, *base_failed);
    if (!request.to_spreadsheet) return 0;
    return export_to(err, new_spreadsheet,
                     [&](sheet::Spreadsheet& s) { sheet::export_stages(s, design->x, design->y, design->T); });
}

}  // namespace

std::optional<Language> language_of_locale(const char* lc_all, const char* lc_messages, const char* lang) {
    for (const char* value : {lc_all, lc_messages, lang}) {
        if (value == nullptr || *value == '\0') continue;
        const std::string_view v(value);
        return v.substr(0, 2) == "zh" && (v.size() == 2 || v[2] == '_' || v[2] == '.' || v[2] == '@')
                   ? Language::kChinese
                   : Language::kEnglish;
    }
    return std::nullopt;
}

int run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const sheet::SpreadsheetFactory& new_spreadsheet, Language language) {
    std::string why;
    const std::optional<Request> request = parse_arguments(args, language, why);
    if (!request) return usage_error(err, language, why);
    if (request->help) {
        out << usage(language);
        return 0;
    }
    const core::NumberFormat format = core::user_number_format();
    switch (request->command) {
        case Command::kDesign: return run_design(*request, format, language, out, err, new_spreadsheet);
        case Command::kMixtures: return run_mixtures(*request, out, err);
        case Command::kVle: return run_vle(*request, format, language, out, err);
        case Command::kRate: return run_rate(*request, format, language, out, err, new_spreadsheet);
        case Command::kExact: break;
    }
    std::optional<SweepRange> sweep;
    if (request->sweep && !(sweep = parse_sweep(*request->sweep, format, language, why))) {
        return usage_error(err, language, why);
    }

    command::TextFields fields = argument_fields(request->texts);
    sheet::TextTable table;
    std::optional<command::Calculation> press;
    if (const auto failed = core::run_press([&] { press = command::run_calculate(fields, format, table); })) {
        return report(err, *failed);
    }
    const calc::ColumnInputs& inputs = press->inputs;
    const calc::ColumnResult& column = press->column;
    out << "进料板\t" << core::short_to_text(column.feed_plate.value()) << '\n'
        << "塔板数\t" << core::short_to_text(column.plate_count.value()) << '\n'
        << table.tsv();
    if (request->details) out << details(calc::balances(inputs, column));
    std::vector<SweepRow> rows;
    if (sweep) {
        rows = run_sweep(inputs, *sweep);
        out << sweep_tsv(*sweep, rows);
    }

    // The results are out before a file is written or the office starts, as
    // the window shows its two fields before the export; a later failure
    // leaves them standing.
    out.flush();
    if (request->svg) {
        const std::string svg = diagram::to_svg(sweep ? diagram::sweep_plot({{inputs}}, column.plate_count.value(), *sweep, rows)
                                                      : diagram::staircase_diagram(inputs, column));
        if (write_svg(err, *request->svg, svg) != 0) return 1;
    }
    if (request->to_spreadsheet) {
        const int status = export_to(err, new_spreadsheet, [&](sheet::Spreadsheet& s) {
            sheet::export_profile(s, column.plate_count, column.x, column.y);
        });
        if (status != 0) return status;
    }
    warn_unphysical(err, inputs);
    return 0;
}

int finish_output(int status, std::ostream& out, std::ostream& err) {
    errno = 0;
    out.flush();
    if (out) return status;
    const int cause = errno;
    err << "veltrano-cli: 无法写出结果";
    if (cause != 0) err << "（" << std::strerror(cause) << "）";
    err << '\n';
    return 1;
}

}  // namespace veltrano::app
