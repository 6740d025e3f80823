// IEEE double arithmetic that records the exception flags a statement raises.
//
// The flags are derived from each operation's operands and result rather than
// read from the processor, so they cannot be lost or invented by the
// optimiser: the same statement gives the same flags at every optimisation
// level, with every compiler. For finite operands a non-finite result is the
// only way a flag can arise, which keeps the common path to one test.
#pragma once

#include <cmath>

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
    static unsigned raised(double a, double b, double result, bool division) {
        if (std::isnan(result)) return std::isnan(a) || std::isnan(b) ? 0u : kFpInvalid;
        if (std::isinf(a) || std::isinf(b)) return 0u;  // an infinity passed on exactly
        return division && b == 0.0 ? kFpDivByZero : kFpOverflow;
    }

    double value_;
    unsigned flags_ = 0;
};

// The check after a statement stores its result: division by zero raises
// error 11 (also when another flag came with it), an invalid operation or an
// overflow error 6. Underflow and inexact results are never errors.
// `what` names the stored quantity for the message.
double store(Fp result, const char* what);

// As above, for a quantity of plate `plate`.
double store(Fp result, const char* what, int plate);

}  // namespace veltrano::calc
