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
//  - Freeing comes before the owner forgets the handle, so a window being
//    destroyed is still known by its handle while it handles its last
//    messages; one that the system destroyed itself is forgotten with
//    release() (WM_NCDESTROY).
#pragma once

#include <windows.h>

#include <utility>

namespace veltrano::gui::win32 {

template <class Handle, class Free>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) noexcept : handle_(handle) {}
    Owned(Owned&& other) noexcept : handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }
    void reset(Handle handle = nullptr) noexcept {
        if (handle_ != nullptr) Free{}(handle_);
        handle_ = handle;
    }
    Handle release() noexcept { return std::exchange(handle_, nullptr); }

private:
    Handle handle_ = nullptr;
};

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

using Font = Owned<HFONT, DeleteGdiObject>;
using Icon = Owned<HICON, DestroyIconHandle>;
using Window = Owned<HWND, DestroyWindowHandle>;
// The whole screen's device context, GetDC(nullptr).
using ScreenDC = Owned<HDC, ReleaseScreenDC>;

}  // namespace veltrano::gui::win32
