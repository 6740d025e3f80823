// The Win32 form runtime's own conventions, for the runtime and for the
// programs that drive its window from outside (the window tests).
#pragma once

#include <string_view>

#include "veltrano/command/form.h"

namespace veltrano::gui {

// The child-window identifier of a control: 100 plus its row in the form's
// table, or 0 when the form has no control of that name. Well clear of IDOK
// and IDCANCEL, which Enter and Esc in a text box send to the window.
int win32_control_id(const command::Form& form, std::string_view name);

}  // namespace veltrano::gui
