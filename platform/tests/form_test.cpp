// Twips to pixels and the tab order of a described window.
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/platform/form.h"

namespace veltrano::platform {
namespace {

TEST(TwipsToPixels, FifteenTwipsPerPixelAt96DpiScaledByTheScreensDpi) {
    struct Case { int twips; double dpi; int pixels; };
    const Case cases[] = {
        {7515, 96, 501}, {4605, 96, 307}, {255, 96, 17}, {0, 96, 0},
        {7, 96, 0},      {8, 96, 1},      // half a pixel rounds up
        {7515, 144, 752},                 // 751.5 at 150 %
        {375, 192, 50},  {-15, 96, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(twips_to_pixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi;
    }
}

TEST(TabOrder, VisitsFocusableControlsByTabIndexSkippingLabelsAndLines) {
    Form form;
    form.controls = {
        label("L", "x", 0, 0, 1, 1, 0), text_box("B", 0, 0, 1, 1, 5), line("Line", {0, 0}, {1, 0}),
        button("Go", "go", 0, 0, 1, 1, 3), text_box("A", 0, 0, 1, 1, 1),
    };
    std::vector<std::string_view> names;
    for (const Control* c : tab_order(form)) names.push_back(c->name);
    EXPECT_EQ(names, (std::vector<std::string_view>{"A", "Go", "B"}));
}

}  // namespace
}  // namespace veltrano::platform
