#include "veltrano/calc/design.h"

#include <algorithm>
#include <cmath>

#include "veltrano/calc/balances.h"
#include "veltrano/calc/curve.h"
#include "veltrano/calc/errors.h"
#include "stepped_column.h"
#include "veltrano/core/number_text.h"

namespace veltrano::calc {

namespace {

struct Pinch {
    double x, y;
};

std::string text(double v) { return core::double_to_text(v); }

// "馏出组成 xD = 95": the input by its name, symbol and value.
std::string named(const char* name, double v) { return std::string(name) + " = " + text(v); }

// A fraction typed as a percentage: 95 for 0.95. `what` names the fraction.
std::string percent_hint(double v, const char* what = "摩尔分数") {
    if (!(v > 1 && v < 100)) return {};
    return "；" + text(v) + " 像是百分数，" + what + "应写作 " + text(v / 100);
}

// The flows of both sections, in the plate-by-plate calculation's grouping.
struct Flows {
    double W, D, L, V, L1, V1;
};

Flows flows(const DesignInputs& in) {
    const ColumnInputs& c = in.column;
    Flows f{};
    f.W = ((c.xD - c.xF) * c.F) / (c.xD - c.xW);
    f.D = c.F - f.W;
    f.L = f.D * c.R;
    f.V = f.L + f.D;
    f.L1 = f.L + in.q * c.F;  // q = 1 adds F itself
    f.V1 = f.L1 - f.W;
    return f;
}

// Where the q-line y = q/(q-1) x - xF/(q-1) meets the equilibrium curve:
//   q (alpha-1) x^2 + (q - (alpha-1) xF - (q-1) alpha) x - xF = 0,
// the root between xF and the curve's liquid under xF (there is exactly one,
// the curve being concave). The vertical q-line of a saturated liquid meets
// it at xF, in the minimum-reflux formula's own arithmetic.
Pinch pinch_of(double xF, double alpha, double q) {
    const double k = alpha - 1.0;
    if (q == 1.0) return {xF, alpha * xF / (1.0 + k * xF)};
    const double under = xF / (alpha - k * xF);  // liquid under vapour xF: the pinch at q = 0
    if (q == 0.0) return {under, xF};  // horizontal: the vapour is the feed
    const double a = q * k, b = q - k * xF - (q - 1.0) * alpha, c = -xF;
    const double root = std::sqrt(std::max(0.0, b * b - 4 * a * c));
    const double big = -(b + std::copysign(root, b)) / 2;
    const double r1 = big / a, r2 = c / big;
    // The bracket: above xF for a subcooled feed, below the liquid under xF
    // for a superheated one, between the two for a part-vapour feed.
    const double lo = q > 1 ? xF : q < 0 ? 0.0 : under;
    const double hi = q > 1 ? 1.0 : q < 0 ? under : xF;
    const auto off = [&](double r) { return std::isfinite(r) ? std::max(lo - r, r - hi) : INFINITY; };
    const double x = std::clamp(off(r1) <= off(r2) ? r1 : r2, lo, hi);
    return {x, alpha * x / (1.0 + k * x)};
}

// The rectifying line through the pinch; none is needed (0) when the pinch
// lies at or beyond the distillate.
double minimum_reflux_at(double xD, Pinch p) {
    const double r = (xD - p.y) / (p.y - p.x);
    return r > 0 ? r : 0.0;
}

[[noreturn]] void invalid(const std::string& why) { throw core::RunError(kInvalidArgument, why); }

}  // namespace

namespace {

// The checks, and what they had to compute on the way: for inputs that pass,
// the pinch and the flows the design steps with.
struct Verdict {
    std::vector<std::string> problems;
    Pinch pinch{};
    Flows flows{};
    MinimumReflux minimum{};  // on a curve other than constant alpha
};

// The compositions of an azeotrope between the products: what the column
// cannot pass, and so the richest distillate or leanest bottoms it can give.
std::string azeotrope_problem(const Azeotrope& a, double xF) {
    const std::string x = core::decimals_text(a.x, 4);
    const std::string where =
        "x = " + x + (a.temperature ? "，" + core::decimals_text(*a.temperature, 2) + " °C" : std::string());
    const std::string kind = a.minimum_boiling ? "最低恒沸点" : "最高恒沸点";
    return "物系在 " + where + " 有" + kind + "（共沸点），位于塔底组成 xW 与馏出组成 xD 之间，精馏越不过它：" +
           (a.x > xF ? "馏出组成 xD 须低于 " + x : "塔底组成 xW 须高于 " + x);
}

// The curve's rules: no azeotrope between the products, the first component
// the lighter at the feed, and the reflux above the binding pinch.
void check_on_curve(const DesignInputs& in, const EquilibriumCurve& curve, bool reflux, Verdict& verdict) {
    const ColumnInputs& c = in.column;
    if (const std::optional<std::string> order = curve.heavy_first()) {
        verdict.problems.push_back(*order);
        return;
    }
    if (const std::optional<Azeotrope> a = azeotrope_between(curve, c.xW, c.xD)) {
        verdict.problems.push_back(azeotrope_problem(*a, c.xF));
        return;
    }
    if (!(curve.vapour(c.xF) > c.xF)) {
        verdict.problems.push_back("进料组成 xF = " + text(c.xF) + " 处平衡汽相 y* = " + text(curve.vapour(c.xF)) +
                                   " 不高于液相：x 所指的组分在这里不是易挥发组分");
        return;
    }
    if (!reflux) return;
    const MinimumReflux m = verdict.minimum = minimum_reflux(curve, c.xF, c.xD, c.xW, in.q);
    verdict.pinch = {m.x, m.y};
    if (!(c.R > m.R_min)) {
        verdict.problems.push_back(named("回流比 R", c.R) + " 须大于最小回流比 Rmin = " + text(m.R_min) + "（" +
                                   (m.tangent ? "切点夹紧：操作线与平衡线相切于 x = " : "进料处夹紧：q 线与平衡线交于 x = ") +
                                   text(m.x) + "，y = " + text(m.y) + "）");
    }
}

Verdict check(const DesignInputs& in, const EquilibriumCurve* curve) {
    const ColumnInputs& c = in.column;
    Verdict verdict;
    std::vector<std::string>& problems = verdict.problems;
    if (!(c.F > 0 && std::isfinite(c.F))) problems.push_back(named("进料流率 F", c.F) + " 须是大于 0 的有限数");

    bool fractions = true;
    const std::pair<const char*, double> compositions[] = {
        {"进料组成 xF", c.xF}, {"馏出组成 xD", c.xD}, {"塔底组成 xW", c.xW}};
    for (const auto& [name, v] : compositions) {
        if (v > 0 && v < 1) continue;
        fractions = false;
        problems.push_back(named(name, v) + " 须在 0 与 1 之间（摩尔分数，不含两端）" + percent_hint(v));
    }
    bool ordered = fractions;
    if (fractions) {
        const bool swapped = c.xD < c.xF && c.xF < c.xW;
        const std::string hint = swapped ? "；xD 与 xW 像是填反了" : "";
        if (!(c.xW < c.xF)) {
            ordered = false;
            problems.push_back(named("塔底组成 xW", c.xW) + " 须小于进料组成 xF = " + text(c.xF) +
                               "（应有 0 < xW < xF < xD < 1）" + hint);
        }
        if (!(c.xF < c.xD)) {
            ordered = false;
            problems.push_back(named("馏出组成 xD", c.xD) + " 须大于进料组成 xF = " + text(c.xF) +
                               "（应有 0 < xW < xF < xD < 1）" + hint);
        }
    }
    const bool volatile_light = curve != nullptr || (c.alpha > 1 && std::isfinite(c.alpha));
    if (!volatile_light) {
        problems.push_back(named("相对挥发度 α", c.alpha) +
                           " 须是大于 1 的有限数（轻组分对重组分；小于 1 时轻重组分对调了）");
    }
    const bool q_finite = std::isfinite(in.q);
    if (!q_finite) problems.push_back(named("进料热状况参数 q", in.q) + " 须是有限数");
    if (!(in.efficiency > 0 && in.efficiency <= 1)) {
        problems.push_back(named("默弗里板效率 E", in.efficiency) + " 须满足 0 < E ≤ 1" +
                           percent_hint(in.efficiency, "板效率"));
    }
    const bool reflux = c.R > 0 && std::isfinite(c.R);
    if (!reflux) problems.push_back(named("回流比 R", c.R) + " 须是大于 0 的有限数");

    bool pinched = true;  // until the reflux is known to clear the pinch
    if (ordered && q_finite && curve != nullptr) {
        const std::size_t before = problems.size();
        check_on_curve(in, *curve, reflux, verdict);
        pinched = !reflux || problems.size() > before;
    } else if (ordered && volatile_light && q_finite && reflux) {
        const Pinch p = verdict.pinch = pinch_of(c.xF, c.alpha, in.q);
        const double r_min = minimum_reflux_at(c.xD, p);
        pinched = !(c.R > r_min);
        if (pinched) {
            problems.push_back(named("回流比 R", c.R) + " 须大于最小回流比 Rmin = " + text(r_min) +
                               "（q = " + text(in.q) + " 时 q 线与平衡线交于 x = " + text(p.x) +
                               "，y = " + text(p.y) + "，操作线在此夹紧）");
        }
    }
    if (!pinched) {
        if (c.F > 0 && std::isfinite(c.F)) {
            const Flows f = verdict.flows = flows(in);
            if (!(f.V1 > 0)) {
                problems.push_back("提馏段汽相流量 V′ = " + text(f.V1) + " 须大于 0：进料 q = " + text(in.q) +
                                   " 过热太多，提馏段没有上升蒸汽；提高 q 或加大回流比 R");
            } else if (!std::isfinite(f.L1) || !std::isfinite(f.V)) {
                problems.push_back(named("进料流率 F", c.F) + " 与回流比 R = " + text(c.R) +
                                   " 使塔内流量超出数值范围");
            }
        }
    }
    return verdict;
}

}  // namespace

std::vector<std::string> input_problems(const DesignInputs& in) { return check(in, nullptr).problems; }

QLinePinch q_line_pinch(const DesignInputs& in) {
    const Pinch p = pinch_of(in.column.xF, in.column.alpha, in.q);
    return {p.x, p.y, minimum_reflux_at(in.column.xD, p)};
}

std::optional<double> reflux_over_minimum(const DesignInputs& in) {
    const ColumnInputs& c = in.column;
    if (!(c.xF > 0 && c.xF < c.xD && c.xD < 1 && c.alpha > 1 && std::isfinite(c.alpha) && std::isfinite(in.q))) {
        return std::nullopt;
    }
    const double r_min = q_line_pinch(in).R_min;
    if (!(r_min > 0)) return std::nullopt;
    return finite(c.R / r_min);
}

std::optional<double> reflux_over_minimum(const DesignInputs& in, const EquilibriumCurve& curve) {
    const ColumnInputs& c = in.column;
    if (!(c.xW > 0 && c.xW < c.xF && c.xF < c.xD && c.xD < 1 && std::isfinite(in.q)) || curve.heavy_first() ||
        azeotrope_between(curve, c.xW, c.xD)) {
        return std::nullopt;
    }
    const double r_min = minimum_reflux(curve, c.xF, c.xD, c.xW, in.q).R_min;
    if (!(r_min > 0)) return std::nullopt;
    return finite(c.R / r_min);
}

double pseudo_equilibrium_vapour(double alpha, double efficiency, double a, double b, double x) {
    const double op = a * x + b;
    return op + efficiency * (alpha * x / (1.0 + (alpha - 1.0) * x) - op);
}

namespace {

// Stages at total reflux on a curve: the steps between the curve and the
// diagonal from xD down to xW, the last one counted in part as the design
// counts its last stage. Infinite past kMostStages.
double total_reflux_stages(const EquilibriumCurve& curve, double xD, double xW) {
    double above = xD;
    for (int n = 1; n <= kMostStages; ++n) {
        const double x = curve.liquid(above);
        if (!(x > xW)) return (n - 1) + (above - xW) / (above - x);
        if (!(x < above)) break;  // the curve meets the diagonal: no end
        above = x;
    }
    return INFINITY;
}

// The column stepped on `curve`, for inputs that passed `verdict`.
Design designed(const DesignInputs& in, const Verdict& verdict, const EquilibriumCurve& curve, double R_min,
                double N_min) {
    const ColumnInputs& c = in.column;
    const double xF = c.xF, xD = c.xD, xW = c.xW, R = c.R, q = in.q, E = in.efficiency;

    Design d{};
    const Flows& f = verdict.flows;
    d.D = f.D;
    d.W = f.W;
    d.L = f.L;
    d.V = f.V;
    d.L_strip = f.L1;
    d.V_strip = f.V1;
    const Pinch& p = verdict.pinch;
    d.x_pinch = p.x;
    d.y_pinch = p.y;
    d.tangent_pinch = verdict.minimum.tangent;
    d.x_q = verdict.minimum.tangent ? verdict.minimum.x_q : p.x;
    d.y_q = verdict.minimum.tangent ? verdict.minimum.y_q : p.y;
    d.R_min = R_min;
    if (d.R_min > 0) d.R_over_R_min = R / d.R_min;
    d.N_min = N_min;

    // Said only on the way out: a designed column builds no text.
    const auto ratio = [&] { return d.R_over_R_min ? "R/Rmin = " + text(*d.R_over_R_min) : std::string("Rmin = 0"); };
    const auto too_many = [&](const std::string& why) {
        invalid("需要多于 " + std::to_string(kMostStages) + " 块理论板：" + (why.empty() ? ratio() : why + "（" + ratio() + "）"));
    };
    if (!(d.N_min < kMostStages)) too_many("全回流时也要 Nmin = " + text(d.N_min) + " 块，分离要求太高");

    // The operating lines, grouped as in the plate-by-plate calculation.
    const double slope = R / (R + 1.0), intercept = xD / (R + 1.0);
    const double bottoms_term = (f.W * xW) / f.V1;
    const auto rectifying = [&](double x) { return slope * x + intercept; };
    const auto stripping = [&](double x) { return (f.L1 * x) / f.V1 - bottoms_term; };

    d.x_meet = stepped::meeting_liquid(xF, xD, R, q);
    d.y_meet = rectifying(d.x_meet);

    d.x.reserve(64);
    d.y.reserve(64);
    double y = xD;  // total condenser
    for (int n = 1;; ++n) {
        if (n > kMostStages) {
            too_many(E < 1 ? "回流比太接近最小回流比，或板效率 E = " + text(E) + " 太低" : "回流比太接近最小回流比");
        }
        const double x_equilibrium = curve.liquid(y);
        const bool reboiler = !(x_equilibrium > xW);
        double x = x_equilibrium;
        if (!reboiler && E < 1) {
            const bool above_feed = d.feed_stage == 0;
            x = curve.pseudo_liquid(y, above_feed ? slope : f.L1 / f.V1, above_feed ? intercept : -bottoms_term, E);
            if (above_feed && !(x > d.x_meet)) x = curve.pseudo_liquid(y, f.L1 / f.V1, -bottoms_term, E);
        }
        // Each stage's liquid is leaner than the one above it. A reflux a few
        // roundings above the minimum leaves the operating line touching the
        // curve at the pinch in floating point: there the steps stall, or
        // climb back through the pinch towards compositions outside 0..1.
        const double x_above = d.x.empty() ? xD : d.x.back();
        if (!(x > 0 && x < x_above)) {
            invalid("回流比太接近最小回流比：逐板计算在夹点处停滞，第 " + std::to_string(n) +
                    " 块板的液相组成 x = " + text(x) + " 不低于上一块板的 " + text(x_above) + "（" + ratio() +
                    (E < 1 ? "，板效率 E = " + text(E) : std::string()) + "）；请加大回流比");
        }
        d.x.push_back(x);
        d.y.push_back(y);
        if (d.feed_stage == 0 && !(x > d.x_meet)) d.feed_stage = n;
        if (reboiler) break;
        y = d.feed_stage == 0 ? rectifying(x) : stripping(x);
    }
    const int N = static_cast<int>(d.x.size());
    d.stage_count = N;

    d.fractional_stages = stepped::fractional_stages(d.x, xD, xW);
    const double X = (R - d.R_min) / (R + 1.0), Y = 0.75 * (1.0 - std::pow(X, 0.5668));
    d.gilliland_stages = (d.N_min + Y) / (1.0 - Y);
    const double ends = xW / (1.0 - xD);
    d.kirkbride_ratio = std::pow(((1.0 - xF) / xF) * (ends * ends) * (f.W / f.D), 0.206);
    return d;
}

}  // namespace

Design design_column(const DesignInputs& in) {
    const Verdict verdict = check(in, nullptr);
    if (!verdict.problems.empty()) invalid(verdict.problems.front());
    // Fenske: finite for inputs that pass the checks.
    return designed(in, verdict, AlphaCurve(in.column.alpha), minimum_reflux_at(in.column.xD, verdict.pinch),
                    *fenske_minimum_plates(in.column));
}

std::vector<std::string> input_problems(const DesignInputs& in, const EquilibriumCurve& curve) {
    return check(in, &curve).problems;
}

Design design_column(const DesignInputs& in, const EquilibriumCurve& curve) {
    const Verdict verdict = check(in, &curve);
    if (!verdict.problems.empty()) invalid(verdict.problems.front());
    Design d = designed(in, verdict, curve, verdict.minimum.R_min,
                        total_reflux_stages(curve, in.column.xD, in.column.xW));
    d.T = stepped::temperatures(curve, d.x);
    return d;
}

}  // namespace veltrano::calc
