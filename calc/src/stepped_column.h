// What a designed and a rated column both work out from their stages: where
// the operating lines meet, the fractional stage count and each stage's
// bubble temperature. One arithmetic for both, so that a design and the
// rating of its column agree to the bit where their stages do.
#pragma once

#include <optional>
#include <vector>

#include "veltrano/calc/curve.h"

namespace veltrano::calc::stepped {

// On the q-line: at xF itself for a saturated liquid, otherwise
// (xF (R + 1) + xD (q - 1)) / (R + q).
inline double meeting_liquid(double xF, double xD, double R, double q) {
    return q == 1.0 ? xF : (xF * (R + 1.0) + xD * (q - 1.0)) / (R + q);
}

// (N - 1) + (x[N-2] - xW) / (x[N-2] - x[N-1]), with the liquid above stage 1 xD.
inline double fractional_stages(const std::vector<double>& x, double xD, double xW) {
    const std::size_t N = x.size();
    const double x_before = N > 1 ? x[N - 2] : xD;
    return static_cast<double>(N - 1) + (x_before - xW) / (x_before - x[N - 1]);
}

// Each stage's bubble temperature in °C on a curve that knows them; empty otherwise.
inline std::vector<std::optional<double>> temperatures(const EquilibriumCurve& curve, const std::vector<double>& x) {
    std::vector<std::optional<double>> T;
    if (!curve.knows_temperature()) return T;
    T.reserve(x.size());
    for (const double liquid : x) T.push_back(curve.temperature(liquid));
    return T;
}

}  // namespace veltrano::calc::stepped
