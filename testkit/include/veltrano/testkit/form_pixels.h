// Where the main window's controls must lie on the screen, for the tests of
// each desktop's window.
#pragma once

#include <map>
#include <string_view>

#include "veltrano/command/form.h"

namespace veltrano::testkit {

struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const PixelRect& o) const {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

// Every control of the main window at 96 DPI, in client-area pixels, worked
// out by hand from the twips: 15 twips to the pixel, to the nearest pixel; a
// line covers its pixels from the first end up to, not including, the second.
const std::map<std::string_view, PixelRect>& main_form_pixels_at_96_dpi();

// The same rule at any DPI, from the control table.
PixelRect expected_pixels(const command::Control& control, double dpi);

}  // namespace veltrano::testkit
