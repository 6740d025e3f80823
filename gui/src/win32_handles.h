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
//  - A memory DC goes before the bitmap selected into it (DeleteDC lets the
//    bitmap go), so a holder of both declares the bitmap first.
//  - Memory handed to the clipboard (SetClipboardData) is the system's from
//    then on: the holder lets it go with release().
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
struct DeleteMemoryDC {
    void operator()(HDC dc) const noexcept { DeleteDC(dc); }
};
struct DestroyMenuHandle {
    void operator()(HMENU menu) const noexcept { DestroyMenu(menu); }
};
struct FreeGlobal {
    void operator()(HGLOBAL memory) const noexcept { GlobalFree(memory); }
};
struct ReleaseScreenDC {
    void operator()(HDC dc) const noexcept { ReleaseDC(nullptr, dc); }
};

using Font = core::Owned<HFONT, DeleteGdiObject>;
using Icon = core::Owned<HICON, DestroyIconHandle>;
using Window = core::Owned<HWND, DestroyWindowHandle>;
using Bitmap = core::Owned<HBITMAP, DeleteGdiObject>;
using Brush = core::Owned<HBRUSH, DeleteGdiObject>;
using MemoryDC = core::Owned<HDC, DeleteMemoryDC>;
using Menu = core::Owned<HMENU, DestroyMenuHandle>;
using Global = core::Owned<HGLOBAL, FreeGlobal>;
// The whole screen's device context, GetDC(nullptr).
using ScreenDC = core::Owned<HDC, ReleaseScreenDC>;

}  // namespace veltrano::gui::win32
