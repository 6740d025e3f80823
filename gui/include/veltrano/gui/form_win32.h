// The Win32 form runtime's own conventions, for the runtime and for the
// programs that drive its window from outside (the window tests).
#pragma once

#include <cstddef>
#include <string_view>

#include "veltrano/command/form.h"

namespace veltrano::gui {

// The child-window identifier of a control: 100 plus its row in the form's
// table, or 0 when the form has no control of that name. Well clear of IDOK
// and IDCANCEL, which Enter and Esc in a text box send to the window.
int win32_control_id(const command::Form& form, std::string_view name);

// The system-menu identifier of the window command at `index` of those
// given to run_form: below the system's own (0xF000 and up) and a multiple
// of 16, as WM_SYSCOMMAND keeps only the upper twelve bits.
unsigned win32_system_command(std::size_t index);

}  // namespace veltrano::gui
