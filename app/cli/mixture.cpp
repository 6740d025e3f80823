#include "mixture.h"

#include <charconv>

#include "output.h"
#include "veltrano/sheet/text_table.h"
#include "veltrano/calc/errors.h"
#include "veltrano/diagram/diagrams.h"
#include "veltrano/diagram/svg.h"

namespace veltrano::app {

namespace {

using core::double_to_text;

using command::file_text;

calc::ComponentTable component_table(const Request& request) {
    if (!request.components) return calc::builtin_components();
    const std::string origin = "物性表文件 “" + core::quote_excerpt(*request.components, 80) + "”";
    return calc::merged(calc::builtin_components(),
                        calc::read_components(file_text(*request.components, "物性表文件"), origin));
}

std::string celsius_or_dash(const std::optional<double>& T) { return number_or_dash(T); }

}  // namespace

ChosenCurve choose_curve(const Request& request) {
    if (request.xy) return command::points_curve(*request.xy);
    std::string first, second;
    split_mixture(*request.mixture, first, second);
    return command::mixture_curve(component_table(request), first, second, request.ideal);
}

RowCurve rows_curve(const ChosenCurve& chosen, Swept swept) {
    if (swept == Swept::kPressure && chosen.mixture) {
        return [m = *chosen.mixture](double P) { return std::make_shared<calc::ModelCurve>(m, P); };
    }
    if (chosen.curve) return [c = chosen.curve](double) { return c; };
    return {};
}

bool requested_curve(const Request& request, ChosenCurve& chosen, std::ostream& err) {
    if (!request.on_curve()) return true;
    const auto failed = core::run_press([&] { chosen = choose_curve(request); });
    if (failed) report(err, *failed);
    return !failed;
}

bool read_number_option(const std::optional<std::string>& text, const char* name, const core::NumberFormat& format,
                        Language language, double& value, std::string& why) {
    if (!text) return true;
    try {
        value = core::text_to_double(*text, format, name);
        return true;
    } catch (const core::RunError& e) {
        why = std::string(name) + worded(language, " 的值读不成数（", " is not a number (") + e.description() +
              worded(language, "）", ")");
        return false;
    }
}

std::string column_lines(const calc::Design& d, bool temperatures) {
    sheet::TextTable table;
    sheet::export_stages(table, d.x, d.y);
    std::string out = "进料板\t" + std::to_string(d.feed_stage) + "\n塔板数\t" + std::to_string(d.stage_count) + '\n' +
                      table.tsv();
    if (!temperatures) return out;
    out += "T";
    for (const std::optional<double>& T : d.T) out += '\t' + celsius_or_dash(T);
    return out + '\n';
}

std::string curve_details(const calc::DesignInputs& in, const calc::Design& d, const ChosenCurve& chosen) {
    const calc::EquilibriumCurve& curve = *chosen.curve;
    std::string out = std::string("夹紧点\t") + (d.tangent_pinch ? "切点" : "进料处") + '\t' + double_to_text(d.x_pinch) +
                      '\t' + double_to_text(d.y_pinch) + '\n';
    const std::vector<calc::Azeotrope> found = calc::azeotropes(curve);
    if (found.empty()) out += "共沸点\t-\n";
    for (const calc::Azeotrope& a : found) out += "共沸点\t" + double_to_text(a.x) + '\t' + celsius_or_dash(a.temperature) + '\n';

    const command::CurveResults r = command::curve_results(chosen, d, in.column.xD);
    std::string extrapolated = r.extrapolated.empty() ? "-" : "";
    for (const calc::Extrapolation& e : r.extrapolated) {
        extrapolated += (extrapolated.empty() ? "" : "\t") + e.component + '\t' + double_to_text(e.kelvins);
    }
    out += name_value_lines({
        {"塔顶温度", r.T_top},
        {"塔底温度", r.T_bottom},
        {"冷凝器热负荷 Qc/kW", r.condenser},
        {"再沸器热负荷 Qr/kW", r.reboiler},
    });
    return out + "Antoine 外推\t" + extrapolated + '\n';
}

int run_mixtures(const Request& request, std::ostream& out, std::ostream& err) {
    std::string tsv;
    if (const auto failed = core::run_press([&] { tsv = calc::components_tsv(component_table(request)); })) {
        return report(err, *failed);
    }
    out << tsv;
    return 0;
}

int run_vle(const Request& request, const core::NumberFormat& format, Language language, std::ostream& out,
            std::ostream& err) {
    std::string why;
    double kPa = calc::kAtmosphere;
    if (!read_number_option(request.pressure, "--pressure", format, language, kPa, why)) {
        return usage_error(err, language, why);
    }
    int intervals = 20;
    if (request.points) {
        const std::string& p = *request.points;
        const auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), intervals);
        if (ec != std::errc() || end != p.data() + p.size() || intervals < 1 || intervals > 1000) {
            return usage_error(err, language,
                               worded(language, "--points 须是 1 到 1000 之间的整数，不是 ",
                                      "--points must be a whole number from 1 to 1000, not ") +
                                   core::quote_excerpt(p));
        }
    }
    ChosenCurve chosen;
    std::string table;
    const auto failed = core::run_press([&] {
        chosen = choose_curve(request);
        chosen.at_pressure(kPa);
        table = "x\ty\tT/°C\n";
        for (int i = 0; i <= intervals; ++i) {
            const double x = static_cast<double>(i) / intervals;
            table += double_to_text(x) + '\t' + double_to_text(chosen.curve->vapour(x)) + '\t' +
                     celsius_or_dash(chosen.curve->temperature(x)) + '\n';
        }
        for (const calc::Azeotrope& a : calc::azeotropes(*chosen.curve)) {
            table += "共沸点\t" + double_to_text(a.x) + '\t' + celsius_or_dash(a.temperature) + '\n';
        }
    });
    if (failed) return report(err, *failed);
    out << table;
    out.flush();
    if (request.svg) return write_svg(err, *request.svg, diagram::to_svg(diagram::vle_diagram(*chosen.curve)));
    return 0;
}

}  // namespace veltrano::app
