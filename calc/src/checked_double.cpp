#include "veltrano/calc/checked_double.h"

#include <string>

#include "veltrano/calc/errors.h"

namespace veltrano::calc {

namespace {
[[noreturn]] void raise(unsigned flags, const std::string& what) {
    const auto number = (flags & kFpDivByZero) != 0 ? ErrorNumber::DivisionByZero
                                                     : ErrorNumber::Overflow;
    const char* cause = (flags & kFpDivByZero) != 0 ? "除数为零"
                        : (flags & kFpInvalid) != 0 ? "无效运算（如 0 ÷ 0）"
                                                    : "结果超出双精度范围";
    throw RunError(number, "计算" + what + " 时" + cause);
}
}  // namespace

double store(Fp result, const char* what) {
    if (result.flags() != 0) raise(result.flags(), what);
    return result.value();
}

double store(Fp result, const char* what, int plate) {
    if (result.flags() != 0) {
        raise(result.flags(), "第 " + std::to_string(plate) + " 块板的" + what);
    }
    return result.value();
}

}  // namespace veltrano::calc
