#include "veltrano/testkit/form_pixels.h"

#include <stdexcept>

namespace veltrano::testkit {

const std::map<std::string_view, PixelRect>& main_form_pixels(int dpi) {
    static const std::map<std::string_view, PixelRect> at_96 = {
        {"Label1", {16, 16, 89, 17}},    {"Line1", {8, 40, 480, 1}},      {"Label2", {24, 64, 65, 17}},
        {"Text1", {88, 56, 81, 25}},     {"Label3", {176, 64, 41, 17}},   {"Label10", {280, 56, 97, 25}},
        {"Text7", {384, 48, 81, 25}},    {"Label6", {48, 96, 41, 17}},    {"Text4", {104, 88, 57, 25}},
        {"Label4", {280, 96, 89, 17}},   {"Text2", {384, 88, 81, 25}},    {"Label7", {32, 128, 73, 25}},
        {"Text5", {112, 128, 73, 25}},   {"Label5", {288, 136, 89, 17}},  {"Text3", {384, 128, 81, 25}},
        {"Line2", {8, 168, 472, 1}},     {"Label8", {16, 184, 73, 17}},   {"Command1", {128, 184, 73, 25}},
        {"Line3", {8, 216, 480, 1}},     {"Label9", {32, 240, 57, 17}},   {"Text6", {96, 232, 65, 25}},
        {"Label11", {192, 240, 57, 25}}, {"Text8", {256, 232, 65, 25}},
    };
    // 1335 twips are 133.5 pixels here: the half rounds up.
    static const std::map<std::string_view, PixelRect> at_144 = {
        {"Label1", {24, 24, 134, 26}},   {"Line1", {12, 60, 720, 1}},     {"Label2", {36, 96, 98, 26}},
        {"Text1", {132, 84, 122, 38}},   {"Label3", {264, 96, 62, 26}},   {"Label10", {420, 84, 146, 38}},
        {"Text7", {576, 72, 122, 38}},   {"Label6", {72, 144, 62, 26}},   {"Text4", {156, 132, 86, 38}},
        {"Label4", {420, 144, 134, 26}}, {"Text2", {576, 132, 122, 38}},  {"Label7", {48, 192, 110, 38}},
        {"Text5", {168, 192, 110, 38}},  {"Label5", {432, 204, 134, 26}}, {"Text3", {576, 192, 122, 38}},
        {"Line2", {12, 252, 708, 1}},    {"Label8", {24, 276, 110, 26}},  {"Command1", {192, 276, 110, 38}},
        {"Line3", {12, 324, 720, 1}},    {"Label9", {48, 360, 86, 26}},   {"Text6", {144, 348, 98, 38}},
        {"Label11", {288, 360, 86, 38}}, {"Text8", {384, 348, 98, 38}},
    };
    if (dpi == 96) return at_96;
    if (dpi == 144) return at_144;
    throw std::invalid_argument("no pixel table for this DPI");
}

}  // namespace veltrano::testkit
