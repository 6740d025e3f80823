// The Win32 workbench's own conventions, for the window and for the programs
// that drive it from outside (the window tests, the timing tool).
#pragma once

#include <string_view>

namespace veltrano::gui {

// The child-window identifier of the workbench control `name` (as
// command::workbench_layout() names it: "F", "result_stages", "mixture",
// "diagram"…): 100 plus its place in the layout, or 0 when there is none.
// Well clear of IDOK and IDCANCEL, which Enter and Esc send to the window.
int win32_workbench_control_id(std::string_view name);

}  // namespace veltrano::gui
