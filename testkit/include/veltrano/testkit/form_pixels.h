// Where the main window's controls must lie on the screen, for the tests of
// each desktop's window.
#pragma once

#include <map>
#include <string_view>

namespace veltrano::testkit {

struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const PixelRect& o) const {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

// Every control of the main window at 96 or 144 DPI, in client-area pixels,
// worked out by hand from the twips: 15 twips to the pixel at 96 DPI and 10
// at 144, to the nearest pixel with halves away from zero; a line covers its
// pixels from the first end up to, not including, the second.
const std::map<std::string_view, PixelRect>& main_form_pixels(int dpi);

}  // namespace veltrano::testkit
