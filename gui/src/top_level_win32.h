// What every top-level window of the program does alike: where it opens
// beside the main window, and the program's icon at the sizes of its title
// bar and task switcher.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "win32_handles.h"

namespace veltrano::gui::win32 {

// Registers the window class `name` of this program with `procedure`, the
// arrow cursor and `background` (none: the window paints all of itself),
// once: a class registered before is left as it is. False when it cannot be.
bool register_class_once(const wchar_t* name, WNDPROC procedure, UINT style, HBRUSH background);

// The object a window of ours was made for: CreateWindowExW's last
// argument, kept in the window's GWLP_USERDATA from WM_NCCREATE on. Null
// for the messages before it, and once WM_NCDESTROY has cleared it.
template <class Owner>
Owner* window_owner(HWND window, UINT message, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
    }
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The main window of this thread: the active one when a command runs, else
// the first visible top-level window that is not `self`.
HWND main_window(HWND self);

// Where a window of `size` opens: to the right of `main`, else to its left,
// else at the right edge of the work area; its top level with the main
// window's as far as the work area allows. CW_USEDEFAULT without `main`.
POINT beside(HWND main, SIZE size, UINT dpi);

// The program's icon resource `name` at the sizes of the title bar and the
// task switcher at `dpi`, lent to `window`; `big` and `little` keep them
// (the ones they held before go once the window shows the new ones).
void set_icons(HWND window, std::string_view name, UINT dpi, Icon& big, Icon& little);

// A modal error box over `owner`, titled with the program's name, its
// button in the window's language where the system has it.
void error_box(HWND owner, const std::wstring& text);

}  // namespace veltrano::gui::win32
