// The checked types at their limits, and the derived floating-point flags
// against what the processor itself raises for the same operation.
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "veltrano/calc/checked_double.h"
#include "veltrano/calc/errors.h"
#include "veltrano/calc/profile.h"
#include "veltrano/calc/short_int.h"

namespace veltrano::calc {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <class F>
int error_of(F f) {
    try {
        f();
    } catch (const RunError& e) {
        return e.number();
    }
    return 0;
}

TEST(ShortInt, ChecksEveryAdditionAndSubtractionAtTheLimits) {
    struct Case { int a, b; char op; int error; };
    const Case cases[] = {
        {32766, 1, '+', 0},  {32767, 1, '+', 6},      {32767, -32768, '+', 0},
        {-32768, -1, '+', 6}, {-32767, 1, '-', 0},    {-32768, 1, '-', 6},
        {32767, -1, '-', 6},  {0, -32768, '-', 6},    {-1, -32768, '-', 0},
    };
    for (const auto& c : cases) {
        const ShortInt a(static_cast<std::int16_t>(c.a)), b(static_cast<std::int16_t>(c.b));
        int error = 0;
        int value = 0;
        try {
            value = (c.op == '+' ? a + b : a - b).value();
        } catch (const RunError& e) {
            error = e.number();
        }
        EXPECT_EQ(error, c.error) << c.a << c.op << c.b;
        if (error == 0) {
            EXPECT_EQ(value, c.op == '+' ? c.a + c.b : c.a - c.b);
        }
    }
}

TEST(Profile, ChecksTheIndexBeforeTouchingTheSlot) {
    for (int index : {-32768, -1, 31, 32, 32767}) {
        Profile p;
        const ShortInt i(static_cast<std::int16_t>(index));
        try {
            p.set(i, 1.0);
            FAIL() << "write at " << index;
        } catch (const RunError& e) {
            EXPECT_EQ(e.number(), 9);
        }
        EXPECT_THROW(p.get(i), RunError) << index;
        for (double slot : p.slots()) EXPECT_EQ(slot, 0.0);
    }
    Profile p;
    p.set(ShortInt(0), 0.5);
    p.set(ShortInt(30), 0.25);
    EXPECT_EQ(p.get(ShortInt(0)), 0.5);
    EXPECT_EQ(p.get(ShortInt(30)), 0.25);
}

// The flags the processor raises for one operation, read behind volatile
// operands so the compiler cannot fold it away.
unsigned hardware_flags(double a, double b, char op) {
    volatile double va = a, vb = b;
    std::feclearexcept(FE_ALL_EXCEPT);
    volatile double r = op == '+' ? va + vb : op == '-' ? va - vb : op == '*' ? va * vb : va / vb;
    (void)r;
    unsigned flags = 0;
    if (std::fetestexcept(FE_INVALID)) flags |= kFpInvalid;
    if (std::fetestexcept(FE_DIVBYZERO)) flags |= kFpDivByZero;
    if (std::fetestexcept(FE_OVERFLOW)) flags |= kFpOverflow;
    return flags;
}

TEST(Fp, RaisesTheFlagsTheProcessorRaises) {
    struct Case { double a, b; char op; unsigned flags; };
    const Case cases[] = {
        {1, 0, '/', kFpDivByZero},     {-1, 0, '/', kFpDivByZero},  {1, -0.0, '/', kFpDivByZero},
        {0, 0, '/', kFpInvalid},       {kInf, kInf, '/', kFpInvalid}, {kInf, 0, '/', 0},
        {1, kInf, '/', 0},             {DBL_MAX, 0.5, '/', kFpOverflow}, {1, 1e-310, '/', kFpOverflow},
        {0, kInf, '*', kFpInvalid},    {DBL_MAX, 2, '*', kFpOverflow}, {kInf, 2, '*', 0},
        {1e-300, 1e-300, '*', 0},      {kNaN, 0, '*', 0},           {kNaN, 0, '/', 0},
        {kInf, -kInf, '+', kFpInvalid}, {kInf, kInf, '-', kFpInvalid}, {kInf, kInf, '+', 0},
        {DBL_MAX, DBL_MAX, '+', kFpOverflow}, {-DBL_MAX, DBL_MAX, '-', kFpOverflow},
        {DBL_MIN, -DBL_MIN * 0.5, '+', 0}, {0.1, 0.2, '+', 0},
    };
    for (const auto& c : cases) {
        const Fp a(c.a), b(c.b);
        const Fp r = c.op == '+' ? a + b : c.op == '-' ? a - b : c.op == '*' ? a * b : a / b;
        EXPECT_EQ(r.flags(), c.flags) << c.a << ' ' << c.op << ' ' << c.b;
        EXPECT_EQ(r.flags(), hardware_flags(c.a, c.b, c.op)) << c.a << ' ' << c.op << ' ' << c.b;
    }
}

// Each statement goes through both paths: the classified one (Fp + store)
// and the fast one that re-evaluates only when a flag may have arisen.
template <class Statement>
void expect_error(Statement statement, int number, const char* why) {
    EXPECT_EQ(error_of([&] { store(statement([](double v) { return Fp(v); }), "q"); }), number)
        << why;
    EXPECT_EQ(error_of([&] { store_statement(statement, "q"); }), number) << why;
}

TEST(Fp, StoreReportsDivisionByZeroAheadOfTheOtherFlags) {
    // R = -1 in the rectifying line: -1/0 and 1/0 give -inf + inf, so the
    // statement raises division by zero and invalid together.
    expect_error([](auto n) { return (n(-1.0) / 0.0) * 0.5 + n(0.95) / 0.0; }, 11, "R = -1");
    expect_error([](auto n) { return n(0.0) / 0.0; }, 6, "0 / 0");
    expect_error([](auto n) { return n(DBL_MAX) * 10.0; }, 6, "overflow");
    // Overflow first, then an exact division by the resulting infinity: the
    // stored value is finite but the statement still fails.
    expect_error([](auto n) { return n(1.0) / (n(2.0) - n(DBL_MAX) * 4.0); }, 6, "1 / -inf");
    expect_error([](auto n) { return (n(1.0) / (n(DBL_MAX) + DBL_MAX)) * 3.0 + 1.0; }, 6,
                 "lost infinity under later operations");
    expect_error([](auto n) { return n(1.0) / (n(1.0) / 0.0); }, 11, "1 / (1 / 0)");
    expect_error([](auto n) { return n(1e-300) * 1e-300; }, 0, "underflow to 0");
    expect_error([](auto n) { return n(DBL_MIN) / 3.0; }, 0, "subnormal");
    expect_error([](auto n) { return n(DBL_MAX) - DBL_MAX * 0.5; }, 0, "at the limit");
}

// One test covers a plate's y and x because the equilibrium statement turns
// any non-finite y into a non-finite x, whatever the (finite) volatility.
TEST(Fp, EquilibriumLiquidOfANonFiniteVapourIsNotFinite) {
    for (const double alpha : {1.0, 2.5, 0.5, 0.0, -3.0, 1e300, -DBL_MAX, DBL_MIN}) {
        for (const double y : {kInf, -kInf, kNaN}) {
            EXPECT_FALSE(std::isfinite(y / (alpha - (alpha - 1.0) * y))) << alpha << ' ' << y;
        }
    }
}

TEST(Fp, StatementsOfOnePlateReportTheFirstFailure) {
    const auto y_of = [](double y0) { return [y0](auto n) { return n(y0) * 1.0; }; };
    const auto x_of = [](double y) { return [y](auto n) { return n(1.0) / (n(y) - y); }; };
    // y fails: its error, not x's, is raised.
    EXPECT_EQ(error_of([&] { store_in_turn([](auto n) { return n(1.0) / 0.0; }, x_of, "y", "x", 2); }), 11);
    EXPECT_EQ(error_of([&] { store_in_turn([](auto n) { return n(0.0) / 0.0; }, x_of, "y", "x", 2); }), 6);
    // y is fine, x divides by zero.
    EXPECT_EQ(error_of([&] { store_in_turn(y_of(0.5), x_of, "y", "x", 2); }), 11);
    const auto fine = store_in_turn(y_of(0.5), [](double y) { return [y](auto n) { return n(y) * 2.0; }; },
                                    "y", "x", 2);
    EXPECT_EQ(fine.first, 0.5);
    EXPECT_EQ(fine.second, 1.0);
}

}  // namespace
}  // namespace veltrano::calc
