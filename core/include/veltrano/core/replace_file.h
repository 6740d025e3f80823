// Whole files: reading one, and writing one or nothing.
#pragma once

#include <string>
#include <string_view>

namespace veltrano::core {

// Writes `content` to a new file beside `path` (UTF-8) and renames it over
// `path`, so that a reader never sees half a file and a failure leaves what
// was there before. On failure the new file is removed and `why` says what
// went wrong; returns false.
bool replace_file(const std::string& path, std::string_view content, std::string& why);

// Reads the whole file `path` (UTF-8) into `content`. False, with `why`,
// when it cannot be opened or read, is a folder, or holds more than
// `most_bytes` (checked before reading, so a huge file costs nothing).
bool read_file(const std::string& path, std::size_t most_bytes, std::string& content, std::string& why);

}  // namespace veltrano::core
