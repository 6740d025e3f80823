// A picture painted with GDI+ and what a user does with it: the back buffer
// it is painted into, Save As (the SVG file the command line writes, or the
// window's pixels as PNG) and Copy (those pixels onto the clipboard). The
// diagram window and the workbench's diagram area share them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "veltrano/diagram/paint_gdiplus.h"
#include "win32_handles.h"

namespace veltrano::gui::win32 {

// The back buffer: a top-down 32-bit DIB section in a memory DC. The
// painter writes its bits; WM_PAINT copies them to the screen.
class Canvas {
public:
    bool fits(int width, int height) const { return dc_ && width_ == width && height_ == height; }

    // A buffer of that size, or none when the system has no room for it.
    bool make(int width, int height);
    void release();

    HDC dc() const { return dc_.get(); }
    diagram::PixelRows rows() const { return {bits_, width_, height_}; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    Bitmap bitmap_;  // declared before the DC, so the DC goes first
    MemoryDC dc_;
    std::uint32_t* bits_ = nullptr;
    int width_ = 0, height_ = 0;
};

// Where a picture comes from when it is saved or copied: its SVG document,
// and its pixels, painted on demand (null when there is no memory for them).
struct PictureSource {
    std::function<std::string()> svg;
    std::function<const Canvas*()> pixels;
};

// Asks for a file in the save dialog (SVG or PNG, `initial_name` proposed,
// `title` on the dialog) and writes the picture there whole or not at all;
// every failure is said in an error box over `owner`, and a file that was
// there stays as it was.
void save_picture(HWND owner, const std::wstring& initial_name, const std::wstring& title,
                  const PictureSource& source);

// The picture's pixels onto the clipboard as a device-independent bitmap;
// a failure is said in an error box over `owner`.
void copy_picture(HWND owner, const PictureSource& source);

}  // namespace veltrano::gui::win32
