// The run-time errors of the arithmetic. Every checked statement raises one
// of these, or the overflow error 6 (core::kOverflow) when a short integer
// leaves its range or a floating-point statement is invalid or overflows.
#pragma once

#include "veltrano/core/run_error.h"

namespace veltrano::calc {

// A profile index outside 0..30: the column needs more than 30 plates, or a
// section never reaches its end composition.
inline constexpr core::ErrorKind kSubscriptOutOfRange{9, "下标越界"};

// A floating-point statement divided a non-zero value by zero.
inline constexpr core::ErrorKind kDivisionByZero{11, "除数为零"};

}  // namespace veltrano::calc
