// Twips to pixels at the screen's DPI.
#include <gtest/gtest.h>

#include "veltrano/command/form.h"

namespace veltrano::command {
namespace {

TEST(TwipsToPixels, FifteenTwipsPerPixelAt96DpiScaledByTheScreensDpi) {
    struct Case { int twips; double dpi; int pixels; };
    const Case cases[] = {
        {7515, 96, 501}, {4605, 96, 307}, {255, 96, 17}, {0, 96, 0},
        {7, 96, 0},      {8, 96, 1},      // to the nearest pixel
        {7515, 144, 752},                 // 751.5 at 150 %: half rounds up
        {375, 192, 50},  {-15, 96, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(twips_to_pixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi;
    }
}

}  // namespace
}  // namespace veltrano::command
