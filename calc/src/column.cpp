#include "veltrano/calc/column.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "veltrano/calc/checked_double.h"
#include "veltrano/calc/errors.h"

namespace veltrano::calc {

namespace {

constexpr ShortInt kOne{1};

std::string number_text(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

// Raised when plate `n` would lie beyond the 30 plates a profile holds.
[[noreturn]] void too_many_plates(const ColumnInputs& in, ShortInt n, bool rectifying) {
    std::string detail = "需要第 " + std::to_string(n.value()) + " 块板，超过 30 块塔板仍未达到" +
                         (rectifying ? "进料组成 xF = " + number_text(in.xF)
                                     : "塔底组成 xW = " + number_text(in.xW)) +
                         "；塔板数多于 30，或回流比 R = " + number_text(in.R) + " 不高于最小回流比";
    if (const auto rmin = minimum_reflux(in)) detail += " Rmin = " + number_text(*rmin);
    throw RunError(ErrorNumber::SubscriptOutOfRange, detail);
}

// Both n - 1 and n must be profile slots before a plate is stepped.
void check_plate(const ColumnInputs& in, ShortInt n, bool rectifying) {
    const auto fits = [](ShortInt i) { return static_cast<std::uint16_t>(i.value()) < Profile::kSlots; };
    if (!fits(n - kOne) || !fits(n)) too_many_plates(in, n, rectifying);
}

// Liquid in equilibrium with vapour y: x = y / (alpha - (alpha - 1) y).
Fp equilibrium_liquid(double y, double alpha) {
    return Fp(y) / (Fp(alpha) - (Fp(alpha) - 1.0) * y);
}

}  // namespace

ColumnResult calculate(const ColumnInputs& in) {
    const double F = in.F, xF = in.xF, xD = in.xD, xW = in.xW, R = in.R, alpha = in.alpha;
    ColumnResult out{};

    // Overall and light-component balances: F = D + W, F xF = D xD + W xW.
    const double W = out.W = store(((Fp(xD) - xF) * F) / (Fp(xD) - xW), "塔底流量 W");
    const double D = out.D = store(Fp(F) - W, "馏出流量 D");
    const double L = out.L = store(Fp(D) * R, "精馏段液相流量 L");

    // Total condenser: the vapour off the top plate has the distillate composition.
    ShortInt n = kOne;
    out.y.set(n, xD);
    out.x.set(n, store(equilibrium_liquid(xD, alpha), "液相组成 x", 1));

    // Rectifying line y = R/(R+1) x + xD/(R+1); plate 2 is always stepped.
    do {
        n = n + kOne;
        check_plate(in, n, true);
        const double xAbove = out.x.get(n - kOne);
        out.y.set(n, store((Fp(R) / (Fp(R) + 1.0)) * xAbove + Fp(xD) / (Fp(R) + 1.0),
                           "汽相组成 y", n.value()));
        out.x.set(n, store(equilibrium_liquid(out.y.get(n), alpha), "液相组成 x", n.value()));
    } while (out.x.get(n) > xF);
    out.feed_plate = n;

    // Stripping section, saturated-liquid feed: L' = L + F, V' = L' - W,
    // y = L'/V' x - W xW / V'.
    do {
        n = n + kOne;
        check_plate(in, n, false);
        const double xAbove = out.x.get(n - kOne);
        out.y.set(n, store(((Fp(L) + F) * xAbove) / ((Fp(L) + F) - W) -
                               (Fp(W) * xW) / ((Fp(L) + F) - W),
                           "汽相组成 y", n.value()));
        out.x.set(n, store(equilibrium_liquid(out.y.get(n), alpha), "液相组成 x", n.value()));
    } while (out.x.get(n) > xW);
    out.plate_count = n;
    return out;
}

std::optional<double> minimum_reflux(const ColumnInputs& in) {
    const double yStar = in.alpha * in.xF / (1.0 + (in.alpha - 1.0) * in.xF);
    const double rmin = (in.xD - yStar) / (yStar - in.xF);
    if (!std::isfinite(rmin)) return std::nullopt;
    return rmin;
}

}  // namespace veltrano::calc
