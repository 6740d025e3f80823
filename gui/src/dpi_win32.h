// The DPI a window is shown at, per monitor, and the geometry that depends
// on it. The per-monitor functions of Windows 10 (1607 and later) are looked
// up at run time so that the program still starts on earlier systems, which
// are given the system DPI instead.
#pragma once

#include <windows.h>

#include "win32_handles.h"

namespace veltrano::gui::win32 {

// The DPI of the monitor `window` is on.
UINT window_dpi(HWND window);

// The DPI of the primary monitor, before there is a window.
UINT initial_dpi();

// Device pixels of `dips` device-independent pixels (1/96 inch) at `dpi`.
int device(double dips, UINT dpi);

// GetSystemMetrics(`index`) at `dpi`.
int metric_for_dpi(int index, UINT dpi);

// The outer size of a window whose client area is `width` x `height` pixels.
SIZE frame_size(int width, int height, DWORD style, DWORD ex_style, UINT dpi);

// Whether the screen point of a WM_CONTEXTMENU lies in `window`'s client
// area; the keyboard's (-1) counts as in it.
bool in_client_area(HWND window, LPARAM at);

// The system's message font (the one message boxes use) at `dpi`: on a
// Chinese system a CJK face, elsewhere one the system links CJK glyphs to.
Font message_font(UINT dpi);

}  // namespace veltrano::gui::win32
