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
constexpr ShortInt kLastPlate{30};

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

// Stepping a section on past plate 30 tells why it did not end there. How far
// to look: a column of this many plates is beyond any design question.
constexpr int kPlatesLookedAt = 10000;

// What stepping on from plate 30, in the same arithmetic, shows.
struct Beyond {
    enum Kind {
        kReached,  // the end composition, at `plate`
        kRepeats,  // a liquid composition met again `period` plates later: never the end
        kUnknown,  // a check would fail first, or nothing was seen within the look-ahead
    } kind = kUnknown;
    int plate = 0;
    int period = 0;
    double x = 0;  // the composition that repeats
};

// The same compositions have the same bits: +0 and -0 are not one state.
bool same_state(Checked a, Checked b) {
    return a == b && std::signbit(a.value()) == std::signbit(b.value());
}

template <class Line, class Liquid>
Beyond step_on(const Section<Line>& s, Liquid liquid, Checked x) {
    // A repeat is found by comparing each plate with a marked one whose
    // distance doubles (Brent): cycles of any length, one comparison a plate.
    Checked mark = x;
    int since_mark = 0, span = 1;
    for (int plate = 31; plate <= kPlatesLookedAt; ++plate) {
        // A statement that would fail its check ends the look-ahead; a clean
        // one is stored as on the first 30 plates.
        const Pending y = s.line(x);
        if (y.flags() != 0) break;
        const Pending next = liquid(store(y, "汽相组成 y", plate));
        if (next.flags() != 0) break;
        x = store(next, "液相组成 x", plate);
        if (!(x > s.end)) return {Beyond::kReached, plate, 0, 0};
        if (same_state(x, mark)) return {Beyond::kRepeats, plate, since_mark + 1, x.value()};
        if (++since_mark == span) {
            mark = x;
            since_mark = 0;
            span *= 2;
        }
    }
    return {};
}

// Why a section has not reached its end composition by plate 30, said only
// as far as it is true:
// - a rectifying section whose reflux ratio does not exceed the minimum
//   (alpha > 1, 0 < xF < xD < 1, 0 < R <= Rmin) pinches at the feed and never
//   gets there, so Rmin explains it;
// - otherwise what stepping on shows: the end at a later plate (more than 30
//   plates needed), a liquid that settles on a pinch or cycles and never gets
//   there, or, failing both, what happened up to plate 30.
template <class Line, class Liquid>
[[noreturn, gnu::cold, gnu::noinline]] void too_many_plates(const ColumnInputs& in,
                                                           const Section<Line>& s,
                                                           Liquid liquid, Checked x30,
                                                           ShortInt feed_plate) {
    const std::string end = s.rectifying ? "进料组成 xF = " + number_text(in.xF)
                                         : "塔底组成 xW = " + number_text(in.xW);
    const std::string name = s.rectifying ? "精馏段" : "提馏段";
    std::string why;
    const auto rmin = minimum_reflux(in);
    if (s.rectifying && rmin && in.alpha > 1.0 && 0.0 < in.xF && in.xF < in.xD && in.xD < 1.0 &&
        0.0 < in.R && in.R <= *rmin) {
        why = "回流比 R = " + number_text(in.R) + " 不高于最小回流比 Rmin = " + number_text(*rmin) +
              "，精馏段操作线与平衡线的交点（夹点）不低于进料组成，多少块塔板都达不到" + end;
    } else {
        const Beyond beyond = step_on(s, liquid, x30);
        switch (beyond.kind) {
        case Beyond::kReached:
            why = name + "到第 " + std::to_string(beyond.plate) + " 块板才达到" + end +
                  "，塔板数多于 30";
            break;
        case Beyond::kRepeats:
            why = beyond.period == 1
                      ? name + "的液相组成停在 x = " + number_text(beyond.x) + "（夹点），达不到" + end
                      : name + "的液相组成每 " + std::to_string(beyond.period) +
                            " 块板循环一次，达不到" + end;
            break;
        case Beyond::kUnknown:
            // Plate 30 is richer than the end unless it is the feed plate,
            // which the stripping section always steps past.
            why = !s.rectifying && feed_plate == kLastPlate
                      ? "进料板已是第 30 块板，提馏段没有塔板可用"
                      : name + "到第 30 块板仍未达到" + end;
            break;
        }
    }
    throw core::RunError(kSubscriptOutOfRange, "需要第 31 块板，" + why);
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
            too_many_plates(in, s, liquid, x, out.feed_plate);
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
