// Top-level windows beside the main window whose controls the keyboard
// moves between as in a dialog: Tab and Shift+Tab in creation order, arrow
// keys within a group of radio buttons, Esc as IDCANCEL, Enter on a focused
// push button pressing it. Every message loop of the program hands its
// messages here first, as the dialog manager wants for a modeless window.
#pragma once

#include <windows.h>

namespace veltrano::gui::win32 {

// `window` takes the dialog manager's keys until it is let go (at the
// latest when it is destroyed).
void take_dialog_keys(HWND window);
void let_go_dialog_keys(HWND window);

// Whether `msg` was for one of those windows and has been handled.
bool modeless_keys(MSG& msg);

}  // namespace veltrano::gui::win32
