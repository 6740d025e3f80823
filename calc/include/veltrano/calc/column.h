// Plate-by-plate calculation of a binary distillation column: constant
// relative volatility, constant molar overflow, total condenser,
// saturated-liquid feed. Plates are numbered from the top.
#pragma once

#include <optional>

#include "veltrano/calc/profile.h"
#include "veltrano/calc/short_int.h"

namespace veltrano::calc {

// None of these is range-checked: the formulas apply as they stand.
struct ColumnInputs {
    double F;      // feed flow rate, kmol/h
    double xF;     // light-component mole fraction of the feed
    double xD;     // ... of the distillate
    double xW;     // ... of the bottoms
    double R;      // reflux ratio
    double alpha;  // relative volatility of the light component
};

struct ColumnResult {
    double W;              // bottoms flow, in the unit of F
    double D;              // distillate flow
    double L;              // rectifying-section liquid flow
    ShortInt feed_plate;   // first plate whose liquid is no richer than the feed
    ShortInt plate_count;  // first plate whose liquid is no richer than the bottoms
    Profile x;             // liquid leaving each plate; zero beyond plate_count
    Profile y;             // vapour leaving each plate; zero beyond plate_count
};

// Steps the column from the top plate down. On success
// 2 <= feed_plate < plate_count <= 30. Raises error 6 or 11 when a statement
// fails its floating-point check, error 9 when a section has not reached its
// end composition by plate 30; its text says why, as far as it is known:
// reflux at or below the minimum, a pinch or cycle it never leaves, or the
// plate, beyond 30, where it would end.
ColumnResult calculate(const ColumnInputs& in);

// Minimum reflux ratio of a saturated-liquid feed, where the operating line
// meets the equilibrium curve at x = xF:
//   y* = alpha xF / (1 + (alpha - 1) xF),  Rmin = (xD - y*) / (y* - xF).
// Empty when it is not a finite number (alpha = 1, for one).
std::optional<double> minimum_reflux(const ColumnInputs& in);

}  // namespace veltrano::calc
