#include "veltrano/calc/balances.h"

#include <cmath>

namespace veltrano::calc {

std::optional<double> finite(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

Balances balances(const ColumnInputs& in, const ColumnResult& column) {
    Balances b;
    b.D = finite(column.D);
    b.W = finite(column.W);
    b.L = finite(column.L);
    b.V = finite(column.L + column.D);
    // Saturated-liquid feed: all of it joins the liquid below the feed plate.
    b.L_strip = finite(column.L + in.F);
    b.V_strip = finite((column.L + in.F) - column.W);
    b.R_min = minimum_reflux(in);
    b.R_over_R_min = reflux_over_minimum(in);
    b.N_min = fenske_minimum_plates(in);
    return b;
}

std::optional<double> reflux_over_minimum(const ColumnInputs& in) {
    const auto rmin = minimum_reflux(in);
    if (!rmin) return std::nullopt;
    return finite(in.R / *rmin);
}

std::optional<double> fenske_minimum_plates(const ColumnInputs& in) {
    const double separation = (in.xD / (1.0 - in.xD)) * ((1.0 - in.xW) / in.xW);
    // Both logarithms must be finite: alpha = 0 would give a finite 0 plates
    // from ln 0 = -inf.
    const auto top = finite(std::log(separation)), bottom = finite(std::log(in.alpha));
    if (!top || !bottom) return std::nullopt;
    return finite(*top / *bottom);
}

double rectifying_line(const ColumnInputs& in, double x) {
    return (in.R / (in.R + 1.0)) * x + in.xD / (in.R + 1.0);
}

double stripping_line(const ColumnInputs& in, const ColumnResult& column, double x) {
    const double L1 = column.L + in.F, V1 = L1 - column.W;
    return (L1 * x) / V1 - (column.W * in.xW) / V1;
}

double equilibrium_vapour(double alpha, double x) { return alpha * x / (1.0 + (alpha - 1.0) * x); }

double equilibrium_liquid(double alpha, double y) { return y / (alpha - (alpha - 1.0) * y); }

double equilibrium_slope(double alpha, double x) { return alpha / std::pow(1.0 + (alpha - 1.0) * x, 2); }

}  // namespace veltrano::calc
