#include "veltrano/calc/curve.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "solve.h"
#include "veltrano/calc/balances.h"
#include "veltrano/core/number_text.h"

namespace veltrano::calc {

namespace {

// Compositions to this: far inside the 1e-10 a stage's liquid is held to.
constexpr double kComposition = 1e-13;

int sign(double v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }

// The largest value of f on [lo, hi] and where: a scan of `samples` points
// from lo finds the hill, Brent's method climbs it. A bounded search for a
// curve that is smooth between its samples; a second hill narrower than a
// sample's width is not seen.
struct Peak {
    double x, value;
};
template <class F>
Peak largest(F f, double lo, double hi, int samples = 64) {
    Peak best{lo, f(lo)};
    int at = 0;
    const double step = (hi - lo) / samples;
    for (int i = 1; i < samples; ++i) {
        const double x = lo + step * i;
        const double v = f(x);
        if (v > best.value) best = {x, v}, at = i;
    }
    const double left = lo + step * std::max(0, at - 1), right = std::min(hi, lo + step * (at + 1));
    const auto [x, v] = solve::maximum(f, left, right);
    if (v > best.value) best = {x, v};
    return best;
}

}  // namespace

double EquilibriumCurve::liquid(double y) const {
    if (!(y > 0)) return 0;
    if (!(y < 1)) return 1;
    return solve::root([&](double x) { return vapour(x) - y; }, 0.0, 1.0, -y, 1.0 - y, kComposition);
}

double EquilibriumCurve::pseudo_vapour(double x, double a, double b, double E) const {
    const double op = a * x + b;
    return op + E * (vapour(x) - op);
}

double EquilibriumCurve::pseudo_liquid(double y, double a, double b, double E) const {
    // At x = 0 the curve is 0, at x = 1 it is 1.
    const double at_0 = (1.0 - E) * b - y, at_1 = (1.0 - E) * (a + b) + E - y;
    return solve::root([&](double x) { return pseudo_vapour(x, a, b, E) - y; }, 0.0, 1.0, at_0, at_1, kComposition);
}

std::optional<double> EquilibriumCurve::temperature(double) const { return std::nullopt; }

std::vector<double> EquilibriumCurve::knots() const { return {}; }

double AlphaCurve::vapour(double x) const { return equilibrium_vapour(alpha_, x); }

double AlphaCurve::slope(double x) const { return equilibrium_slope(alpha_, x); }

double AlphaCurve::liquid(double y) const { return y / (alpha_ - alpha_less_one_ * y); }

// With k = alpha - 1 and m = 1 - E, (1 + k x)(op(x) + E (eq(x) - op(x)) - y)
// is the quadratic
//   m a k x^2 + (m (a + b k) + E alpha - k y) x + m b - y = 0,
// whose larger root is the liquid (the other lies below x = -1/k). Written
// without cancellation on either sign of the middle term.
double AlphaCurve::pseudo_liquid(double y, double a, double b, double E) const {
    const double k = alpha_ - 1.0, m = 1.0 - E;
    const double A = m * a * k, B = m * (a + b * k) + E * alpha_ - k * y, C = m * b - y;
    const double root = std::sqrt(std::max(0.0, B * B - 4 * A * C));
    return B >= 0 ? (2 * C) / (-B - root) : (-B + root) / (2 * A);
}

std::string AlphaCurve::description() const { return "α = " + core::double_to_text(alpha_); }

std::vector<Azeotrope> azeotropes(const EquilibriumCurve& curve) {
    // Where to look: evenly over (0, 1), and around each of the curve's own
    // points, where a data curve can turn within a narrow interval.
    std::vector<double> xs;
    constexpr int kEven = 128, kBetweenKnots = 4;
    for (int k = 1; k < kEven; ++k) xs.push_back(static_cast<double>(k) / kEven);
    const std::vector<double> knots = curve.knots();
    for (std::size_t i = 0; i + 1 < knots.size(); ++i) {
        for (int j = 0; j < kBetweenKnots; ++j) xs.push_back(knots[i] + (knots[i + 1] - knots[i]) * j / kBetweenKnots);
    }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::remove_if(xs.begin(), xs.end(), [](double x) { return !(x > 0 && x < 1); }), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());

    const auto above = [&](double x) { return curve.vapour(x) - x; };
    // Next to the pure components the curve leaves the diagonal with its slope:
    // y - x = (y'(0) - 1) x near 0, and (1 - y'(1)) (1 - x) near 1.
    struct Probe {
        double x;
        int sign;
    };
    std::vector<Probe> probes{{0.0, sign(curve.slope(0) - 1)}};
    for (const double x : xs) probes.push_back({x, sign(above(x))});
    probes.push_back({1.0, sign(1 - curve.slope(1))});

