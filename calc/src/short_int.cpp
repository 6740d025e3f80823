#include "veltrano/calc/short_int.h"

#include <string>

#include "veltrano/calc/errors.h"

namespace veltrano::calc {

namespace {
// The sum or difference is exact in int; only its range needs checking.
ShortInt narrow(int wide, const char* op, int a, int b) {
    if (wide < INT16_MIN || wide > INT16_MAX) {
        throw RunError(ErrorNumber::Overflow, "整数运算 " + std::to_string(a) + " " + op + " " +
                                                  std::to_string(b) + " 超出 -32768 至 32767");
    }
    return ShortInt(static_cast<std::int16_t>(wide));
}
}  // namespace

ShortInt operator+(ShortInt a, ShortInt b) {
    return narrow(int{a.value_} + int{b.value_}, "+", a.value_, b.value_);
}

ShortInt operator-(ShortInt a, ShortInt b) {
    return narrow(int{a.value_} - int{b.value_}, "-", a.value_, b.value_);
}

}  // namespace veltrano::calc
