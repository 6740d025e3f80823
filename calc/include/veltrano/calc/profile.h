// A composition profile: one double per plate, indexed 0..30 by plate number
// from the top. Index 0 is never a plate; it stays 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "veltrano/calc/short_int.h"

namespace veltrano::calc {

class Profile {
public:
    static constexpr std::size_t kSlots = 31;

    // Both raise error 9 before touching the element when the index lies
    // outside 0..30. The index is taken as unsigned, so -1 fails as 65535.
    double get(ShortInt index) const { return slots_[checked(index)]; }
    void set(ShortInt index, double value) { slots_[checked(index)] = value; }

    // Unchecked view for readers outside the calculation (tests, tables).
    const std::array<double, kSlots>& slots() const { return slots_; }

private:
    static std::size_t checked(ShortInt index) {
        const auto slot = static_cast<std::uint16_t>(index.value());
        if (slot >= kSlots) out_of_range(index);
        return slot;
    }
    [[noreturn]] static void out_of_range(ShortInt index);

    std::array<double, kSlots> slots_{};  // zero-filled
};

}  // namespace veltrano::calc
