// Rating a column that exists: its stages and feed stage fixed, the product
// compositions it gives for a feed, a distillate flow, a reflux and trays
// of a Murphree efficiency.
//
// The column is design mode's column with its stages fixed. Stage 1 is the
// top plate, y1 = xD; each stage's liquid lies on the pseudo-equilibrium
// curve at its vapour, built on the operating line that carries that liquid
// (the rectifying line above the feed stage f, the stripping line from it
// down); the vapour below stage n is op(xn) of the same line; stage N is the
// reboiler, an ideal stage, and its liquid is the bottoms, xN = xW. The flows
// are design mode's for this q: L = R D, V = L + D, L' = L + q F,
// V' = L' - W, so both operating lines follow from xD once W xW = F xF - D xD.
//
// xD is the bracketed root of xN(xD) - xW(xD) on the interval that keeps
// both xD and xW inside 0..1, to 1e-12. A trial xD that drives a vapour or a
// liquid out of 0..1 (past the pole of the equilibrium's inverse near
// xD = 1) counts as too rich.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "veltrano/calc/curve.h"
#include "veltrano/calc/design.h"

namespace veltrano::calc {

struct RatingInputs {
    double F = 0, xF = 0, R = 0;
    double alpha = 0;     // constant relative volatility, where no curve is given
    double q = 1, efficiency = 1;
    int stages = 0;       // N, the reboiler included
    int feed_stage = 0;   // f, 1 <= f <= N - 1
    double D = 0;         // distillate flow, 0 < D < F
};

// Every rule the inputs break, one message each: F > 0; 0 < xF < 1;
// alpha > 1 (without a curve); q finite; 0 < E <= 1; R > 0; 2 <= N <= 1000;
// 1 <= f <= N - 1; 0 < D < F; V' = (R + 1) D - (1 - q) F > 0.
std::vector<std::string> rating_problems(const RatingInputs& in, bool on_curve);

struct Rating {
    double xD, xW;
    // The rated column as design mode describes a column: its flows, its
    // stages (x, y, and T on a curve that knows them), the feed stage and
    // N as given, the lines' meeting point and the pinch of the compositions
    // found, Rmin and R/Rmin for them, and its fractional stage count.
    Design column;
    double recovery;  // of the light component in the distillate, D xD / (F xF)
};

// The rated column. Error 5 with the first of rating_problems(), or when no
// xD in the bracket balances the column (the message gives the bracket).
Rating rate_column(const RatingInputs& in);
Rating rate_column(const RatingInputs& in, const EquilibriumCurve& curve);

}  // namespace veltrano::calc
