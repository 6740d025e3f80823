// What the diagram window says and shows over a run of presses.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/calc/column.h"
#include "veltrano/diagram/diagrams.h"
#include "veltrano/diagram/svg.h"
#include "veltrano/diagram/window.h"

namespace veltrano::diagram {
namespace {

const calc::ColumnInputs kFirst{100, 0.5, 0.95, 0.05, 2, 2.5};
const calc::ColumnInputs kBottomsRicher{100, 0.5, 0.95, 0.6, 2, 2.5};  // computed as it stands

void press(DiagramView& view, const calc::ColumnInputs& in) {
    view.press_started();
    view.calculated(in, calc::calculate(in));
}
void failed_press(DiagramView& view, std::int32_t error) {
    view.press_started();
    view.failed(error);
}
void export_failed(DiagramView& view, const calc::ColumnInputs& in) {
    press(view, in);
    view.failed(429);
}

std::string all_text(const Node& n) {
    std::string s;
    for (const Run& r : n.runs) s += r.text;
    for (const Node& c : n.children) s += all_text(c) + "\n";
    return s;
}

TEST(DiagramView, SaysWhatThePressesLeft) {
    struct Case {
        const char* what;
        std::function<void(DiagramView&)> presses;
        const calc::ColumnInputs* shown;   // whose diagram, or none
        std::vector<std::string> notes;    // a piece of each note line, top first
    };
    const Case cases[] = {
        {"before any press: the hint", [](DiagramView&) {}, nullptr, {}},
        {"a press", [](DiagramView& v) { press(v, kFirst); }, &kFirst, {}},
        {"a failed press keeps the picture",
         [](DiagramView& v) { press(v, kFirst); failed_press(v, 13); }, &kFirst, {"（错误 13）；下图仍是上一次成功的计算"}},
        {"a failure before any picture", [](DiagramView& v) { failed_press(v, 11); }, nullptr, {"最近一次计算出错（错误 11）。"}},
        {"the next press clears the note",
         [](DiagramView& v) { failed_press(v, 13); press(v, kFirst); }, &kFirst, {}},
        {"a failed hand-over shows this press's column",
         [](DiagramView& v) { press(v, kFirst); export_failed(v, kBottomsRicher); }, &kBottomsRicher,
         {"交给电子表格时出错（错误 429）", "塔底组成 xW = 0.6 须小于进料组成 xF = 0.5"}},
        {"an unphysical column is marked", [](DiagramView& v) { press(v, kBottomsRicher); }, &kBottomsRicher,
         {"注意：塔底组成 xW = 0.6"}},
    };
    for (const Case& c : cases) {
        DiagramView view;
        c.presses(view);
        ASSERT_EQ(view.has_picture(), c.shown != nullptr) << c.what;
        const std::string svg = c.shown ? to_svg(staircase_diagram(*c.shown, calc::calculate(*c.shown))) : "";
        EXPECT_EQ(view.svg(), svg) << c.what;
        const std::vector<std::string> notes = view.notes();
        ASSERT_EQ(notes.size(), c.notes.size()) << c.what;
        for (std::size_t i = 0; i < notes.size(); ++i) EXPECT_NE(notes[i].find(c.notes[i]), std::string::npos) << c.what;
        const std::string shown = all_text(view.scene(kOpeningWidth, kOpeningHeight).root);
        for (const std::string& note : notes) EXPECT_NE(shown.find(note), std::string::npos) << c.what;
        EXPECT_EQ(shown.find("按“计算”") != std::string::npos, c.shown == nullptr) << c.what;
    }
}

// The unit square stays square, inside the window and below the notes, at any size.
TEST(DiagramView, PlacesThePlotInsideTheWindow) {
    DiagramView view;
    EXPECT_FALSE(view.window_point(kOpeningWidth, kOpeningHeight, 0, 0));
    press(view, kBottomsRicher);  // two warning lines above the picture
    for (const auto& [w, h] : {std::pair{kOpeningWidth, kOpeningHeight}, {2 * kOpeningWidth, 2 * kOpeningHeight},
                              {kLeastWidth, kLeastHeight}, {1600.0, 300.0}}) {
        const Pt low = *view.window_point(w, h, 0, 0), high = *view.window_point(w, h, 1, 1);
        EXPECT_NEAR(high.x.v - low.x.v, low.y.v - high.y.v, 1e-9) << w << "x" << h;
        EXPECT_GT(high.y.v, 2 * 20.0) << w << "x" << h;
        EXPECT_GT(high.x.v, low.x.v) << w << "x" << h;
        EXPECT_LT(high.x.v, w) << w << "x" << h;
        EXPECT_LT(low.y.v, h) << w << "x" << h;
    }
}

}  // namespace
}  // namespace veltrano::diagram
