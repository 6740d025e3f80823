// The Calculate command against recorded fields and a recorded spreadsheet:
// read order, write order, and where an error leaves the window.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/command/calculate.h"
#include "veltrano/testkit/fakes.h"
#include "veltrano/testkit/raised.h"

namespace veltrano::command {
namespace {

using testkit::Journal;
using testkit::RecordingFields;
using testkit::RecordingSpreadsheet;

const Journal kReads = {"get Text1", "get Text2", "get Text3", "get Text7", "get Text4", "get Text5"};

struct Press {
    int error = 0;
    Journal journal;
    TextFields::Texts texts;  // the fields afterwards
    std::size_t cells = 0;
};

// One press on the worked example with `changed` typed over it, against a
// sheet set up by `sheet_setup`.
Press press(const std::map<std::string, std::string>& changed = {},
            const std::function<void(RecordingSpreadsheet&)>& sheet_setup = {}) {
    Press p;
    TextFields::Texts texts = testkit::first_example_texts("typed");
    for (const auto& [name, text] : changed) texts[name] = text;
    RecordingFields fields(texts, &p.journal);
    RecordingSpreadsheet sheet(&p.journal);
    if (sheet_setup) sheet_setup(sheet);
    p.error = testkit::raised_by([&] { run_calculate(fields, core::NumberFormat{".", ","}, sheet); }).number;
    p.texts = fields.texts();
    p.cells = sheet.record->cells.size();
    return p;
}

TEST(CalculateCommand, ReadsSixFieldsThenWritesFeedPlateThenPlateCountThenExports) {
    Journal expected = kReads;
    expected.insert(expected.end(), {"set Text8=5", "set Text6=11", "sheet create", "sheet add", "sheet visible"});
    // A second press with the same texts gives the same results and a second export.
    for (int i = 0; i < 2; ++i) {
        const Press p = press();
        ASSERT_EQ(p.error, 0);
        EXPECT_EQ(p.journal, expected);
        EXPECT_EQ(p.cells, 3u + 3u * 11u);
    }
}

TEST(CalculateCommand, FirstBadFieldInReadOrderStopsThePress) {
    struct Case { std::map<std::string, std::string> texts; int error; std::size_t reads; };
    const Case cases[] = {
        {{{"Text5", ""}}, 13, 6},
        {{{"Text1", ""}, {"Text2", ""}, {"Text3", ""}, {"Text7", ""}, {"Text4", ""}, {"Text5", ""}}, 13, 1},
        {{{"Text7", "abc"}, {"Text4", "1e999"}}, 13, 4},
        {{{"Text4", "1e999"}, {"Text7", "abc"}}, 13, 4},
        {{{"Text3", "1e999"}, {"Text7", "abc"}}, 6, 3},
        {{{"Text2", "1,5"}}, 13, 2},
        {{{"Text2", "0,950"}}, 13, 2},
        {{{"Text4", " 2.5 "}}, 0, 6},
        {{{"Text4", "1.5"}, {"Text2", "0.98"}, {"Text3", "0.02"}, {"Text5", "2"}}, 9, 6},
        {{{"Text4", "-1"}}, 11, 6},
    };
    for (const auto& c : cases) {
        const Press p = press(c.texts);
        EXPECT_EQ(p.error, c.error);
        if (c.error != 0) {
            EXPECT_EQ(p.journal, Journal(kReads.begin(), kReads.begin() + c.reads)) << "no field written, nothing exported";
            EXPECT_EQ(p.texts.at("Text6"), "typed");
            EXPECT_EQ(p.texts.at("Text8"), "typed");
        }
    }
}

TEST(CalculateCommand, ExportErrorComesAfterBothResultsAreShown) {
    const Press p = press({}, [](RecordingSpreadsheet& sheet) { sheet.fail_at_cell = 4; });
    EXPECT_EQ(p.error, static_cast<int>(sheet::FailureStatus::Disconnected));
    EXPECT_EQ(p.texts.at("Text8"), "5");
    EXPECT_EQ(p.texts.at("Text6"), "11");
    EXPECT_EQ(p.cells, 4u);
}

}  // namespace
}  // namespace veltrano::command
