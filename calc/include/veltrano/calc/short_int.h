// The 16-bit signed integer that counts plates: every addition and
// subtraction is checked at the limits and raises error 6 when it leaves them.
#pragma once

#include <cstdint>

namespace veltrano::calc {

class ShortInt {
public:
    constexpr ShortInt() = default;
    constexpr explicit ShortInt(std::int16_t value) : value_(value) {}

    constexpr std::int16_t value() const { return value_; }

    // The sum or difference is exact in int; only its range needs checking.
    friend ShortInt operator+(ShortInt a, ShortInt b) {
        return narrow(int{a.value_} + int{b.value_}, '+', a.value_, b.value_);
    }
    friend ShortInt operator-(ShortInt a, ShortInt b) {
        return narrow(int{a.value_} - int{b.value_}, '-', a.value_, b.value_);
    }
    friend constexpr bool operator==(ShortInt a, ShortInt b) { return a.value_ == b.value_; }

private:
    static ShortInt narrow(int wide, char op, int a, int b) {
        if (wide < INT16_MIN || wide > INT16_MAX) overflow(op, a, b);
        return ShortInt(static_cast<std::int16_t>(wide));
    }
    [[noreturn]] static void overflow(char op, int a, int b);

    std::int16_t value_ = 0;
};

}  // namespace veltrano::calc
