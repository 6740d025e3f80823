// The workbench's diagram area: a child window that paints the last good
// picture, fitted to its size (workbench_scene), with GDI+ into a back
// buffer that it copies onto the screen, dimmed under a note while the
// inputs are in error. GDI+ starts when the area is made.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>

#include "picture_win32.h"
#include "veltrano/diagram/paint_gdiplus.h"
#include "veltrano/diagram/scene.h"

namespace veltrano::gui::win32 {

class PictureArea {
public:
    PictureArea() = default;
    PictureArea(const PictureArea&) = delete;
    PictureArea& operator=(const PictureArea&) = delete;

    // The area as the child `id` of `parent`; false when the window cannot
    // be made. A GDI+ that does not start is said in an error box: the area
    // then stays white and the rest of the workbench works.
    bool create(HWND parent, int id, const RECT& where, UINT dpi);

    HWND hwnd() const { return window_; }
    void set_dpi(UINT dpi);

    // A fresh picture to show; the one shown, dimmed under a note, once the
    // inputs have failed since. Repainted at once.
    void show(std::shared_ptr<const diagram::Scene> picture);
    void dim();
    const diagram::Scene* picture() const { return picture_.get(); }

    // The back buffer as it is on the screen, painted first if need be;
    // null when there is no room for it.
    const Canvas* pixels();
    // The same, painted finely if it holds a draft: what is saved and copied.
    const Canvas* fine_pixels();

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void paint();
    void changed();
    void paint_canvas(int width, int height, bool draft);

    std::unique_ptr<diagram::GdiplusSession> gdiplus_;
    std::unique_ptr<diagram::GdiplusPainter> painter_;  // inside the session
    Canvas canvas_;
    bool repaint_ = true;  // the canvas no longer shows the picture
    // The canvas holds a draft (see GdiplusPainter::paint): painted finely
    // once no new picture has come for kRefineAfter.
    bool draft_ = false;
    bool typing_ = false;  // a picture came since the last fine painting
    std::optional<diagram::GdiplusFailure> failure_;
    std::shared_ptr<const diagram::Scene> picture_;
    bool stale_ = false;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    HWND window_ = nullptr;  // a child: its parent destroys it
};

}  // namespace veltrano::gui::win32
