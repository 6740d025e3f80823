#include "veltrano/calc/column.h"

#include <cmath>
#include <cstdint>
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

// A section of the column: its operating line y = line(x) for the liquid x
// leaving the plate above, and the liquid composition that ends it.
template <class Line>
struct Section {
    bool rectifying;
    Line line;
    Checked end;
};
template <class Line>
Section(bool, Line, Checked) -> Section<Line>;

// Raised when plate `n` would lie beyond the 30 plates a profile holds.
[[noreturn]] void too_many_plates(const ColumnInputs& in, ShortInt n, bool rectifying) {
    std::string detail = "需要第 " + std::to_string(n.value()) + " 块板，超过 30 块塔板仍未达到" +
                         (rectifying ? "进料组成 xF = " + number_text(in.xF)
                                     : "塔底组成 xW = " + number_text(in.xW)) +
                         "；塔板数多于 30，或回流比 R = " + number_text(in.R) + " 不高于最小回流比";
    if (const auto rmin = minimum_reflux(in)) detail += " Rmin = " + number_text(*rmin);
    throw RunError(ErrorNumber::SubscriptOutOfRange, detail);
}

// Steps plate after plate down the section's operating line and the
// equilibrium curve until the liquid is no richer than the section's end.
// `n` is the plate above, whose liquid is `x`. Plate n must have a profile
// slot before it is stepped: said here in the column's terms, the profile's
// own index check stays behind it.
template <class Line, class Liquid>
Checked step_section(const ColumnInputs& in, const Section<Line>& s, Liquid liquid, ShortInt& n,
                     Checked x, ColumnResult& out) {
    do {
        n = n + kOne;
        if (static_cast<std::uint16_t>(n.value()) >= Profile::kSlots) {
            too_many_plates(in, n, s.rectifying);
        }
        const Checked y = store(s.line(x), "汽相组成 y", n.value());
        x = store(liquid(y), "液相组成 x", n.value());
        out.y.set(n, y.value());
        out.x.set(n, x.value());
    } while (x > s.end);
    return x;
}

}  // namespace

ColumnResult calculate(const ColumnInputs& in) {
    const Checked F = in.F, xF = in.xF, xD = in.xD, xW = in.xW, R = in.R, alpha = in.alpha;
    ColumnResult out{};

    // Overall and light-component balances: F = D + W, F xF = D xD + W xW.
    const Checked W = store(((xD - xF) * F) / (xD - xW), "塔底流量 W");
    const Checked D = store(F - W, "馏出流量 D");
    const Checked L = store(D * R, "精馏段液相流量 L");
    out.W = W.value();
    out.D = D.value();
    out.L = L.value();

    // Liquid in equilibrium with vapour y: x = y / (alpha - (alpha - 1) y).
    // Terms that do not change from plate to plate are computed once; their
    // flags wait for the first statement that uses them.
    const Pending alpha_less_one = alpha - 1.0;
    const auto liquid = [=](Checked y) { return y / (alpha - alpha_less_one * y); };

    // Total condenser: the vapour off the top plate has the distillate composition.
    ShortInt n = kOne;
    out.y.set(n, xD.value());
    Checked x = store(liquid(xD), "液相组成 x", 1);
    out.x.set(n, x.value());

    // Rectifying line y = R/(R+1) x + xD/(R+1); plate 2 is always stepped.
    const Pending slope = R / (R + 1.0), intercept = xD / (R + 1.0);
    const Section rectifying{true, [=](Checked above) { return slope * above + intercept; }, xF};
    x = step_section(in, rectifying, liquid, n, x, out);
    out.feed_plate = n;

    // Stripping section, saturated-liquid feed: L' = L + F, V' = L' - W,
    // y = L' x / V' - W xW / V'.
    const Pending L1 = L + F, V1 = L1 - W, bottoms_term = (W * xW) / V1;
    const Section stripping{false, [=](Checked above) { return (L1 * above) / V1 - bottoms_term; }, xW};
    step_section(in, stripping, liquid, n, x, out);
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
