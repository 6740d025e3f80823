#include "veltrano/testkit/form_pixels.h"

#include <algorithm>
#include <cstdlib>

namespace veltrano::testkit {

const std::map<std::string_view, PixelRect>& main_form_pixels_at_96_dpi() {
    static const std::map<std::string_view, PixelRect> pixels = {
        {"Label1", {16, 16, 89, 17}},    {"Line1", {8, 40, 480, 1}},      {"Label2", {24, 64, 65, 17}},
        {"Text1", {88, 56, 81, 25}},     {"Label3", {176, 64, 41, 17}},   {"Label10", {280, 56, 97, 25}},
        {"Text7", {384, 48, 81, 25}},    {"Label6", {48, 96, 41, 17}},    {"Text4", {104, 88, 57, 25}},
        {"Label4", {280, 96, 89, 17}},   {"Text2", {384, 88, 81, 25}},    {"Label7", {32, 128, 73, 25}},
        {"Text5", {112, 128, 73, 25}},   {"Label5", {288, 136, 89, 17}},  {"Text3", {384, 128, 81, 25}},
        {"Line2", {8, 168, 472, 1}},     {"Label8", {16, 184, 73, 17}},   {"Command1", {128, 184, 73, 25}},
        {"Line3", {8, 216, 480, 1}},     {"Label9", {32, 240, 57, 17}},   {"Text6", {96, 232, 65, 25}},
        {"Label11", {192, 240, 57, 25}}, {"Text8", {256, 232, 65, 25}},
    };
    return pixels;
}

PixelRect expected_pixels(const command::Control& c, double dpi) {
    const auto px = [dpi](int twips) { return command::twips_to_pixels(twips, dpi); };
    if (c.kind != command::ControlKind::Line) return {px(c.left), px(c.top), px(c.width), px(c.height)};
    const int x1 = px(c.from.x), y1 = px(c.from.y), x2 = px(c.to.x), y2 = px(c.to.y);
    return {std::min(x1, x2), std::min(y1, y2), std::max(1, std::abs(x2 - x1)), std::max(1, std::abs(y2 - y1))};
}

}  // namespace veltrano::testkit
