// What the workbench keeps between runs for its user: text values under
// HKEY_CURRENT_USER\Software\Veltrano\Workbench, written by the program
// alone (the installer leaves them to the user).
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace veltrano::gui::win32 {

// The text kept under `name`, when it is there as text.
std::optional<std::string> read_setting(const std::string& name);

// Keeps every value; the system's error code when one could not be kept.
LSTATUS write_settings(const std::map<std::string, std::string>& values);

}  // namespace veltrano::gui::win32
