// Text between the program's UTF-8 and the UTF-16 of the Windows API.
#pragma once

#include <string>
#include <string_view>

namespace veltrano::core {

// A byte that is not UTF-8, or half of a surrogate pair, becomes U+FFFD.
std::wstring to_utf16(std::string_view text);
std::string to_utf8(std::wstring_view text);

}  // namespace veltrano::core
