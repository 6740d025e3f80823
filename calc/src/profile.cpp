#include "veltrano/calc/profile.h"

#include <string>

#include "veltrano/calc/errors.h"

namespace veltrano::calc {

void Profile::out_of_range(ShortInt index) {
    throw core::RunError(kSubscriptOutOfRange,
                   "塔板序号 " + std::to_string(index.value()) + " 不在 0 至 30 之内");
}

}  // namespace veltrano::calc
