// Vapour–liquid equilibrium of a binary at a given pressure by the modified
// Raoult's law, y_i P = x_i gamma_i(x, T) P_i_sat(T), with an ideal vapour:
// Antoine's vapour pressures and an activity model from the component table.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "veltrano/calc/components.h"
#include "veltrano/calc/curve.h"
#include "veltrano/calc/design.h"

namespace veltrano::calc {

inline constexpr double kAtmosphere = 101.325;  // kPa, the default column pressure
inline constexpr double kKelvinOffset = 273.15;  // T/K - 273.15 = t/°C

// Antoine: P_sat in Pa at T in K, log10(P/Pa) = A - B / (T + C).
double vapour_pressure(const Component& c, double T);
// Where the Antoine curve reaches P (Pa): T = B / (A - log10 P) - C.
double saturation_temperature(const Component& c, double P);
// Watson: H(T) = H(Tb) ((1 - T/Tc) / (1 - Tb/Tc))^0.38, kJ/mol; 0 at and above Tc.
double latent_heat(const Component& c, double T);

// ln gamma_1 and ln gamma_2 of liquid x1 at T (K):
//   NRTL    tau12 = a12/T, G12 = exp(-alpha tau12) (and 21 alike);
//           ln g1 = x2^2 [tau21 (G21/(x1 + x2 G21))^2 + tau12 G12/(x2 + x1 G12)^2]
//   Wilson  L12 = (V2/V1) exp(-a12/T), L21 = (V1/V2) exp(-a21/T);
//           ln g1 = -ln(x1 + L12 x2) + x2 [L12/(x1 + L12 x2) - L21/(x2 + L21 x1)]
//   van Laar ln g1 = a12 (a21 x2 / (a12 x1 + a21 x2))^2
// and gamma_2 by symmetry; ideal: both 0.
struct LnGamma {
    double first, second;
};
LnGamma activity(const Mixture& m, double x1, double T);

// The equilibrium curve of a mixture at a pressure, and its bubble
// temperatures. Each bubble point is a bracketed root in T to the double's
// precision (well inside 1e-6 K); y* is x1 gamma1 P1 / (x1 gamma1 P1 + x2 gamma2 P2)
// at that T, so that the y's always sum to 1.
class ModelCurve final : public EquilibriumCurve {
public:
    // Error 5 when P (kPa) is not a positive finite number, or when no bubble
    // point exists at a pure end (the pressure lies far outside every range).
    ModelCurve(Mixture mixture, double pressure_kPa);

    double vapour(double x) const override;
    double slope(double x) const override;
    std::optional<double> temperature(double x) const override;  // °C
    bool knows_temperature() const override { return true; }
    std::string description() const override;
    std::optional<std::string> heavy_first() const override;

    // The bubble point of liquid x, K.
    double bubble_kelvin(double x) const;
    // The heat of vaporisation of a liquid x at T (K), mole-fraction weighted, kJ/mol.
    double latent_heat_of(double x, double T) const;
    const Mixture& mixture() const { return m_; }
    double pressure_kPa() const { return P_ / 1000; }

private:
    struct Bubble {
        double T, y;
    };
    Bubble bubble(double x) const;

    Mixture m_;
    double P_;               // Pa
    double T_floor_, T_ceiling_;  // the bracket every bubble point lies in, K
    double T_first_, T_second_;   // the pure components' boiling points at P, K
};

// Antoine constants used outside their range: for each component whose
// range [Tmin, Tmax] does not hold every temperature in `kelvins`, how many K
// beyond it the farthest one lies.
struct Extrapolation {
    std::string component;
    double kelvins;
};
std::vector<Extrapolation> antoine_extrapolation(const Mixture& m, const std::vector<double>& kelvins);

// The column's temperatures and heat loads, constant-molar-overflow
// estimates for F in kmol/h: a total condenser with saturated reflux takes
// Qc = V dH(xD at the top temperature), the reboiler gives Qr = V' dH(its
// liquid at its temperature), each dH the mole-fraction-weighted latent
// heat (Watson) at that T; kJ/mol times kmol/h over 3.6 is kW.
struct Duties {
    double T_top, T_bottom;        // °C: the distillate's bubble point, the reboiler's
    double condenser, reboiler;    // kW
};
Duties column_duties(const ModelCurve& curve, const Design& d, double xD);

}  // namespace veltrano::calc
