// The equilibrium curve a column steps on when it is not constant alpha: a
// mixture of the component table under its model at a pressure, or the
// user's x–y points from a file; and what a column on it adds to its
// results (the end temperatures, the duties). The command line and the
// design workbench choose and describe curves through this one place.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "veltrano/calc/components.h"
#include "veltrano/calc/design.h"
#include "veltrano/calc/thermo.h"

namespace veltrano::command {

// A data or table file holds less than this: a bigger one is not what the
// user meant to give.
inline constexpr std::size_t kMostFileBytes = 8u << 20;

struct ChosenCurve {
    std::optional<calc::Mixture> mixture;                 // resolved in the table
    std::shared_ptr<const calc::ModelCurve> model;        // its curve at the pressure
    std::shared_ptr<const calc::EquilibriumCurve> curve;  // the model, or the points

    // A mixture's curve at `kPa` (the points need none); error 5 for a
    // pressure that has none.
    void at_pressure(double kPa);
    bool knows_temperature() const { return curve && curve->knows_temperature(); }
};

// The whole of a user's file, or error 5 saying which file (`what`, e.g.
// "数据文件") and why not.
std::string file_text(const std::string& path, const char* what);

// The points of the file at `path` (UTF-8) with their curve, labelled by the
// file's name. Error 5 for a file that cannot be read or breaks its rules.
ChosenCurve points_curve(const std::string& path);

// The mixture `first`/`second` of `table`, its curve left to at_pressure().
// Error 5 for an unknown name or pair.
ChosenCurve mixture_curve(const calc::ComponentTable& table, std::string_view first, std::string_view second,
                          bool ideal);

// What a designed or rated column on a curve that knows temperatures adds:
// the distillate's and the reboiler's bubble points (°C), and on a model
// the condenser and reboiler duties (kW) and the components whose Antoine
// range the column's temperatures leave.
struct CurveResults {
    std::optional<double> T_top, T_bottom;
    std::optional<double> condenser, reboiler;
    std::vector<calc::Extrapolation> extrapolated;
};
CurveResults curve_results(const ChosenCurve& chosen, const calc::Design& d, double xD);

}  // namespace veltrano::command
