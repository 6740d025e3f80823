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

    friend ShortInt operator+(ShortInt a, ShortInt b);
    friend ShortInt operator-(ShortInt a, ShortInt b);
    friend constexpr bool operator==(ShortInt a, ShortInt b) { return a.value_ == b.value_; }

private:
    std::int16_t value_ = 0;
};

}  // namespace veltrano::calc
