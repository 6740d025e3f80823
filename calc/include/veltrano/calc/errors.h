// The run-time errors of the arithmetic. Every checked statement raises one
// of these, or the overflow error 6 (core::kOverflow) when a short integer
// leaves its range or a floating-point statement is invalid or overflows.
#pragma once

#include "veltrano/core/run_error.h"

namespace veltrano::calc {

// A design input that breaks a physical rule (a composition outside 0 to 1,
// reflux at or below the minimum), or a column that would need more stages
// than any design asks for.
inline constexpr core::ErrorKind kInvalidArgument{5, "无效的过程调用或参数"};

// A profile index outside 0..30: the column needs more than 30 plates, or a
// section never reaches its end composition.
inline constexpr core::ErrorKind kSubscriptOutOfRange{9, "下标越界"};

// A floating-point statement divided a non-zero value by zero.
inline constexpr core::ErrorKind kDivisionByZero{11, "除数为零"};

}  // namespace veltrano::calc
