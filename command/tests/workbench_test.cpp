// The design workbench as data: what an edit computes and how a failure is
// told, what is kept between runs, where the controls go, and the thread
// that computes for the latest edit only.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>

#include <gtest/gtest.h>

#include "veltrano/calc/design.h"
#include "veltrano/calc/rating.h"
#include "veltrano/command/workbench.h"

namespace veltrano::command {
namespace {

const core::NumberFormat kPoint{".", ""};

std::string result(const WorkbenchOutcome& o, std::string_view name) {
    for (std::size_t i = 0; i < kWorkbenchResults.size(); ++i) {
        if (kWorkbenchResults[i].name == name) return o.shown[i];
    }
    return "?";
}

int item_of(const WorkbenchState& s, const std::string& text) {
    const std::vector<std::string> items = mixture_items(s);
    return static_cast<int>(std::find(items.begin(), items.end(), text) - items.begin());
}

struct EditCase {
    const char* what;
    std::function<void(WorkbenchState&)> edit;
    std::string failed_field;         // empty: the edit computes
    const char* message_part = "";    // in the status line's message
    std::function<void(const WorkbenchOutcome&)> check = nullptr;
};

TEST(Workbench, EachEditComputesOrNamesTheFieldToBlame) {
    const calc::Design example = calc::design_column({{100, 0.5, 0.95, 0.05, 2, 2.5}, 1, 1});
    const calc::Design subcooled = calc::design_column({{100, 0.5, 0.95, 0.05, 2, 2.5}, 1.5, 1});
    const calc::Rating rated = calc::rate_column({100, 0.5, 2, 2.5, 1, 1, 11, 5, 50});
    const std::string points = testing::TempDir() + "/workbench_points.csv";
    std::ofstream(points) << "x,y\n0,0\n0.2,0.4\n0.5,0.75\n0.8,0.92\n1,1\n";
    const auto rating = [](WorkbenchState& s) { s.mode = WorkbenchMode::kRating; };
    const EditCase cases[] = {
        {"the first example", [](WorkbenchState&) {}, "", "",
         [&](const WorkbenchOutcome& o) {
             EXPECT_EQ(result(o, "feed_stage"), std::to_string(example.feed_stage));
             EXPECT_EQ(result(o, "stages"), std::to_string(example.stage_count));
             EXPECT_EQ(o.stage_rows.size(), example.x.size());
             EXPECT_EQ(result(o, "T_top"), "") << "constant alpha knows no temperature";
             EXPECT_EQ(result(o, "xD"), "") << "an input in design";
             ASSERT_NE(o.picture, nullptr);
         }},
        {"a subcooled feed", [](WorkbenchState& s) { s.texts["q"] = "1.5"; }, "", "",
         [&](const WorkbenchOutcome& o) { EXPECT_EQ(result(o, "stages"), std::to_string(subcooled.stage_count)); }},
        {"alpha is not read on a pair", [](WorkbenchState& s) { s.mixture = item_of(s, "苯/甲苯"), s.texts["alpha"] = "x"; }, "", "",
         [](const WorkbenchOutcome& o) { EXPECT_NE(result(o, "T_bottom"), ""); EXPECT_NE(result(o, "Qr"), ""); }},
        {"rating the example's column", rating, "", "",
         [&](const WorkbenchOutcome& o) {
             char xD[16], xW[16];
             std::snprintf(xD, sizeof xD, "%#.4g", rated.xD);
             std::snprintf(xW, sizeof xW, "%#.4g", rated.xW);
             EXPECT_EQ(result(o, "xD"), xD);
             EXPECT_EQ(result(o, "xW"), xW);
             EXPECT_EQ(result(o, "stages"), "11");
         }},
        {"rating reads no xD", [&](WorkbenchState& s) { rating(s), s.texts["xD"] = ""; }, ""},
        {"the user's points", [&](WorkbenchState& s) { choose_data_file(s, points), s.texts["xD"] = "0.9"; }, ""},
        {"a text that is no number", [](WorkbenchState& s) { s.texts["R"] = "2..0"; }, "R", "回流比 R"},
        {"bottoms richer than the feed", [](WorkbenchState& s) { s.texts["xW"] = "0.6"; }, "xW", "塔底组成 xW"},
        {"reflux below the minimum", [](WorkbenchState& s) { s.texts["R"] = "0.5"; }, "R", "最小回流比"},
        {"an efficiency above one", [](WorkbenchState& s) { s.texts["E"] = "1.2"; }, "E", "默弗里板效率 E"},
        {"past the azeotrope", [](WorkbenchState& s) { s.mixture = item_of(s, "乙醇/水"); }, "xD", "共沸点"},
        {"no pressure", [](WorkbenchState& s) { s.mixture = item_of(s, "乙醇/水"), s.texts["P"] = "-1"; }, "P", ""},
        {"a stage number that is not whole", [&](WorkbenchState& s) { rating(s), s.texts["N"] = "5.5"; }, "N", "整数"},
        {"a feed stage below the column", [&](WorkbenchState& s) { rating(s), s.texts["feed_stage"] = "11"; }, "feed_stage",
         "进料板"},
        {"a distillate above the feed", [&](WorkbenchState& s) { rating(s), s.texts["D"] = "120"; }, "D", "馏出流量 D"},
        {"a file that is gone", [](WorkbenchState& s) { choose_data_file(s, "/nonexistent/points.csv"); }, "mixture",
         "数据文件"},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.what);
        WorkbenchState s = WorkbenchState::first_start();
        c.edit(s);
        const WorkbenchOutcome o = compute_workbench(s, kPoint);
        EXPECT_EQ(o.failed_field, c.failed_field) << o.failure;
        EXPECT_EQ(o.ok(), c.failed_field.empty()) << o.failure;
        EXPECT_NE(o.failure.find(c.message_part), std::string::npos) << o.failure;
        if (!o.ok()) {
            EXPECT_EQ(o.picture, nullptr);
            EXPECT_TRUE(o.stage_rows.empty());
            EXPECT_EQ(result(o, "stages"), "");
        }
        if (c.check) c.check(o);
    }
}

TEST(Workbench, ShowsFourSignificantDigitsWithTheUsersDecimalPoint) {
    WorkbenchState s = WorkbenchState::first_start();
    s.texts["xF"] = "0,5", s.texts["xD"] = "0,95", s.texts["xW"] = "0,05", s.texts["alpha"] = "2,5";
    const WorkbenchOutcome o = compute_workbench(s, {",", "."});
    ASSERT_TRUE(o.ok()) << o.failure;
    const std::string rmin = result(o, "R_min");
    EXPECT_NE(rmin.find(','), std::string::npos) << rmin;
    EXPECT_LE(rmin.size(), 6u) << rmin;
    EXPECT_GT(o.full[3].size(), rmin.size()) << "the tooltip holds every digit";
}

TEST(Workbench, KeepsWhatParsesAndDropsTheRest) {
    WorkbenchState s = WorkbenchState::first_start();
    s.mode = WorkbenchMode::kRating;
    s.texts["R"] = "3.5";
    s.mixture = item_of(s, "甲醇/水");
    const std::map<std::string, std::string> kept = remembered(s);
    struct Case {
        const char* what;
        std::map<std::string, std::string> damage;
        std::function<void(const WorkbenchState&)> check;
    };
    const Case cases[] = {
        {"everything read back", {}, [&](const WorkbenchState& r) {
             EXPECT_EQ(r.mode, WorkbenchMode::kRating);
             EXPECT_EQ(r.texts.at("R"), "3.5");
             EXPECT_EQ(r.mixture, s.mixture);
         }},
        {"a field that no longer parses", {{"R", "zwei"}}, [](const WorkbenchState& r) { EXPECT_EQ(r.texts.at("R"), "2"); }},
        {"a pair the table has lost", {{"mixture", "氦/氖"}}, [](const WorkbenchState& r) { EXPECT_EQ(r.mixture, 0); }},
        {"an unknown mode", {{"mode", "?"}}, [](const WorkbenchState& r) { EXPECT_EQ(r.mode, WorkbenchMode::kDesign); }},
        {"points without their file", {{"mixture", "data"}, {"data_file", ""}},
         [](const WorkbenchState& r) { EXPECT_EQ(r.mixture, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::map<std::string, std::string> stored = kept;
        for (const auto& [k, v] : c.damage) stored[k] = v;
        c.check(restored([&](const std::string& key) -> std::optional<std::string> {
            const auto it = stored.find(key);
            return it == stored.end() ? std::nullopt : std::optional<std::string>(it->second);
        }, kPoint));
    }
    for (const char* bad : {"", "800x", "100x100", "1200x900 ", "axb"}) EXPECT_FALSE(remembered_size(std::string(bad))) << bad;
    EXPECT_EQ(remembered_size(size_text(1200, 900)), std::make_pair(1200, 900));
}

TEST(Workbench, PlacesEveryControlApartInsideTheWindowAndNamesEachInput) {
    for (const auto& [w, h] : {std::pair{kWorkbenchOpeningWidth, kWorkbenchOpeningHeight},
                               std::pair{kWorkbenchLeastWidth, kWorkbenchLeastHeight}, std::pair{1920.0, 1200.0}}) {
        const std::vector<WorkbenchControl> controls = workbench_layout(w, h);
        std::set<std::string> names, named;
        std::set<int> tabs;
        for (const WorkbenchControl& c : controls) {
            SCOPED_TRACE(c.name);
            EXPECT_TRUE(names.insert(c.name).second);
            EXPECT_GE(c.box.left, 0);
            EXPECT_LE(c.box.left + c.box.width, w);
            EXPECT_LE(c.box.top + c.box.height, h);
            if (c.tab_index >= 0) {
                EXPECT_TRUE(tabs.insert(c.tab_index).second);
            }
            if (c.kind == WorkbenchControlKind::kLabel) named.insert(c.names);
            for (const WorkbenchControl& d : controls) {
                const bool apart = c.box.left + c.box.width <= d.box.left || d.box.left + d.box.width <= c.box.left ||
                                   c.box.top + c.box.height <= d.box.top || d.box.top + d.box.height <= c.box.top;
                if (&c != &d) {
                    EXPECT_TRUE(apart) << "overlaps " << d.name;
                }
            }
        }
        for (const WorkbenchField& f : kWorkbenchFields) EXPECT_TRUE(named.count(std::string(f.name))) << f.name;
        EXPECT_EQ(tabs.size(), kWorkbenchFields.size() + 6) << "two modes, the fields, the list and three buttons";
        EXPECT_EQ(*tabs.rbegin(), static_cast<int>(tabs.size()) - 1);
    }
}

TEST(Workbench, ComputesTheLatestStateOfABurst) {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::uint64_t> seen;
    std::shared_ptr<const WorkbenchOutcome> last;
    std::uint64_t latest = 0;
    {
        Recomputer r(kPoint, [&](std::uint64_t n, std::shared_ptr<const WorkbenchOutcome> o) {
            std::lock_guard<std::mutex> lock(m);
            seen.push_back(n);
            last = std::move(o);
            cv.notify_all();
        });
        WorkbenchState s = WorkbenchState::first_start();
        for (const char* R : {"1", "1.5", "2", "2.5", "3", "4"}) {
            s.texts["R"] = R;
            latest = r.submit(s);
        }
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return !seen.empty() && seen.back() == latest; }));
    }
    EXPECT_LE(seen.size(), 2u) << "the first and the last";
    const calc::Design at_4 = calc::design_column({{100, 0.5, 0.95, 0.05, 4, 2.5}, 1, 1});
    EXPECT_EQ(result(*last, "stages"), std::to_string(at_4.stage_count));
}

}  // namespace
}  // namespace veltrano::command
