#include "veltrano/calc/short_int.h"

#include <string>

#include "veltrano/calc/errors.h"

namespace veltrano::calc {

void ShortInt::overflow(char op, int a, int b) {
    throw core::RunError(core::kOverflow, "整数运算 " + std::to_string(a) + " " + op + " " +
                                              std::to_string(b) + " 超出 -32768 至 32767");
}

}  // namespace veltrano::calc
