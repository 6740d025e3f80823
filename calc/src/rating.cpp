#include "veltrano/calc/rating.h"

#include <cmath>
#include <limits>

#include "solve.h"
#include "stepped_column.h"
#include "veltrano/calc/balances.h"
#include "veltrano/calc/errors.h"
#include "veltrano/core/number_text.h"

namespace veltrano::calc {

namespace {

std::string text(double v) { return core::double_to_text(v); }

[[noreturn]] void invalid(const std::string& why) { throw core::RunError(kInvalidArgument, why); }

// xD to this: far inside what any output shows.
constexpr double kComposition = 1e-12;
// What a trial that leaves 0..1 counts as: past any real x_N - xW.
constexpr double kTooRich = 2, kTooLean = -2;

// The flows and lines of the column for a trial distillate composition.
struct Lines {
    double W, xW, L, V, L_strip, V_strip;
    double rect_a, rect_b, strip_a, strip_b;  // y = a x + b
};

Lines lines_for(const RatingInputs& in, double xD) {
    Lines l{};
    l.W = in.F - in.D;
    l.xW = (in.F * in.xF - in.D * xD) / l.W;
    l.L = in.R * in.D;
    l.V = l.L + in.D;
    l.L_strip = l.L + in.q * in.F;
    l.V_strip = l.L_strip - l.W;
    l.rect_a = in.R / (in.R + 1.0);
    l.rect_b = xD / (in.R + 1.0);
    l.strip_a = l.L_strip / l.V_strip;
    l.strip_b = -(l.W * l.xW) / l.V_strip;
    return l;
}

// The column stepped from xD: its stages into x and y, and x_N - xW, or
// kTooRich / kTooLean where a vapour or a liquid leaves 0..1.
double step_column(const RatingInputs& in, const EquilibriumCurve& curve, double xD, std::vector<double>& x,
               std::vector<double>& y) {
    const Lines l = lines_for(in, xD);
    x.clear();
    y.clear();
    double vapour = xD;  // total condenser
    for (int n = 1; n <= in.stages; ++n) {
        if (!(vapour <= 1)) return kTooRich;  // NaN too: the pole of the inverse lies this way
        if (vapour < 0) return kTooLean;
        const bool rectifying = n < in.feed_stage;
        const double a = rectifying ? l.rect_a : l.strip_a, b = rectifying ? l.rect_b : l.strip_b;
        const double liquid = n == in.stages || in.efficiency == 1 ? curve.liquid(vapour)
                                                                   : curve.pseudo_liquid(vapour, a, b, in.efficiency);
        if (!(liquid <= 1)) return kTooRich;
        if (liquid < 0) return kTooLean;
        x.push_back(liquid);
        y.push_back(vapour);
        vapour = a * liquid + b;
    }
    return x.back() - l.xW;
}

}  // namespace

std::vector<std::string> rating_problems(const RatingInputs& in, bool on_curve) {
    std::vector<std::string> problems;
    if (!(in.F > 0 && std::isfinite(in.F))) problems.push_back("进料流率 F = " + text(in.F) + " 须是大于 0 的有限数");
    if (!(in.xF > 0 && in.xF < 1)) {
        problems.push_back("进料组成 xF = " + text(in.xF) + " 须在 0 与 1 之间（摩尔分数，不含两端）");
    }
    if (!on_curve && !(in.alpha > 1 && std::isfinite(in.alpha))) {
        problems.push_back("相对挥发度 α = " + text(in.alpha) + " 须是大于 1 的有限数");
    }
    if (!std::isfinite(in.q)) problems.push_back("进料热状况参数 q = " + text(in.q) + " 须是有限数");
    if (!(in.efficiency > 0 && in.efficiency <= 1)) {
        problems.push_back("默弗里板效率 E = " + text(in.efficiency) + " 须满足 0 < E ≤ 1");
    }
    if (!(in.R > 0 && std::isfinite(in.R))) problems.push_back("回流比 R = " + text(in.R) + " 须是大于 0 的有限数");
    const bool stages = in.stages >= 2 && in.stages <= kMostStages;
    if (!stages) {
        problems.push_back("塔板数 N = " + std::to_string(in.stages) + " 须是 2 到 " + std::to_string(kMostStages) +
                           " 之间的整数（含再沸器）");
    }
    if (stages && !(in.feed_stage >= 1 && in.feed_stage <= in.stages - 1)) {
        problems.push_back("进料板 " + std::to_string(in.feed_stage) + " 须在第 1 到第 " + std::to_string(in.stages - 1) +
                           " 块板之间（第 N 块是再沸器）");
    }
    const bool split = in.D > 0 && in.D < in.F;
    if (!split) problems.push_back("馏出流量 D = " + text(in.D) + " 须满足 0 < D < F = " + text(in.F));
    if (split && std::isfinite(in.q) && in.R > 0 && std::isfinite(in.R)) {
        const double V_strip = in.R * in.D + in.q * in.F - (in.F - in.D);
        if (!(V_strip > 0)) {
            problems.push_back("提馏段汽相流量 V′ = " + text(V_strip) + " 须大于 0：进料 q = " + text(in.q) +
                               " 过热太多，提馏段没有上升蒸汽；提高 q 或加大回流比 R 或馏出流量 D");
        }
    }
    return problems;
}

Rating rate_column(const RatingInputs& in) {
    const std::vector<std::string> problems = rating_problems(in, false);
    if (!problems.empty()) invalid(problems.front());
    return rate_column(in, AlphaCurve(in.alpha));
}

Rating rate_column(const RatingInputs& in, const EquilibriumCurve& curve) {
    const std::vector<std::string> problems = rating_problems(in, true);
    if (!problems.empty()) invalid(problems.front());
    // xD and xW = (F xF - D xD) / W both inside 0..1.
    const double W = in.F - in.D;
    const double lo = std::max(0.0, (in.F * in.xF - W) / in.D), hi = std::min(1.0, in.F * in.xF / in.D);
    std::vector<double> x, y;
    const auto residual = [&](double xD) { return step_column(in, curve, xD, x, y); };
    const double xD = solve::root(residual, lo, hi, kComposition);
    const auto no_column = [&] {
        invalid("在 xD 的可行区间 [" + text(lo) + ", " + text(hi) + "]（xD 与 xW 都在 0 与 1 之间）内，" +
                std::to_string(in.stages) + " 块板的塔找不到物料平衡的解：第 N 块板的液相总不等于 xW；请检查 D、R 与进料板");
    };
    const double r = xD > lo && xD < hi ? residual(xD) : NAN;
    if (!(std::fabs(r) < 1e-6)) {
        // Against an end of the bracket: the column separates further than a
        // double can tell xD from 1 (or xW from 0).
        if (hi - xD < 1e-9 || xD - lo < 1e-9) {
            invalid(std::to_string(in.stages) + " 块板的塔分离得太彻底，xD 与 1（或 xW 与 0）之差小于双精度所能分辨的 1e-16："
                    "无法给出组成；请减少塔板数或回流比");
        }
        no_column();
    }

    const Lines l = lines_for(in, xD);
    Rating out{};
    out.xD = xD;
    out.xW = l.xW;
    out.recovery = in.D * xD / (in.F * in.xF);
    Design& d = out.column;
    d.D = in.D;
    d.W = l.W;
    d.L = l.L;
    d.V = l.V;
    d.L_strip = l.L_strip;
    d.V_strip = l.V_strip;
    d.x = x;
    d.y = y;
    d.feed_stage = in.feed_stage;
    d.stage_count = in.stages;
    d.x_meet = stepped::meeting_liquid(in.xF, xD, in.R, in.q);
    d.y_meet = l.rect_a * d.x_meet + l.rect_b;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    d.N_min = d.gilliland_stages = d.kirkbride_ratio = nan;
    d.x_pinch = d.y_pinch = d.x_q = d.y_q = d.R_min = nan;
    // The pinch of the compositions found, where they are ordered.
    if (out.xW < in.xF && in.xF < xD) {
        const MinimumReflux m = minimum_reflux(curve, in.xF, xD, out.xW, in.q);
        d.x_pinch = m.x;
        d.y_pinch = m.y;
        d.tangent_pinch = m.tangent;
        d.x_q = m.x_q;
        d.y_q = m.y_q;
        d.R_min = m.R_min;
        if (m.R_min > 0) d.R_over_R_min = finite(in.R / m.R_min);
    }
    d.fractional_stages = stepped::fractional_stages(x, xD, out.xW);
    d.T = stepped::temperatures(curve, x);
    return out;
}

}  // namespace veltrano::calc
