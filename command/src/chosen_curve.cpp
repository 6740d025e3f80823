#include "veltrano/command/chosen_curve.h"

#include <filesystem>

#include "veltrano/calc/errors.h"
#include "veltrano/calc/xy_data.h"
#include "veltrano/core/error_report.h"
#include "veltrano/core/replace_file.h"
#include "veltrano/core/run_error.h"

namespace veltrano::command {

std::string file_text(const std::string& path, const char* what) {
    std::string content, why;
    if (!core::read_file(path, kMostFileBytes, content, why)) {
        throw core::RunError(calc::kInvalidArgument,
                             std::string("无法读取") + what + " “" + core::quote_excerpt(path, 80) + "”：" + why);
    }
    return content;
}

ChosenCurve points_curve(const std::string& path) {
    const std::string origin = "数据文件 “" + core::quote_excerpt(path, 80) + "”";
    calc::XyData data = calc::read_xy_data(file_text(path, "数据文件"), origin);
    data.label = core::quote_excerpt(std::filesystem::u8path(path).filename().u8string(), 40);
    ChosenCurve chosen;
    chosen.curve = std::make_shared<calc::DataCurve>(std::move(data));
    return chosen;
}

ChosenCurve mixture_curve(const calc::ComponentTable& table, std::string_view first, std::string_view second,
                          bool ideal) {
    ChosenCurve chosen;
    chosen.mixture = calc::mixture_of(table, first, second, ideal);
    return chosen;
}

void ChosenCurve::at_pressure(double kPa) {
    if (mixture) curve = model = std::make_shared<calc::ModelCurve>(*mixture, kPa);
}

CurveResults curve_results(const ChosenCurve& chosen, const calc::Design& d, double xD) {
    CurveResults r;
    if (!chosen.curve) return r;
    r.T_top = chosen.curve->temperature(xD);
    if (!d.T.empty()) r.T_bottom = d.T.back();
    if (!chosen.model) return r;
    // Duties from the model's latent heats at the stage temperatures.
    const calc::Duties duties = calc::column_duties(*chosen.model, d, xD);
    r.T_top = duties.T_top, r.T_bottom = duties.T_bottom;
    r.condenser = duties.condenser, r.reboiler = duties.reboiler;
    std::vector<double> kelvins{duties.T_top + calc::kKelvinOffset};
    for (const std::optional<double>& T : d.T) kelvins.push_back(*T + calc::kKelvinOffset);
    r.extrapolated = calc::antoine_extrapolation(chosen.model->mixture(), kelvins);
    return r;
}

}  // namespace veltrano::command
