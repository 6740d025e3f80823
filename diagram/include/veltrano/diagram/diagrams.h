// The diagrams of the column, as scenes (render with to_svg or a desktop's
// painter):
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
// square onto the page, so the staircase's vertices are the profile's own
// numbers, written in their shortest exact form. Whatever lies outside the
// unit square (unphysical inputs are accepted) is cut off at its edge; no
// coordinate is ever NaN or infinite.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veltrano/calc/column.h"
#include "veltrano/calc/design.h"
#include "veltrano/calc/rating.h"
#include "veltrano/diagram/scene.h"

namespace veltrano::diagram {

Scene staircase_diagram(const calc::ColumnInputs& in, const calc::ColumnResult& column);

// Every stage is numbered, on the plot or in a magnified corner below it (A
// at the distillate, B at the bottoms); only where even magnified the
// numbers cannot all be read are some left out, and the page says so.
Scene design_diagram(const calc::DesignInputs& in, const calc::Design& design);

// A designed column on any equilibrium curve (a mixture's model at a
// pressure, the user's points): the curve sampled finely enough to look
// smooth at the page's size, every azeotrope marked on the diagonal, the
// pinch point marked (the tangent point of a tangent pinch), a data curve's
// measured points as dots, and the title naming the curve (mixture, model,
// pressure).
Scene design_diagram(const calc::DesignInputs& in, const calc::Design& design, const calc::EquilibriumCurve& curve);

// The equilibrium at its pressure: the x–y curve with its azeotropes on the
// diagonal, beside the T–x–y diagram (bubble and dew curves, the azeotropes);
// a curve without temperatures gives the x–y curve alone.
Scene vle_diagram(const calc::EquilibriumCurve& curve);

// Where the plate-by-plate diagram's unit square lies on its page: the
// left, top and size of the plot, in page pixels.
struct PlotPlace {
    double left, top, size;
};
PlotPlace staircase_plot_place();

// --- the sweep ----------------------------------------------------------------

enum class Swept { kReflux, kVolatility, kFeedQuality, kEfficiency, kPressure, kDistillate, kStages, kFeedStage };

struct SweepRange {
    // "R", "alpha", "q", "E", "P", and in rating "D", "stages", "feed-stage",
    // as the command line names it
    std::string_view symbol;
    Swept input;              // the input it varies
    double from, to, step;
    std::vector<double> values;  // from, from + step, ... up to to
    bool design = false;         // a sweep of design mode
};

struct SweepRow {
    double value = 0;
    std::optional<double> ratio;  // R / Rmin at this value, where finite
    int feed_plate = 0;           // both 0 when the calculation failed
    int plate_count = 0;
    std::int32_t error = 0;       // the run-time error's number, 0 on success
    std::string message;          // and its description (design mode's table shows it)
};

// What a sweep was run on: the arguments (and design mode's q and E), and on
// a curve other than constant alpha that curve, whose description stands
// for alpha among the page's inputs, and the pressure it was asked at (P can
// be swept).
struct SweepBase {
    calc::DesignInputs inputs;
    const calc::EquilibriumCurve* curve = nullptr;  // null: constant alpha (or no curve at the base pressure)
    double pressure_kPa = 101.325;
};

// The column of `base`, of `base_plates` plates, is marked among the sweep's
// points. Design mode sweeps even when the base fails its checks: no mark then.
Scene sweep_plot(const SweepBase& base, std::optional<int> base_plates, const SweepRange& range,
                 const std::vector<SweepRow>& rows);

// --- a rating's sweep ----------------------------------------------------------

// One value of a rating sweep: the compositions the column gives there, or
// the run-time error that stopped it.
struct RatingSweepRow {
    double value = 0;
    std::optional<double> xD, xW;
    std::int32_t error = 0;
    std::string message;
};

// What the sweep rated: the column's inputs, the curve where it is not
// constant alpha, and the compositions the inputs themselves give (the
// base column, ringed among the sweep's points), where they rated.
struct RatingSweepBase {
    calc::RatingInputs inputs;
    const calc::EquilibriumCurve* curve = nullptr;
    std::optional<double> xD, xW;
};

// xD and xW against the swept value (R, D, q, E, the stage count N or the
// feed stage), each failed value as a cross on the axis, the base ringed.
Scene rating_sweep_plot(const RatingSweepBase& base, const SweepRange& range, const std::vector<RatingSweepRow>& rows);

// --- the geometry underneath, for its tests ----------------------------------

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

}  // namespace veltrano::diagram
