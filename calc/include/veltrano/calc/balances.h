// What a calculated column says beyond its plates: the flows of both
// sections, the minimum reflux and the minimum number of plates, and the
// lines of its McCabe–Thiele diagram. Plain double arithmetic with no checks:
// a quantity without a finite value is empty, not an error.
#pragma once

#include <optional>

#include "veltrano/calc/column.h"

namespace veltrano::calc {

// `value` when it is finite, otherwise empty.
std::optional<double> finite(double value);

struct Balances {
    std::optional<double> D, W;                 // distillate and bottoms flows
    std::optional<double> L, V;                 // rectifying section: liquid, vapour
    std::optional<double> L_strip, V_strip;     // stripping section: L', V'
    std::optional<double> R_min;                // reflux ratio that pinches at the feed
    std::optional<double> R_over_R_min;         // R / Rmin
    std::optional<double> N_min;                // plates at total reflux (Fenske)
};

// The flows of the calculated column and its limits. D, W and L are the
// column's own; V = L + D, and for a saturated-liquid feed L' = L + F,
// V' = L' - W.
Balances balances(const ColumnInputs& in, const ColumnResult& column);

// R / Rmin, where both are finite.
std::optional<double> reflux_over_minimum(const ColumnInputs& in);

// Fenske: the plates needed at total reflux, where the operating lines are
// the diagonal,
//   Nmin = ln[(xD / (1 - xD)) ((1 - xW) / xW)] / ln alpha,
// as a real number of equilibrium stages (the column has no separate reboiler).
std::optional<double> fenske_minimum_plates(const ColumnInputs& in);

// The column's own lines, in its grouping, so that a plate's vapour drawn from
// them is the bit-for-bit vapour of the profile:
// rectifying section, y = (R / (R + 1)) x + xD / (R + 1);
double rectifying_line(const ColumnInputs& in, double x);
// stripping section with the column's flows, y = (L' x) / V' - (W xW) / V';
double stripping_line(const ColumnInputs& in, const ColumnResult& column, double x);
// equilibrium, vapour over liquid x: y = alpha x / (1 + (alpha - 1) x);
double equilibrium_vapour(double alpha, double x);
// and liquid under vapour y, as each plate is stepped: x = y / (alpha - (alpha - 1) y).
double equilibrium_liquid(double alpha, double y);
// The equilibrium curve's slope at liquid x: dy/dx = alpha / (1 + (alpha - 1) x)^2.
double equilibrium_slope(double alpha, double x);

}  // namespace veltrano::calc
