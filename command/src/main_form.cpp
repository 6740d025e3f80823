#include "veltrano/command/main_form.h"

#include "veltrano/command/input_fields.h"

namespace veltrano::command {

namespace {
// An input field's label carries the caption the field is known by, and the
// field its tooltip.
constexpr std::string_view caption_of(std::string_view field) { return input_field(field).caption; }
constexpr std::string_view tooltip_of(std::string_view field) { return input_field(field).tooltip; }

// How the column is counted, where the user reads the two results.
constexpr std::string_view kPlateCountTooltip =
    "塔板数 N：自塔顶数起，含塔底的再沸器（塔釜）这一级；第 1 块是塔顶板，其蒸汽即馏出液。\n"
    "第 2 块板总要计算，所以 N 至少为 3；最多 30 块，需要更多时为错误 9。";
constexpr std::string_view kFeedPlateTooltip =
    "进料板：自塔顶数起，第一块液相组成不高于 xF 的板，进料为泡点液体（饱和液体）。\n"
    "第 2 块板总要计算，所以进料板至少是第 2 块。";
constexpr std::string_view kCalculateTooltip =
    "由六个已知数据逐板计算，写出塔板数和进料板，\n"
    "并把逐板的 x/y 表交给新打开的电子表格。";
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
            label("Label2", caption_of("Text1"), 360, 960, 975, 255, 1, "Text1"),
            text_box("Text1", 1320, 840, 1215, 375, 2, tooltip_of("Text1")),
            label("Label3", "kmol/h", 2640, 960, 615, 255, 3),
            label("Label10", caption_of("Text7"), 4200, 840, 1455, 375, 16, "Text7"),
            text_box("Text7", 5760, 720, 1215, 375, 17, tooltip_of("Text7")),
            label("Label6", caption_of("Text4"), 720, 1440, 615, 255, 8, "Text4"),
            text_box("Text4", 1560, 1320, 855, 375, 9, tooltip_of("Text4")),
            label("Label4", caption_of("Text2"), 4200, 1440, 1335, 255, 4, "Text2"),
            text_box("Text2", 5760, 1320, 1215, 375, 5, tooltip_of("Text2")),
            label("Label7", caption_of("Text5"), 480, 1920, 1095, 375, 10, "Text5"),
            text_box("Text5", 1680, 1920, 1095, 375, 11, tooltip_of("Text5")),
            label("Label5", caption_of("Text3"), 4320, 2040, 1335, 255, 6, "Text3"),
            text_box("Text3", 5760, 1920, 1215, 375, 7, tooltip_of("Text3")),
            // Shorter than the other two lines.
            line("Line2", {120, 2520}, {7200, 2520}),
            label("Label8", "计算结果", 240, 2760, 1095, 255, 12),
            // Tab index 15: the feed fraction Text7 (17) comes after the button.
            button("Command1", "计算", 1920, 2760, 1095, 375, 15, kCalculateTooltip),
            line("Line3", {120, 3240}, {7320, 3240}),
            label("Label9", "塔板数", 480, 3600, 855, 255, 13, "Text6"),
            text_box("Text6", 1440, 3480, 975, 375, 14, kPlateCountTooltip),
            label("Label11", "进料板", 2880, 3600, 855, 375, 18, "Text8"),
            text_box("Text8", 3840, 3480, 975, 375, 19, kFeedPlateTooltip),
        },
    };
    return form;
}

}  // namespace veltrano::command
