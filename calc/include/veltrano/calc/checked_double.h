// IEEE double arithmetic that records the exception flags a statement raises.
//
// The flags are derived from each operation's operands and result rather than
// read from the processor, so they cannot be lost or invented by the
// optimiser: the same statement gives the same flags at every optimisation
// level, with every compiler. For finite operands a non-finite result is the
// only way a flag can arise, which keeps the common path to one test.
//
// A statement runs first in plain doubles (Quick); every stored value is
// finite, so a flag can only have been raised if the result is not finite
// or a non-finite intermediate vanished, and the one operation that makes a
// non-finite operand vanish is a division by an infinity (x / inf = 0). Only
// then is the statement evaluated again with every operation classified (Fp).
#pragma once

#include <cfloat>
#include <cmath>
#include <utility>

namespace veltrano::calc {

enum FpFlag : unsigned {
    kFpInvalid = 1u,     // 0 / 0, inf / inf, 0 * inf, inf - inf
    kFpDivByZero = 2u,   // finite non-zero / 0
    kFpOverflow = 4u,    // finite operands, result beyond the double range
};

// A value part-way through a statement, with the flags raised so far.
class Fp {
public:
    constexpr Fp(double value) : value_(value) {}  // NOLINT: stored values enter implicitly

    constexpr double value() const { return value_; }
    constexpr unsigned flags() const { return flags_; }

    friend Fp operator+(Fp a, Fp b) { return Fp(a, b, a.value_ + b.value_, false); }
    friend Fp operator-(Fp a, Fp b) { return Fp(a, b, a.value_ - b.value_, false); }
    friend Fp operator*(Fp a, Fp b) { return Fp(a, b, a.value_ * b.value_, false); }
    friend Fp operator/(Fp a, Fp b) { return Fp(a, b, a.value_ / b.value_, true); }

private:
    Fp(Fp a, Fp b, double result, bool division)
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

    double value_;
    unsigned flags_ = 0;
};

// A value part-way through a statement on the fast path: the value and
// whether some division had an infinite divisor.
class Quick {
public:
    constexpr Quick(double value) : value_(value) {}  // NOLINT: as Fp

    constexpr double value() const { return value_; }
    constexpr bool lost_infinity() const { return lost_ != 0; }

    friend Quick operator+(Quick a, Quick b) { return Quick(a.value_ + b.value_, a.lost_ | b.lost_); }
    friend Quick operator-(Quick a, Quick b) { return Quick(a.value_ - b.value_, a.lost_ | b.lost_); }
    friend Quick operator*(Quick a, Quick b) { return Quick(a.value_ * b.value_, a.lost_ | b.lost_); }
    friend Quick operator/(Quick a, Quick b) {
        return Quick(a.value_ / b.value_,
                     a.lost_ | b.lost_ | static_cast<unsigned>(std::isinf(b.value_)));
    }

private:
    constexpr Quick(double value, unsigned lost) : value_(value), lost_(lost) {}

    double value_;
    unsigned lost_ = 0;  // non-zero once a division had an infinite divisor
};

// Raises the error for `flags`; plate 0 means the quantity is not a plate's.
[[noreturn]] void raise_stored(unsigned flags, const char* what, int plate);

// The check after a statement stores its result: division by zero raises
// error 11 (also when another flag came with it), an invalid operation or an
// overflow error 6. Underflow and inexact results are never errors.
// `what` names the stored quantity for the message, `plate` (1 and up) the
// plate it belongs to, if any.
inline double store(Fp result, const char* what, int plate = 0) {
    if (result.flags() != 0) raise_stored(result.flags(), what, plate);
    return result.value();
}

// Whether a fast-path result is certainly free of flags.
inline bool clean(Quick q) { return std::fabs(q.value()) <= DBL_MAX && !q.lost_infinity(); }

// The slow path of a statement whose fast evaluation may have raised a flag:
// evaluated again with every operation classified. Kept out of line so the
// fast path stays small.
template <class Statement>
[[gnu::noinline, gnu::cold]] double store_exactly(Statement statement, const char* what, int plate) {
    return store(statement([](double v) { return Fp(v); }), what, plate);
}

// A statement written once for both number types: `statement(num)` builds
// its value from operands wrapped with num(x), e.g.
//   [&](auto num) { return (num(xD) - xF) / (num(xD) - xW); }
// Returns the stored value, or raises as store() does.
template <class Statement>
double store_statement(Statement statement, const char* what, int plate = 0) {
    const Quick quick = statement([](double v) { return Quick(v); });
    if (clean(quick)) return quick.value();
    // A division by an infinity that came from finite operands raised its
    // flag where the infinity arose, so store_exactly() always raises here.
    return store_exactly(statement, what, plate);
}

// Two statements of one plate, the second reading what the first stored
// (y, then x = f(y)): on the fast path one test covers both, which asks of
// the second statement that a non-finite input gives a non-finite result.
// x = y / (alpha - (alpha - 1) y) does, for any finite alpha: y = +-inf makes
// the divisor infinite or NaN and x NaN; y = NaN makes x NaN. So the first
// value needs no test of its own, only its divisions' record. When the test
// fails each statement is stored in turn, so the first one's error still
// comes first.
template <class First, class SecondOf>
[[gnu::noinline, gnu::cold]] std::pair<double, double> store_in_turn_exactly(
    First first, SecondOf second_of, const char* first_what, const char* second_what, int plate) {
    const double stored = store_exactly(first, first_what, plate);
    return {stored, store_exactly(second_of(stored), second_what, plate)};
}

template <class First, class SecondOf>
std::pair<double, double> store_in_turn(First first, SecondOf second_of, const char* first_what,
                                        const char* second_what, int plate) {
    const Quick a = first([](double v) { return Quick(v); });
    const Quick b = second_of(a.value())([](double v) { return Quick(v); });
    if (clean(b) && !a.lost_infinity()) return {a.value(), b.value()};
    return store_in_turn_exactly(first, second_of, first_what, second_what, plate);
}

}  // namespace veltrano::calc
