#include "veltrano/calc/profile.h"

#include <cstdint>
#include <string>

#include "veltrano/calc/errors.h"

namespace veltrano::calc {

std::size_t Profile::checked(ShortInt index) {
    const auto slot = static_cast<std::uint16_t>(index.value());
    if (slot >= kSlots) {
        throw RunError(ErrorNumber::SubscriptOutOfRange,
                       "塔板序号 " + std::to_string(index.value()) + " 不在 0 至 30 之内");
    }
    return slot;
}

}  // namespace veltrano::calc
