// The form runtime: shows one window built from its description and runs the
// desktop's event loop. One implementation per desktop.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "veltrano/command/fields.h"
#include "veltrano/command/form.h"

namespace veltrano::gui {

// What a click on the form's button does. It runs inside the click, on the
// one user-interface thread, with the window's text boxes. A RunError it
// raises ends the click only: the runtime reports it in a modal message box
// and the window carries on as it stands.
using ClickHandler = std::function<void(command::Fields&)>;

// A command of the window beyond its controls, which leaves the controls,
// the window's size and its tab order as they are: in the context menu of
// the window's background (a right-click outside the text boxes) and on
// Windows in the window's system menu, each with its function key.
struct WindowCommand {
    std::string text;      // "塔板图…"; menus add the key after a tab
    int function_key = 0;  // 2 for F2
    std::function<void()> run;
};

// Creates and shows `form`, then runs the event loop until the window is
// closed; closing it ends the program, whatever other windows are open.
// Returns the process exit status.
int run_form(int argc, char** argv, const command::Form& form, ClickHandler on_click,
             std::vector<WindowCommand> commands = {});

}  // namespace veltrano::gui
