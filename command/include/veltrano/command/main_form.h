// The main window Form1 as data: every control with its caption, its place
// in twips and its tab index. Both desktops' windows are built from it.
#pragma once

#include "veltrano/command/form.h"

namespace veltrano::command {

const Form& main_form();

}  // namespace veltrano::command
