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

// Plate n must have a profile slot before it is stepped (n - 1, the plate
// above, already has one). Said here in the column's terms; the profile's own
// index check stays behind it.
void check_plate(const ColumnInputs& in, ShortInt n, bool rectifying) {
    if (static_cast<std::uint16_t>(n.value()) >= Profile::kSlots) too_many_plates(in, n, rectifying);
}

// Liquid in equilibrium with vapour y: x = y / (alpha - (alpha - 1) y).
auto equilibrium_liquid(double y, double alpha) {
    return [=](auto num) { return num(y) / (num(alpha) - (num(alpha) - 1.0) * y); };
}

}  // namespace

ColumnResult calculate(const ColumnInputs& in) {
    const double F = in.F, xF = in.xF, xD = in.xD, xW = in.xW, R = in.R, alpha = in.alpha;
    ColumnResult out{};

    // Overall and light-component balances: F = D + W, F xF = D xD + W xW.
    const double W = out.W = store_statement(
        [=](auto num) { return ((num(xD) - xF) * F) / (num(xD) - xW); }, "塔底流量 W");
    const double D = out.D = store_statement([=](auto num) { return num(F) - W; }, "馏出流量 D");
    const double L = out.L = store_statement([=](auto num) { return num(D) * R; }, "精馏段液相流量 L");

    // Total condenser: the vapour off the top plate has the distillate composition.
    ShortInt n = kOne;
    out.y.set(n, xD);
    double x = store_statement(equilibrium_liquid(xD, alpha), "液相组成 x", 1);
    out.x.set(n, x);

    // Rectifying line y = R/(R+1) x + xD/(R+1); plate 2 is always stepped.
    do {
        n = n + kOne;
        check_plate(in, n, true);
        const double xAbove = x;
        const auto [y, xNew] = store_in_turn(
            [=](auto num) { return (num(R) / (num(R) + 1.0)) * xAbove + num(xD) / (num(R) + 1.0); },
            [=](double y) { return equilibrium_liquid(y, alpha); }, "汽相组成 y", "液相组成 x",
            n.value());
        out.y.set(n, y);
        out.x.set(n, x = xNew);
    } while (x > xF);
    out.feed_plate = n;

    // Stripping section, saturated-liquid feed: L' = L + F, V' = L' - W,
    // y = L'/V' x - W xW / V'.
    do {
        n = n + kOne;
        check_plate(in, n, false);
        const double xAbove = x;
        const auto [y, xNew] = store_in_turn(
            [=](auto num) {
                return ((num(L) + F) * xAbove) / ((num(L) + F) - W) -
                       (num(W) * xW) / ((num(L) + F) - W);
            },
            [=](double y) { return equilibrium_liquid(y, alpha); }, "汽相组成 y", "液相组成 x",
            n.value());
        out.y.set(n, y);
        out.x.set(n, x = xNew);
    } while (x > xW);
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
