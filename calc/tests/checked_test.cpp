// The checked types at their limits, and the derived floating-point flags
// against what the processor itself raises for the same operation.
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <limits>
#include <type_traits>
#include <utility>

#include <gtest/gtest.h>

#include "veltrano/calc/checked_double.h"
#include "veltrano/calc/errors.h"
#include "veltrano/calc/profile.h"
#include "veltrano/calc/short_int.h"
#include "veltrano/testkit/expect_run_error.h"

namespace veltrano::calc {
namespace {


constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ShortInt, ChecksEveryAdditionAndSubtractionAtTheLimits) {
    struct Case { int a, b; char op; int error; };
    const Case cases[] = {
        {32766, 1, '+', 0},  {32767, 1, '+', 6},      {32767, -32768, '+', 0},
        {-32768, -1, '+', 6}, {-32767, 1, '-', 0},    {-32768, 1, '-', 6},
        {32767, -1, '-', 6},  {0, -32768, '-', 6},    {-1, -32768, '-', 0},
    };
    for (const auto& c : cases) {
        const ShortInt a(static_cast<std::int16_t>(c.a)), b(static_cast<std::int16_t>(c.b));
        int value = 0;
        const int error = testkit::raised_by([&] { value = (c.op == '+' ? a + b : a - b).value(); }).number;
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
        EXPECT_RUN_ERROR(p.set(i, 1.0), 9, "塔板序号 " + std::to_string(index) + " 不在 0 至 30 之内") << index;
        EXPECT_RUN_ERROR(p.get(i), 9, "") << index;
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

TEST(Pending, RaisesTheFlagsTheProcessorRaises) {
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
        const Checked a(c.a), b(c.b);
        const Pending r = c.op == '+' ? a + b : c.op == '-' ? a - b : c.op == '*' ? a * b : a / b;
        EXPECT_EQ(r.flags(), c.flags) << c.a << ' ' << c.op << ' ' << c.b;
        EXPECT_EQ(r.flags(), hardware_flags(c.a, c.b, c.op)) << c.a << ' ' << c.op << ' ' << c.b;
    }
}

// No spelling of a formula leaves the checks: a statement's value reaches a
// double or a stored quantity only through store(), cannot be compared
// before it, and a plain number mixed in makes a checked operation.
template <class A, class B, class = void>
struct Comparable : std::false_type {};
template <class A, class B>
struct Comparable<A, B, std::void_t<decltype(std::declval<A>() > std::declval<B>())>>
    : std::true_type {};
static_assert(!std::is_convertible_v<Pending, double>);
static_assert(!std::is_convertible_v<Checked, double>);
static_assert(!std::is_convertible_v<Pending, Checked>);
static_assert(!Comparable<Pending, Checked>::value && !Comparable<double, Pending>::value);
static_assert(Comparable<Checked, double>::value);
static_assert(std::is_same_v<decltype(Checked(1) + 1.0), Pending>);
static_assert(std::is_same_v<decltype(2.0 / Checked(1)), Pending>);
static_assert(std::is_same_v<decltype(Checked(1) * Checked(1)), Pending>);
static_assert(std::is_same_v<decltype(1.0 - Checked(1) * 2.0), Pending>);
static_assert(std::is_same_v<decltype(store(Checked(1) - 1.0, "q")), Checked>);

int error_of_store(Pending statement) {
    return testkit::raised_by([&] { store(statement, "q"); }).number;
}

TEST(Pending, StoreReportsDivisionByZeroAheadOfTheOtherFlags) {
    const Checked one = 1.0, big = DBL_MAX;
    // A term computed ahead of its statement: its infinity vanishes, its flag stays.
    const Pending ahead = one / 0.0;
    struct Case { const char* why; Pending statement; int error; };
    const Case cases[] = {
        // R = -1 in the rectifying line: -1/0 and 1/0 give -inf + inf, so the
        // statement raises division by zero and invalid together.
        {"R = -1", (Checked(-1.0) / 0.0) * 0.5 + Checked(0.95) / 0.0, 11},
        {"0 / 0", Checked(0.0) / 0.0, 6},
        {"overflow", big * 10.0, 6},
        // Overflow first, then an exact division by the resulting infinity: the
        // stored value is finite but the statement still fails.
        {"1 / -inf", one / (2.0 - big * 4.0), 6},
        {"lost infinity under later operations", (one / (big + DBL_MAX)) * 3.0 + 1.0, 6},
        {"1 / (1 / 0)", one / (one / 0.0), 11},
        {"term computed ahead", 2.0 / ahead + one, 11},
        {"underflow to 0", Checked(1e-300) * 1e-300, 0},
        {"subnormal", Checked(DBL_MIN) / 3.0, 0},
        {"at the limit", big - DBL_MAX * 0.5, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of_store(c.statement), c.error) << c.why;
}

}  // namespace
}  // namespace veltrano::calc
