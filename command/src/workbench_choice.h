// What the workbench's list has chosen, for the calculation behind it.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "veltrano/command/workbench.h"

namespace veltrano::command {

// The pair of list item `item` (1-based among the pairs) by the table's
// English names, light first; none for any other item.
std::optional<std::pair<std::string, std::string>> chosen_pair(int item);
// The user's points are the list's choice.
bool chose_data_file(const WorkbenchState& state);

}  // namespace veltrano::command
