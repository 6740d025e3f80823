// A window's tooltips: one tooltip control for the whole window with a tool
// for each control that says what it holds while the pointer rests on it.
// Help, not function: a system that cannot make the tooltip control still
// gets a working window without it (every call below then does nothing).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace veltrano::gui::win32 {

// The tooltip control of `owner`, which destroys it; null when there is none.
HWND create_tooltips(HWND owner);

// `control`, a child of `owner`, shows `text` (UTF-8; lines at "\n").
void add_tooltip(HWND tooltips, HWND owner, HWND control, std::string_view text);

// The text `control` shows from now on.
void set_tooltip(HWND tooltips, HWND owner, HWND control, std::string_view text);

// The tooltips in the window's font at `dpi`, wrapped at a width for it. A
// maximum width is also what makes the control break lines at "\n".
void size_tooltips(HWND tooltips, HFONT font, UINT dpi);

}  // namespace veltrano::gui::win32
