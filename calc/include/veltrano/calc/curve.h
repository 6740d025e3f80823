// The vapour–liquid equilibrium of a binary as a column steps on it: the
// vapour over a liquid, the liquid under a vapour, and where the curve knows
// it, the liquid's bubble temperature. x and y are mole fractions of the
// light (first) component.
//
// Three kinds stand behind it: constant relative volatility (closed forms),
// a thermodynamic model at a pressure (thermo.h) and the user's x–y points
// (xy_data.h). The design, the pinch and azeotrope searches and the diagrams
// take this interface and never ask which kind it is.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace veltrano::calc {

class EquilibriumCurve {
public:
    virtual ~EquilibriumCurve() = default;

    // y*(x), 0 <= x <= 1, with y*(0) = 0 and y*(1) = 1; non-decreasing.
    virtual double vapour(double x) const = 0;
    // dy*/dx, for drawing and for the ends of the azeotrope search.
    virtual double slope(double x) const = 0;
    // The liquid under vapour y: the root of y*(x) = y on [0, 1], to 1e-13.
    virtual double liquid(double y) const;
    // The liquid at height y on the pseudo-equilibrium curve of the line
    // op(x) = a x + b with Murphree efficiency E: op(x) + E (y*(x) - op(x)) = y,
    // a root on [0, 1] (a > 0, and the line below the curve there).
    virtual double pseudo_liquid(double y, double a, double b, double E) const;
    // The bubble temperature of liquid x in °C, where the curve knows it.
    virtual std::optional<double> temperature(double x) const;
    // Whether the curve gives temperatures at all.
    virtual bool knows_temperature() const { return false; }
    // Liquids where the curve is worth a closer look for crossings of the
    // diagonal: a data curve's points. Empty for a smooth model.
    virtual std::vector<double> knots() const;
    // Points the curve was drawn through from measurement, to show as dots
    // (x, y): a data curve's own. Empty for a model.
    virtual std::vector<std::array<double, 2>> measured_points() const { return {}; }
    // Why x cannot mean the light component, where the curve knows its
    // components: the first named boils higher at the pressure.
    virtual std::optional<std::string> heavy_first() const { return std::nullopt; }
    // For titles and messages: "乙醇/水，NRTL，101.325 kPa".
    virtual std::string description() const = 0;

    // op(x) + E (y*(x) - op(x)) for op(x) = a x + b.
    double pseudo_vapour(double x, double a, double b, double E) const;
};

// Constant relative volatility: y = alpha x / (1 + (alpha - 1) x). Its liquid
// and its pseudo-equilibrium liquid are the closed forms that design mode has
// always stepped with, bit for bit.
class AlphaCurve final : public EquilibriumCurve {
public:
    explicit AlphaCurve(double alpha) : alpha_(alpha), alpha_less_one_(alpha - 1.0) {}
    double vapour(double x) const override;
    double slope(double x) const override;
    double liquid(double y) const override;
    double pseudo_liquid(double y, double a, double b, double E) const override;
    std::string description() const override;
    double alpha() const { return alpha_; }

private:
    double alpha_, alpha_less_one_;
};

// A composition where the curve meets the diagonal inside (0, 1).
struct Azeotrope {
    double x;
    // Minimum-boiling (y > x below it, y < x above it, as ethanol–water) or
    // maximum-boiling.
    bool minimum_boiling;
    std::optional<double> temperature;  // °C, where the curve knows it
};

// Every crossing of the diagonal inside (0, 1), in order of x, each to 1e-12.
// A curve that only touches the diagonal without crossing it is not found.
std::vector<Azeotrope> azeotropes(const EquilibriumCurve& curve);
// The first of them strictly between xW and xD: what no column between
// those products can pass.
std::optional<Azeotrope> azeotrope_between(const EquilibriumCurve& curve, double xW, double xD);

// The minimum reflux of a column on `curve`: the least R for which neither
// operating line crosses the curve. The rectifying line from (xD, xD) may
// touch it anywhere between the q-line and xD, the stripping line from
// (xW, xW) anywhere between xW and the q-line; touching at the q-line itself
// is the feed pinch, anywhere else a tangent pinch.
struct MinimumReflux {
    double R_min;
    double x, y;       // where the binding line touches the curve
    bool tangent;      // a tangent pinch, not at the feed
    double x_q, y_q;   // where the q-line meets the curve
};
// For 0 < xW < xF < xD < 1, q finite and a curve above the diagonal between
// xW and xD. D / F = (xF - xW) / (xD - xW) sets the stripping section's
// flows for the reflux.
MinimumReflux minimum_reflux(const EquilibriumCurve& curve, double xF, double xD, double xW, double q);

// Where the q-line y = q/(q-1) x - xF/(q-1) meets the curve (vertical at
// q = 1, horizontal at q = 0): a bracketed root.
double q_line_liquid(const EquilibriumCurve& curve, double xF, double q);

}  // namespace veltrano::calc
