// What a user hears and reads about each control of the main window: the
// name a screen reader says for it and what its tooltip must tell, for the
// tests of each desktop's window.
#pragma once

#include <string_view>
#include <vector>

namespace veltrano::testkit {

struct ControlHelp {
    std::string_view control;  // "Text3"
    std::string_view name;     // its caption, as a screen reader names it
    // Phrases its tooltip holds: the symbol first, then the meaning, the
    // unit and the physical range, or for the results how they are counted.
    std::vector<std::string_view> says;
};

// The eight text boxes and the button, in tab order.
inline const std::vector<ControlHelp>& main_form_help() {
    static const std::vector<ControlHelp> help = {
        {"Text1", "进料流率F", {"F：", "进料流率", "kmol/h", "F > 0"}},
        {"Text2", "馏出组分摩尔比", {"xD：", "馏出液", "摩尔分数", "xF < xD < 1"}},
        {"Text3", "回流组分摩尔比", {"xW：", "塔底产品（釜液）", "摩尔分数", "0 < xW < xF"}},
        {"Text4", "回流比", {"R：", "L/D", "R > 0"}},
        {"Text5", "相对挥发度", {"α：", "α > 1"}},
        {"Text6", "塔板数", {"再沸器", "第 1 块是塔顶板", "至少为 3", "最多 30 块", "错误 9"}},
        {"Command1", "计算", {"逐板计算", "电子表格"}},
        {"Text7", "进料组分摩尔比", {"xF：", "摩尔分数", "xW < xF < xD", "泡点液体"}},
        {"Text8", "进料板", {"不高于 xF", "泡点液体", "至少是第 2 块"}},
    };
    return help;
}

}  // namespace veltrano::testkit
