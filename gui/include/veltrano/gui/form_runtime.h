// The form runtime: shows one window built from its description and runs the
// desktop's event loop. One implementation per desktop.
#pragma once

#include <functional>

#include "veltrano/command/fields.h"
#include "veltrano/command/form.h"

namespace veltrano::gui {

// What a click on the form's button does. It runs inside the click, on the
// one user-interface thread, with the window's text boxes. A RunError it
// raises ends the click only: the runtime reports it in a modal message box
// and the window carries on as it stands.
using ClickHandler = std::function<void(command::Fields&)>;

// Creates and shows `form`, then runs the event loop until the window is
// closed. Returns the process exit status.
int run_form(int argc, char** argv, const command::Form& form, ClickHandler on_click);

}  // namespace veltrano::gui
