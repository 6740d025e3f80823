// Owned GDI and USER handles, as com_ref.h owns COM references.
//
// The rules they keep, written once here:
//  - A handle that a Create, Load or Get call hands us is freed exactly once,
//    by the call that matches how it was made: DeleteObject for a font,
//    DestroyIcon for an icon from LoadImage (never LR_SHARED), ReleaseDC for
//    the screen's DC from GetDC, DestroyWindow for a window.
//  - A stock object (GetStockObject) is the system's; DeleteObject ignores
//    it, so a font that fell back to the stock one is held like any other.
//  - A handle lent to a window (WM_SETFONT, WM_SETICON) stays ours: the new
//    one is lent before the old one's owner lets it go.
#pragma once

#include <windows.h>

#include "veltrano/core/owned.h"

namespace veltrano::gui::win32 {

struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
struct DestroyIconHandle {
    void operator()(HICON icon) const noexcept { DestroyIcon(icon); }
};
struct DestroyWindowHandle {
    void operator()(HWND window) const noexcept { DestroyWindow(window); }
};
struct ReleaseScreenDC {
    void operator()(HDC dc) const noexcept { ReleaseDC(nullptr, dc); }
};

using Font = core::Owned<HFONT, DeleteGdiObject>;
using Icon = core::Owned<HICON, DestroyIconHandle>;
using Window = core::Owned<HWND, DestroyWindowHandle>;
// The whole screen's device context, GetDC(nullptr).
using ScreenDC = core::Owned<HDC, ReleaseScreenDC>;

}  // namespace veltrano::gui::win32
