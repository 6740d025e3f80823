// The Calculate command against recorded fields and a recorded spreadsheet:
// read order, write order, and where an error leaves the window.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/calc/errors.h"
#include "veltrano/window/calculate.h"

namespace veltrano::window {
namespace {

// Every field access in order: "get Text1", "set Text8=5", "sheet ...".
std::vector<std::string> journal;

class RecordedFields final : public Fields {
public:
    std::map<std::string, std::string, std::less<>> texts;
    std::string text(std::string_view name) override {
        journal.push_back("get " + std::string(name));
        return texts.at(std::string(name));
    }
    void set_text(std::string_view name, std::string_view text) override {
        journal.push_back("set " + std::string(name) + "=" + std::string(text));
        texts[std::string(name)] = std::string(text);
    }
};

class RecordedSheet final : public exporting::Spreadsheet {
public:
    int fail_at_cell = -1;  // raise an automation error at this cell write
    int cells = 0;
    void create_application() override { journal.push_back("sheet create"); }
    void add_workbook() override {}
    void make_visible() override {}
    void put_cell(std::int16_t, std::int16_t, const exporting::CellValue&) override {
        if (cells++ == fail_at_cell) throw calc::RunError::automation(-2147417848, "写入单元格");
    }
};

RecordedFields first_example() {
    RecordedFields f;
    f.texts = {{"Text1", "100"}, {"Text7", "0.5"}, {"Text2", "0.95"}, {"Text3", "0.05"},
               {"Text4", "2"},   {"Text5", "2.5"}, {"Text6", "typed"}, {"Text8", "typed"}};
    return f;
}

const std::vector<std::string> kReads = {"get Text1", "get Text2", "get Text3",
                                         "get Text7", "get Text4", "get Text5"};

int press(RecordedFields& f, RecordedSheet& sheet) {
    journal.clear();
    try {
        run_calculate(f, platform::NumberFormat{".", ","}, sheet);
    } catch (const calc::RunError& e) {
        return e.number();
    }
    return 0;
}

TEST(CalculateCommand, ReadsSixFieldsThenWritesFeedPlateThenPlateCountThenExports) {
    RecordedFields f = first_example();
    RecordedSheet sheet;
    ASSERT_EQ(press(f, sheet), 0);
    std::vector<std::string> expected = kReads;
    expected.insert(expected.end(), {"set Text8=5", "set Text6=11", "sheet create"});
    EXPECT_EQ(journal, expected);
    EXPECT_EQ(sheet.cells, 3 + 3 * 11);
    // A second press with the same texts gives the same results and a second export.
    ASSERT_EQ(press(f, sheet), 0);
    EXPECT_EQ(journal, expected);
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
        {{{"Text4", " 2.5 "}}, 0, 6},
        {{{"Text4", "1.5"}, {"Text2", "0.98"}, {"Text3", "0.02"}, {"Text5", "2"}}, 9, 6},
        {{{"Text4", "-1"}}, 11, 6},
    };
    for (const auto& c : cases) {
        RecordedFields f = first_example();
        for (const auto& [name, text] : c.texts) f.texts[name] = text;
        RecordedSheet sheet;
        EXPECT_EQ(press(f, sheet), c.error);
        const std::vector<std::string> reads(kReads.begin(), kReads.begin() + c.reads);
        if (c.error != 0) {
            EXPECT_EQ(journal, reads) << "no field written, nothing exported";
            EXPECT_EQ(f.texts["Text6"], "typed");
            EXPECT_EQ(f.texts["Text8"], "typed");
        }
    }
}

TEST(CalculateCommand, ExportErrorComesAfterBothResultsAreShown) {
    RecordedFields f = first_example();
    RecordedSheet sheet;
    sheet.fail_at_cell = 4;
    EXPECT_EQ(press(f, sheet), -2147417848);
    EXPECT_EQ(f.texts["Text8"], "5");
    EXPECT_EQ(f.texts["Text6"], "11");
    EXPECT_EQ(sheet.cells, 5);
}

}  // namespace
}  // namespace veltrano::window
