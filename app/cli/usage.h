// The help of veltrano-cli: every command and option, and how the column is
// counted, in the user's language.
#pragma once

#include <string_view>

#include "language.h"

namespace veltrano::app {

std::string_view usage(Language language);

}  // namespace veltrano::app
