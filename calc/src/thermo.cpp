#include "veltrano/calc/thermo.h"

#include <algorithm>
#include <cmath>

#include "solve.h"
#include "veltrano/calc/errors.h"
#include "veltrano/core/number_text.h"

namespace veltrano::calc {

namespace {

const double kLn10 = std::log(10.0);

// Bubble points to this, K: a y* then moves by far less than 1e-13.
constexpr double kTemperature = 1e-10;

// ln P_sat in ln(Pa).
double ln_vapour_pressure(const Component& c, double T) { return kLn10 * (c.A - c.B / (T + c.C)); }

std::string text(double v) { return core::double_to_text(v); }

[[noreturn]] void invalid(const std::string& why) { throw core::RunError(kInvalidArgument, why); }

}  // namespace

double vapour_pressure(const Component& c, double T) { return std::exp(ln_vapour_pressure(c, T)); }

double saturation_temperature(const Component& c, double P) { return c.B / (c.A - std::log10(P)) - c.C; }

double latent_heat(const Component& c, double T) {
    if (!(T < c.T_c)) return 0;
    return c.H_vap * std::pow((1.0 - T / c.T_c) / (1.0 - c.T_b / c.T_c), 0.38);
}

LnGamma activity(const Mixture& m, double x1, double T) {
    const double x2 = 1.0 - x1, a12 = m.pair.a12, a21 = m.pair.a21;
    switch (m.pair.model) {
        case ActivityModel::kNrtl: {
            const double alpha = *m.pair.alpha;
            const double t12 = a12 / T, t21 = a21 / T;
            const double G12 = std::exp(-alpha * t12), G21 = std::exp(-alpha * t21);
            const double s1 = x1 + x2 * G21, s2 = x2 + x1 * G12;
            return {x2 * x2 * (t21 * (G21 / s1) * (G21 / s1) + t12 * G12 / (s2 * s2)),
                    x1 * x1 * (t12 * (G12 / s2) * (G12 / s2) + t21 * G21 / (s1 * s1))};
        }
        case ActivityModel::kWilson: {
            const double V1 = *m.first.V, V2 = *m.second.V;
            const double L12 = (V2 / V1) * std::exp(-a12 / T), L21 = (V1 / V2) * std::exp(-a21 / T);
            const double s1 = x1 + L12 * x2, s2 = x2 + L21 * x1;
            const double d = L12 / s1 - L21 / s2;
            return {-std::log(s1) + x2 * d, -std::log(s2) - x1 * d};
        }
        case ActivityModel::kVanLaar: {
            const double s = a12 * x1 + a21 * x2;
            if (s == 0) return {0, 0};
            const double r1 = a21 * x2 / s, r2 = a12 * x1 / s;
            return {a12 * r1 * r1, a21 * r2 * r2};
        }
        case ActivityModel::kIdeal: break;
    }
    return {0, 0};
}

ModelCurve::ModelCurve(Mixture mixture, double pressure_kPa) : m_(std::move(mixture)), P_(pressure_kPa * 1000) {
    if (!(pressure_kPa > 0 && std::isfinite(pressure_kPa) && std::isfinite(P_))) {
        invalid("压力 P = " + text(pressure_kPa) + " kPa 须是大于 0 的有限数");
    }
    // Every bubble point lies above the poles of both Antoine curves (and
    // above 0 K) and below a temperature past any liquid's critical point.
    T_floor_ = std::max({0.0, -m_.first.C, -m_.second.C});
    T_floor_ += std::max(1e-9, T_floor_ * 1e-12);
    T_ceiling_ = 5 * std::max(m_.first.T_c, m_.second.T_c);
    const auto boiling = [&](const Component& c) {
        const double ln_P = std::log(P_);
        const double T = saturation_temperature(c, P_);
        if (!(T > T_floor_ && T < T_ceiling_) || !(ln_vapour_pressure(c, T_ceiling_) > ln_P)) {
            invalid("在压力 P = " + text(pressure_kPa) + " kPa 下找不到 " + c.chinese + "（" + c.name +
                    "）的沸点：压力远在 Antoine 常数的适用范围（" + text(c.T_min) + "–" + text(c.T_max) + " K）之外");
        }
        return T;
    };
    T_first_ = boiling(m_.first);
    T_second_ = boiling(m_.second);
}

ModelCurve::Bubble ModelCurve::bubble(double x) const {
    const double ln_P = std::log(P_);
    double y = 0;
    // ln(x1 g1 P1 + x2 g2 P2) - ln P, which rises with T: a root in T.
    const auto excess = [&](double T) {
        const LnGamma g = activity(m_, x, T);
        const double p1 = x * std::exp(g.first + ln_vapour_pressure(m_.first, T));
        const double p2 = (1.0 - x) * std::exp(g.second + ln_vapour_pressure(m_.second, T));
        y = p1 / (p1 + p2);
        // Near an Antoine pole both pressures vanish: a finite "far too cold".
        return std::max(std::log(p1 + p2) - ln_P, -1e3);
    };
    // Near the pure boiling points first; an azeotrope may boil a little
    // outside them, a strongly non-ideal liquid far outside: then the whole
    // bracket.
    double lo = std::max(T_floor_, std::min(T_first_, T_second_) - 5);
    double hi = std::min(T_ceiling_, std::max(T_first_, T_second_) + 5);
    double f_lo = excess(lo), f_hi = excess(hi);
    if (f_lo > 0) f_lo = excess(lo = T_floor_);
    if (f_hi < 0) f_hi = excess(hi = T_ceiling_);
    const double T = solve::root(excess, lo, hi, f_lo, f_hi, kTemperature);
    if (!std::isfinite(T)) {
        invalid("在压力 P = " + text(pressure_kPa()) + " kPa 下找不到 x = " + text(x) + " 的液体的泡点（" +
                m_.first.chinese + "/" + m_.second.chinese + "）");
    }
    excess(T);  // y at the root itself
    return {T, y};
}

double ModelCurve::vapour(double x) const {
    if (!(x > 0)) return 0;
    if (!(x < 1)) return 1;
    return bubble(x).y;
}

double ModelCurve::slope(double x) const {
    constexpr double h = 1e-6;
    const double lo = std::max(0.0, x - h), hi = std::min(1.0, x + h);
    return (vapour(hi) - vapour(lo)) / (hi - lo);
}

double ModelCurve::bubble_kelvin(double x) const {
    if (!(x > 0)) return bubble(0).T;
    if (!(x < 1)) return bubble(1).T;
    return bubble(x).T;
}

std::optional<double> ModelCurve::temperature(double x) const { return bubble_kelvin(x) - kKelvinOffset; }

double ModelCurve::latent_heat_of(double x, double T) const {
    return x * latent_heat(m_.first, T) + (1.0 - x) * latent_heat(m_.second, T);
}

std::string ModelCurve::description() const {
    const bool ideal = m_.pair.model == ActivityModel::kIdeal;
    return m_.first.chinese + "/" + m_.second.chinese + "，" + (ideal ? "理想溶液" : std::string(model_name(m_.pair.model))) +
           "，" + text(pressure_kPa()) + " kPa";
}

std::optional<std::string> ModelCurve::heavy_first() const {
    if (!(T_first_ > T_second_)) return std::nullopt;
    const auto boils = [](const Component& c, double T) {
        return c.chinese + "（" + c.name + "）的沸点 " + core::decimals_text(T - kKelvinOffset, 2) + " °C";
    };
    return "在压力 P = " + text(pressure_kPa()) + " kPa 下 " + boils(m_.first, T_first_) + " 高于 " +
           boils(m_.second, T_second_) + "：x 指所写的第一个组分，它须是易挥发组分；请写作 " + m_.second.name + "/" +
           m_.first.name;
}

std::vector<Extrapolation> antoine_extrapolation(const Mixture& m, const std::vector<double>& kelvins) {
    std::vector<Extrapolation> out;
    for (const Component* c : {&m.first, &m.second}) {
        double beyond = 0;
        for (const double T : kelvins) beyond = std::max({beyond, c->T_min - T, T - c->T_max});
        if (beyond > 0) out.push_back({c->name, beyond});
    }
    return out;
}

Duties column_duties(const ModelCurve& curve, const Design& d, double xD) {
    const double top = curve.bubble_kelvin(xD), x_N = d.x.back(), bottom = curve.bubble_kelvin(x_N);
    constexpr double kSecondsPerHour = 3600, kJoulesPerKilojoule = 1000;
    // kmol/h * kJ/mol = 1000 kJ / h
    const auto kilowatts = [&](double kmol_per_hour, double kj_per_mol) {
        return kmol_per_hour * kj_per_mol * kJoulesPerKilojoule / kSecondsPerHour;
    };
    return {top - kKelvinOffset, bottom - kKelvinOffset, kilowatts(d.V, curve.latent_heat_of(xD, top)),
            kilowatts(d.V_strip, curve.latent_heat_of(x_N, bottom))};
}

}  // namespace veltrano::calc
