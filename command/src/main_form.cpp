#include "veltrano/command/main_form.h"

#include "veltrano/command/input_fields.h"

namespace veltrano::command {

namespace {
// An input field's label carries the caption the field is known by.
constexpr std::string_view caption_of(std::string_view field) { return input_field(field).caption; }
}  // namespace

const Form& main_form() {
    // Top to bottom: the input area, the command area and the result area,
    // split by three lines. The text boxes are numbered out of role order:
    // Text7 holds xF, Text3 xW, Text6 the plate count, Text8 the feed plate.
    static const Form form{
        "Form1",
        "Veltrano-未考虑压力和温度 v1.0",
        7515,
        4605,
        "veltrano",
        {
            label("Label1", "已知数据输入：", 240, 240, 1335, 255, 0),
            line("Line1", {120, 600}, {7320, 600}),
            label("Label2", caption_of("Text1"), 360, 960, 975, 255, 1),
            text_box("Text1", 1320, 840, 1215, 375, 2),
            label("Label3", "kmol/h", 2640, 960, 615, 255, 3),
            label("Label10", caption_of("Text7"), 4200, 840, 1455, 375, 16),
            text_box("Text7", 5760, 720, 1215, 375, 17),
            label("Label6", caption_of("Text4"), 720, 1440, 615, 255, 8),
            text_box("Text4", 1560, 1320, 855, 375, 9),
            label("Label4", caption_of("Text2"), 4200, 1440, 1335, 255, 4),
            text_box("Text2", 5760, 1320, 1215, 375, 5),
            label("Label7", caption_of("Text5"), 480, 1920, 1095, 375, 10),
            text_box("Text5", 1680, 1920, 1095, 375, 11),
            label("Label5", caption_of("Text3"), 4320, 2040, 1335, 255, 6),
            text_box("Text3", 5760, 1920, 1215, 375, 7),
            // Shorter than the other two lines.
            line("Line2", {120, 2520}, {7200, 2520}),
            label("Label8", "计算结果", 240, 2760, 1095, 255, 12),
            // Tab index 15: the feed fraction Text7 (17) comes after the button.
            button("Command1", "计算", 1920, 2760, 1095, 375, 15),
            line("Line3", {120, 3240}, {7320, 3240}),
            label("Label9", "塔板数", 480, 3600, 855, 255, 13),
            text_box("Text6", 1440, 3480, 975, 375, 14),
            label("Label11", "进料板", 2880, 3600, 855, 375, 18),
            text_box("Text8", 3840, 3480, 975, 375, 19),
        },
    };
    return form;
}

}  // namespace veltrano::command
