// Diagrams of the column as standalone SVG documents (UTF-8, fonts by name,
// no scripts or external references), for a browser, an office suite or a
// printer:
// - the McCabe–Thiele diagram of one calculated column: the equilibrium
//   curve, the diagonal, the q-line, both operating lines and the staircase
//   through the computed profile, each step numbered and the feed plate's
//   step marked;
// - the same for a designed column, with the q-line of its feed condition,
//   the pseudo-equilibrium curve of its tray efficiency, and magnified
//   views of the corners where a high purity crowds its steps;
// - for a sweep, the plate count (and feed plate) against R / Rmin, or in
//   design mode against the feed condition q or the efficiency E swept.
//
// The McCabe–Thiele plot is drawn in mole fractions: one group maps the unit
// square onto the page, so the staircase's vertices in the file are the
// profile's own numbers, in their shortest exact form. Whatever lies outside
// the unit square (unphysical inputs are accepted) is cut off at its edge;
// no coordinate is ever NaN or infinite.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sweep.h"
#include "veltrano/calc/column.h"
#include "veltrano/calc/design.h"

namespace veltrano::app {

std::string staircase_svg(const calc::ColumnInputs& in, const calc::ColumnResult& column);

// `base` holds the six arguments (and design mode's q and E); the column they
// give, of `base_plates` plates, is marked among the sweep's points. Design
// mode sweeps even when the base fails its checks: no mark then.
std::string sweep_svg(const calc::DesignInputs& base, std::optional<int> base_plates, const SweepRange& range,
                      const std::vector<SweepRow>& rows);

// The McCabe–Thiele diagram of a designed column. Every stage is numbered,
// on the plot or in a magnified corner below it (A at the distillate, B at
// the bottoms); only where even magnified the numbers cannot all be read are
// some left out, and the page says so.
std::string design_svg(const calc::DesignInputs& in, const calc::Design& design);

// The geometry underneath, for its tests.
struct Point {
    double x, y;
};

// The parts of a polyline inside the unit square, each a polyline of its own
// with at least two points. Vertices inside are kept exactly; where a segment
// crosses an edge, the crossing is computed and clamped onto the edge. A
// segment with a non-finite end, or whose crossing cannot be computed in
// doubles, is left out.
std::vector<std::vector<Point>> clip_to_unit_square(const std::vector<Point>& line);

// Tick values for an axis over [low, high]: steps of 1, 2 or 5 times a power
// of ten, four to ten of them, the first at or below `low` and the last at or
// above `high`.
std::vector<double> axis_ticks(double low, double high);

}  // namespace veltrano::app
