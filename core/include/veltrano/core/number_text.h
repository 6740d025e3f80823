// Number text as a user types it and as the program writes it back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "veltrano/core/run_error.h"

namespace veltrano::core {

// A field holds empty or non-numeric text.
inline constexpr ErrorKind kTypeMismatch{13, "类型不匹配"};

// The separators of the user's locale. Grouping is only allowed when the
// locale has a grouping mark, and only between complete groups of three.
struct NumberFormat {
    std::string decimal_point = ".";
    std::string grouping_mark;  // empty: no grouping accepted
};

// The separators of the user's locale as the operating system reports them.
// One implementation per desktop.
NumberFormat user_number_format();

// Text to double under `format`:
//   blanks, [+|-], digits with optional grouping, [decimal point digits],
//   [e|E [+|-] digits], blanks
// at least one digit before the exponent. Raises error 13 for empty or
// non-numeric text ("nan", "inf" and hexadecimal are not numbers here) and
// error 6 for a magnitude beyond the double range; a magnitude below it gives
// 0 or a subnormal value. The error's description names the field by its
// `caption` and, when given, the `symbol` of its quantity.
double text_to_double(std::string_view text, const NumberFormat& format,
                      std::string_view caption = {}, std::string_view symbol = {});

// Plain decimal digits, a minus sign first when negative.
std::string short_to_text(std::int16_t value);

// The shortest text that reads back to the same double (round-trip exact).
std::string double_to_text(double value);

// A value inside a sentence, rounded to `decimals` places: "78.04".
std::string decimals_text(double value, int decimals);

}  // namespace veltrano::core
