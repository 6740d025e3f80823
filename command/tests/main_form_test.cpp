// The main window's control table: the facts both desktops' windows rely on.
#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/command/main_form.h"
#include "veltrano/testkit/form_help.h"

namespace veltrano::command {
namespace {


TEST(MainForm, HasEveryControlOnceInsideTheClientArea) {
    const Form& form = main_form();
    EXPECT_EQ(form.controls.size(), 23u);
    std::set<std::string_view> names;
    std::set<int> tab_indexes;
    for (const Control& c : form.controls) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_TRUE(names.insert(c.name).second) << "name used twice";
        if (c.kind == ControlKind::Line) {
            EXPECT_EQ(c.from.y, c.to.y) << "the separators are horizontal";
            EXPECT_LT(c.from.x, c.to.x);
            EXPECT_LE(c.to.x, form.client_width);
            continue;
        }
        EXPECT_TRUE(tab_indexes.insert(c.tab_index).second) << "tab index used twice";
        EXPECT_GE(c.left, 0);
        EXPECT_GE(c.top, 0);
        EXPECT_LE(c.left + c.width, form.client_width);
        EXPECT_LE(c.top + c.height, form.client_height);
        EXPECT_EQ(c.caption.empty(), c.kind == ControlKind::TextBox);
    }
    EXPECT_EQ(*tab_indexes.begin(), 0);
    EXPECT_EQ(*tab_indexes.rbegin(), 19);
    EXPECT_EQ(tab_indexes.size(), 20u);
}

TEST(MainForm, TabVisitsTheFeedFractionAfterTheButton) {
    std::vector<std::string_view> names;
    for (const Control* c : tab_order(main_form())) names.push_back(c->name);
    EXPECT_EQ(names, (std::vector<std::string_view>{"Text1", "Text2", "Text3", "Text4", "Text5",
                                                    "Text6", "Command1", "Text7", "Text8"}));
}

// A screen reader on Windows names a text box by the label just before it in
// z-order; the window creates its controls in tab order, so each box's label
// must come just before it there, without becoming a stop for Tab.
TEST(MainForm, EachTextBoxIsNamedByTheLabelJustBeforeIt) {
    const Form& form = main_form();
    for (const testkit::ControlHelp& expected : testkit::main_form_help()) {
        SCOPED_TRACE(std::string(expected.control));
        const auto box = std::find_if(form.controls.begin(), form.controls.end(),
                                      [&](const Control& c) { return c.name == expected.control; });
        ASSERT_NE(box, form.controls.end());
        EXPECT_FALSE(box->tooltip.empty());
        if (box->kind != ControlKind::TextBox) continue;
        const Control* label = label_of(form, box->name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->caption, expected.name);
        EXPECT_EQ(label->tab_index, box->tab_index - 1);
        EXPECT_FALSE(label->takes_focus());
    }
    EXPECT_EQ(label_of(form, "Command1"), nullptr);
}

}  // namespace
}  // namespace veltrano::command