    std::vector<Azeotrope> found;
    const Probe* last = nullptr;  // the last probe off the diagonal
    for (std::size_t i = 0; i < probes.size(); ++i) {
        const Probe& p = probes[i];
        if (p.sign == 0) continue;
        if (last != nullptr && last->sign != p.sign) {
            const std::size_t from = static_cast<std::size_t>(last - probes.data());
            double x;
            if (i - from > 1) {
                x = probes[(from + i) / 2].x;  // a probe on the diagonal itself
            } else {
                // A bracket whose ends have the signs found; at a pure
                // component's end, step in towards the first probe until
                // the curve shows the sign its slope gave.
                double lo = last->x, hi = p.x;
                const auto inward = [&](double& end, double other, int want) {
                    for (int halving = 0; halving < 64 && sign(above(end)) != want; ++halving) end = (end + other) / 2;
                    return sign(above(end)) == want;
                };
                if ((lo == 0 && !inward(lo, hi, last->sign)) || (hi == 1 && !inward(hi, lo, p.sign))) {
                    last = &p;
                    continue;
                }
                x = solve::root(above, lo, hi, kComposition);
            }
            if (x > 0 && x < 1) found.push_back({x, last->sign > 0, curve.temperature(x)});
        }
        last = &p;
    }
    return found;
}

std::optional<Azeotrope> azeotrope_between(const EquilibriumCurve& curve, double xW, double xD) {
    for (const Azeotrope& a : azeotropes(curve)) {
        if (a.x > xW && a.x < xD) return a;
    }
    return std::nullopt;
}

double q_line_liquid(const EquilibriumCurve& curve, double xF, double q) {
    if (q == 1.0) return xF;
    const double under = curve.liquid(xF);  // where a saturated vapour feed pinches
    if (q == 0.0) return under;
    // (q - 1) (y*(x) - qline(x)) = (q - 1) y*(x) - q x + xF: positive at xF
    // for a subcooled feed and negative at 1; for a part-vapour feed
    // positive at `under`, negative at xF; superheated: positive at 0.
    const auto h = [&](double x) { return (q - 1.0) * curve.vapour(x) - q * x + xF; };
    const double lo = q > 1 ? xF : q < 0 ? 0.0 : under;
    const double hi = q > 1 ? 1.0 : q < 0 ? under : xF;
    return solve::root(h, lo, hi, kComposition);
}

MinimumReflux minimum_reflux(const EquilibriumCurve& curve, double xF, double xD, double xW, double q) {
    MinimumReflux m{};
    m.x_q = q_line_liquid(curve, xF, q);
    m.y_q = curve.vapour(m.x_q);
    constexpr double kInf = std::numeric_limits<double>::infinity();
    // A pinch found away from the q-line counts as a tangent one only when
    // its line is steeper by more than the search's rounding.
    const auto beyond = [](double found, double at_q) { return found - at_q > 1e-9 * std::max(1.0, std::fabs(at_q)); };

    // Rectifying line: slope (xD - y*(x)) / (xD - x) through each point of
    // the curve between the q-line and xD; the steepest one binds, R = s / (1 - s).
    // A strongly subcooled feed pinches at or beyond xD: no rectifying bound.
    const auto rectifying = [&](double x) { return (xD - curve.vapour(x)) / (xD - x); };
    double R_rect = -kInf;
    bool rect_tangent = false;
    Peak rect{m.x_q, 0};
    if (m.x_q < xD) {
        const double at_q = rectifying(m.x_q);
        rect = largest(rectifying, m.x_q, xD - (xD - m.x_q) * 1e-9);
        rect_tangent = beyond(rect.value, at_q);
        const double s = rect_tangent ? rect.value : at_q;
        R_rect = s < 1 ? s / (1.0 - s) : kInf;
    }

    // Stripping line: slope (y*(x) - xW) / (x - xW); the flattest one binds.
    // With D and W per unit feed, V' = W / (s' - 1) and V' = (R + 1) D - (1 - q).
    // A strongly superheated feed pinches at or below xW: no stripping bound.
    const auto stripping = [&](double x) { return -(curve.vapour(x) - xW) / (x - xW); };
    double R_strip = -kInf;
    bool strip_tangent = false;
    Peak strip{m.x_q, 0};
    if (m.x_q > xW) {
        const double at_q = stripping(m.x_q);
        strip = largest(stripping, xW + (m.x_q - xW) * 1e-9, m.x_q);
        strip_tangent = beyond(strip.value, at_q);
        const double s = -(strip_tangent ? strip.value : at_q);
        const double D = (xF - xW) / (xD - xW), W = 1.0 - D;
        R_strip = s > 1 ? (W / (s - 1.0) + (1.0 - q)) / D - 1.0 : kInf;
    }

    if (R_rect >= R_strip) {
        m.tangent = rect_tangent;
        m.x = rect_tangent ? rect.x : m.x_q;
        m.R_min = R_rect;
    } else {
        m.tangent = strip_tangent;
        m.x = strip_tangent ? strip.x : m.x_q;
        m.R_min = R_strip;
    }
    m.y = m.x == m.x_q ? m.y_q : curve.vapour(m.x);
    if (m.R_min < 0) m.R_min = 0;  // a feed that pinches beyond the distillate
    return m;
}

}  // namespace veltrano::calc
