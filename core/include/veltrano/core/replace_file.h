// Writing a whole file or nothing.
#pragma once

#include <string>
#include <string_view>

namespace veltrano::core {

// Writes `content` to a new file beside `path` (UTF-8) and renames it over
// `path`, so that a reader never sees half a file and a failure leaves what
// was there before. On failure the new file is removed and `why` says what
// went wrong; returns false.
bool replace_file(const std::string& path, std::string_view content, std::string& why);

}  // namespace veltrano::core
