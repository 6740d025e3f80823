#include "veltrano/calc/checked_double.h"

#include <string>

#include "veltrano/calc/errors.h"

namespace veltrano::calc {

void raise_stored(unsigned flags, const char* what, int plate) {
    const auto number = (flags & kFpDivByZero) != 0 ? kDivisionByZero
                                                     : core::kOverflow;
    const char* cause = (flags & kFpDivByZero) != 0 ? "除数为零"
                        : (flags & kFpInvalid) != 0 ? "无效运算（如 0 ÷ 0）"
                                                    : "结果超出双精度范围";
    const std::string quantity =
        plate > 0 ? "第 " + std::to_string(plate) + " 块板的" + what : std::string(what);
    throw core::RunError(number, "计算" + quantity + " 时" + cause);
}

}  // namespace veltrano::calc
