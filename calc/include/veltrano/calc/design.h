// Design of a real column by the McCabe–Thiele method: any feed condition q,
// a Murphree vapour efficiency, as many stages as the separation needs, and
// every input checked against the physics before a stage is stepped.
//
// Model: constant relative volatility, constant molar overflow, total
// condenser, partial reboiler as the last (ideal) stage. Stage 1 is the top
// plate and its vapour is the distillate, y1 = xD. Stage n's liquid xn lies
// on the pseudo-equilibrium curve y = op(x) + E (eq(x) - op(x)) at the height
// yn, where op is the rectifying line above the point where the operating
// lines meet and the stripping line below it; then y(n+1) = op(xn). The feed
// stage is the first whose liquid is no richer than that meeting point; the
// last stage is the first whose equilibrium liquid is no richer than xW.
//
// With q = 1 and E = 1 the steps are the plate-by-plate calculation's own
// statements, so wherever that calculation succeeds with its feed below
// plate 1 and its feed plate still richer than xW, both give the same
// plates, bit for bit.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "veltrano/calc/column.h"
#include "veltrano/calc/curve.h"

namespace veltrano::calc {

struct DesignInputs {
    ColumnInputs column;    // F, xF, xD, xW, R, alpha
    // Feed quality: the fraction of the feed that joins the liquid below the
    // feed stage. 1 saturated liquid, 0 saturated vapour, above 1 subcooled
    // liquid, below 0 superheated vapour.
    double q = 1;
    double efficiency = 1;  // Murphree vapour efficiency E, 0 < E <= 1
};

// A column that needs more stages than this is not designed: its reflux
// lies too close to the minimum, or its purities are out of reach.
inline constexpr int kMostStages = 1000;

// Every physical rule the inputs break, one message each, in this order:
//   F > 0;  0 < xF, xD, xW < 1;  xW < xF < xD;  alpha > 1;  q finite;
//   0 < E <= 1;  R > 0;  R > Rmin(q);  V' > 0.
// Each message names the input, the rule and the value; a composition or an
// efficiency typed as a percentage (xD = 95) says so. A rule whose terms
// another broken rule makes meaningless is not judged (R > Rmin needs
// ordered compositions). Empty when every rule holds.
std::vector<std::string> input_problems(const DesignInputs& in);

struct Design {
    // Flows for this q: L = R D, V = L + D, L' = L + q F, V' = L' - W.
    double D, W, L, V, L_strip, V_strip;
    // Where the binding operating line touches the equilibrium curve: the
    // q-line's pinch, or on a curve with a tangent pinch the tangent point.
    double x_pinch, y_pinch;
    bool tangent_pinch = false;
    double x_q, y_q;  // where the q-line meets the equilibrium curve
    double x_meet, y_meet;    // the operating lines meet on the q-line
    // Minimum reflux: the rectifying line through the pinch; 0 when the
    // pinch lies at or beyond the distillate (a strongly subcooled feed).
    double R_min;
    std::optional<double> R_over_R_min;  // empty when R_min is 0
    // Stages at total reflux with the reboiler: Fenske for constant alpha,
    // stepped between the curve and the diagonal otherwise.
    double N_min;

    int feed_stage;   // 1-based
    int stage_count;  // N, the reboiler included
    // Liquid and vapour leaving each stage: stage n at index n - 1.
    std::vector<double> x, y;
    // Each stage's bubble temperature in °C, on a curve that knows them
    // (empty otherwise); unknown where the curve does not reach.
    std::vector<std::optional<double>> T;

    // (N - 1) + (x[N-1] - xW) / (x[N-1] - x[N]), with x[0] = xD.
    double fractional_stages;
    // Gilliland's correlation, Eduljee's form: Y = 0.75 (1 - X^0.5668),
    // X = (R - Rmin) / (R + 1), Y = (N - Nmin) / (N + 1), solved for N.
    double gilliland_stages;
    // Kirkbride: NR / NS = [((1 - xF) / xF) (xW / (1 - xD))^2 (W / D)]^0.206.
    double kirkbride_ratio;
};

// The designed column. Raises error 5 (kInvalidArgument) with the first of
// input_problems(), when the column needs more than kMostStages stages, or
// when a stage's liquid is no leaner than the one above it (a reflux within
// rounding of the minimum stalls at the pinch); both texts give R / Rmin.
// Never raises for inputs that pass the checks otherwise, and never produces
// a composition outside 0 to 1.
Design design_column(const DesignInputs& in);

// The same design on any equilibrium curve (a mixture at a pressure, the
// user's x–y points): alpha is not used. The checks are those above but
// alpha's, and on the curve: no azeotrope between xW and xD (its message
// names it and the richest distillate or leanest bottoms within reach), the
// first component the lighter one at xF, and R above the minimum reflux of
// minimum_reflux() (the feed pinch or a tangent pinch, whichever binds).
std::vector<std::string> input_problems(const DesignInputs& in, const EquilibriumCurve& curve);
Design design_column(const DesignInputs& in, const EquilibriumCurve& curve);

// Where the q-line meets the equilibrium curve, and the minimum reflux: the
// rectifying line through that pinch, 0 when the pinch lies at or beyond the
// distillate (a strongly subcooled feed). For 0 < xF < xD < 1, alpha > 1,
// q finite; R, F, xW and E play no part.
struct QLinePinch {
    double x, y;
    double R_min;
};
QLinePinch q_line_pinch(const DesignInputs& in);

// R / Rmin for the feed condition q, where the pinch is defined (0 < xF <
// xD < 1, alpha > 1, q finite), Rmin is positive and the ratio finite; the
// design-mode twin of reflux_over_minimum(const ColumnInputs&).
std::optional<double> reflux_over_minimum(const DesignInputs& in);
// The same on any curve, where the compositions are ordered, q finite and no
// azeotrope lies between xW and xD.
std::optional<double> reflux_over_minimum(const DesignInputs& in, const EquilibriumCurve& curve);

// The vapour above liquid `x` on the pseudo-equilibrium curve of the
// operating line y = a x + b: op(x) + E (eq(x) - op(x)). For diagrams.
double pseudo_equilibrium_vapour(double alpha, double efficiency, double a, double b, double x);

}  // namespace veltrano::calc
