// The two solves the equilibrium work needs, each on a bracket with a stated
// tolerance and a bounded number of steps: a root (TOMS 748) and a maximum
// (Brent), both from Boost.Math.
#pragma once

#include <cmath>
#include <cstdint>
#include <utility>

#include <boost/math/tools/minima.hpp>
#include <boost/math/tools/toms748_solve.hpp>

namespace veltrano::calc::solve {

// Enough for any bracket of doubles to shrink to its tolerance: TOMS 748
// at worst bisects, and 200 halvings leave no double interval.
inline constexpr std::uintmax_t kMostSteps = 200;

// The root of f on [lo, hi], given f(lo) and f(hi) of opposite signs (or one
// of them 0), to within `tolerance` in x. Ends that do not bracket a root
// give NaN: the caller says why that cannot happen, or reports it.
template <class F>
double root(F f, double lo, double hi, double f_lo, double f_hi, double tolerance) {
    if (f_lo == 0) return lo;
    if (f_hi == 0) return hi;
    if (!((f_lo < 0) != (f_hi < 0)) || std::isnan(f_lo) || std::isnan(f_hi)) return NAN;
    std::uintmax_t steps = kMostSteps;
    const auto close = [tolerance](double a, double b) { return std::fabs(b - a) <= tolerance; };
    const std::pair<double, double> bracket = boost::math::tools::toms748_solve(f, lo, hi, f_lo, f_hi, close, steps);
    return bracket.first + (bracket.second - bracket.first) / 2;
}

template <class F>
double root(F f, double lo, double hi, double tolerance) {
    return root(f, lo, hi, f(lo), f(hi), tolerance);
}

// Where f is largest on [lo, hi], to about the square root of the double
// precision in x (Brent's method on -f), and f there.
template <class F>
std::pair<double, double> maximum(F f, double lo, double hi) {
    std::uintmax_t steps = kMostSteps;
    const auto m = boost::math::tools::brent_find_minima([&f](double x) { return -f(x); }, lo, hi, 52, steps);
    return {m.first, -m.second};
}

}  // namespace veltrano::calc::solve
