// IEEE double arithmetic whose statements are checked by construction.
//
// A column quantity is a Checked value: an input, or a result that passed its
// floating-point check when it was stored. Arithmetic on Checked values (or a
// Checked value and a plain number) yields a Pending value: the IEEE result
// together with the exception flags its operations raised. A Pending value
// cannot be read, compared or turned back into a double; the only way out is
// store(), which runs the check. So a formula written plainly,
//   W = store(((xD - xF) * F) / (xD - xW), "塔底流量 W");
// is checked whatever its spelling, and a term computed ahead of its
// statement (a loop invariant) carries its flags into the statement that
// first stores it.
//
// The flags are derived from each operation's operands and result rather than
// read from the processor, so they cannot be lost or invented by the
// optimiser: the same statement gives the same flags at every optimisation
// level, with every compiler. For finite operands a non-finite result is the
// only way a flag can arise, which keeps each operation to one test.
#pragma once

#include <cmath>

namespace veltrano::calc {

enum FpFlag : unsigned {
    kFpInvalid = 1u,     // 0 / 0, inf / inf, 0 * inf, inf - inf
    kFpDivByZero = 2u,   // finite non-zero / 0
    kFpOverflow = 4u,    // finite operands, result beyond the double range
};

class Checked;

// A value part-way through a statement, with the flags raised so far.
class Pending {
public:
    constexpr Pending(double value) : value_(value) {}  // NOLINT: a plain number joins unflagged
    constexpr Pending(Checked value);                   // NOLINT: so does a stored quantity

    constexpr unsigned flags() const { return flags_; }

    friend Pending operator+(Pending a, Pending b) { return Pending(a, b, a.value_ + b.value_, false); }
    friend Pending operator-(Pending a, Pending b) { return Pending(a, b, a.value_ - b.value_, false); }
    friend Pending operator*(Pending a, Pending b) { return Pending(a, b, a.value_ * b.value_, false); }
    friend Pending operator/(Pending a, Pending b) { return Pending(a, b, a.value_ / b.value_, true); }

private:
    Pending(Pending a, Pending b, double result, bool division)
        : value_(result), flags_(a.flags_ | b.flags_) {
        if (!std::isfinite(result)) flags_ |= raised(a.value_, b.value_, result, division);
    }

    // What IEEE 754 raises for an operation that produced a NaN or an infinity.
    // Kept out of line: it runs only on the way to an error.
    [[gnu::cold, gnu::noinline]] static unsigned raised(double a, double b, double result,
                                                        bool division) {
        if (std::isnan(result)) return std::isnan(a) || std::isnan(b) ? 0u : kFpInvalid;
        if (std::isinf(a) || std::isinf(b)) return 0u;  // an infinity passed on exactly
        return division && b == 0.0 ? kFpDivByZero : kFpOverflow;
    }

    friend Checked store(Pending result, const char* what, int plate);

    double value_;
    unsigned flags_ = 0;
};

// A quantity that carries no unchecked flags: an input, a constant, or what
// store() returned. Its arithmetic starts a statement (a Pending value).
class Checked {
public:
    constexpr Checked(double value) : value_(value) {}  // NOLINT: inputs enter as they are

    // The stored number, for the result and the profile.
    constexpr double value() const { return value_; }

    friend Pending operator+(Checked a, Checked b) { return Pending(a) + Pending(b); }
    friend Pending operator-(Checked a, Checked b) { return Pending(a) - Pending(b); }
    friend Pending operator*(Checked a, Checked b) { return Pending(a) * Pending(b); }
    friend Pending operator/(Checked a, Checked b) { return Pending(a) / Pending(b); }

    // Plate tests compare stored compositions; no flag can be pending here.
    friend constexpr bool operator>(Checked a, Checked b) { return a.value_ > b.value_; }
    friend constexpr bool operator<(Checked a, Checked b) { return a.value_ < b.value_; }
    friend constexpr bool operator==(Checked a, Checked b) { return a.value_ == b.value_; }

private:
    double value_;
};

constexpr Pending::Pending(Checked value) : value_(value.value()) {}

// Raises the error for `flags`; plate 0 means the quantity is not a plate's.
[[noreturn]] void raise_stored(unsigned flags, const char* what, int plate);

// The check after a statement stores its result: division by zero raises
// error 11 (also when another flag came with it), an invalid operation or an
// overflow error 6. Underflow and inexact results are never errors.
// `what` names the stored quantity for the message, `plate` (1 and up) the
// plate it belongs to, if any.
inline Checked store(Pending result, const char* what, int plate = 0) {
    if (result.flags_ != 0) raise_stored(result.flags_, what, plate);
    return Checked(result.value_);
}

}  // namespace veltrano::calc
