// The user's number separators on Windows. Until the Windows window asks the
// system for them, the C locale's "." and no grouping apply.
#include "veltrano/platform/number_text.h"

namespace veltrano::platform {

NumberFormat user_number_format() { return NumberFormat{}; }

}  // namespace veltrano::platform
