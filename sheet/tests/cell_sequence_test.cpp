// The cell sequence every spreadsheet backend receives, recorded call by call.
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/calc/column.h"
#include "veltrano/sheet/spreadsheet.h"
#include "veltrano/sheet/text_table.h"
#include "veltrano/testkit/contracts.h"
#include "veltrano/testkit/fakes.h"

namespace veltrano::sheet {
namespace {

using calc::Profile;
using calc::ShortInt;

void fill(Profile& x, Profile& y, int n) {
    for (int i = 1; i <= n; ++i) {
        x.set(ShortInt(static_cast<std::int16_t>(i)), 1.0 / (i + 1));
        y.set(ShortInt(static_cast<std::int16_t>(i)), 1.0 / (i + 2));
    }
}

TEST(CellSequence, OrderCountCoordinatesAndTypes) {
    // The worked example, cell by cell in the order written.
    const calc::ColumnResult example = calc::calculate({100, 0.5, 0.95, 0.05, 2, 2.5});
    testkit::RecordingSpreadsheet sheet;
    export_profile(sheet, example.plate_count, example.x, example.y);
    // The application is visible before the first cell, so the table fills in view.
    EXPECT_EQ(sheet.record->steps, (std::vector<std::string>{"create", "add", "visible"}));
    EXPECT_EQ(sheet.record->cells, testkit::first_example_cells());

    // The shortest and the longest column: 3 + 3N writes, the last one in
    // column N + 1, which for 30 plates is AE.
    for (int n : {3, 30}) {
        Profile x, y;
        fill(x, y, n);
        testkit::RecordingSpreadsheet other;
        export_profile(other, ShortInt(static_cast<std::int16_t>(n)), x, y);
        const std::vector<testkit::Cell>& cells = other.record->cells;
        ASSERT_EQ(cells.size(), 3u + 3u * n) << n;
        EXPECT_EQ(cells[3], (testkit::Cell{1, 2, std::int16_t{1}}));
        EXPECT_EQ(cells[4], (testkit::Cell{2, 2, 0.5}));
        EXPECT_EQ(cells[5], (testkit::Cell{3, 2, 1.0 / 3}));
        EXPECT_EQ(cells.back(), (testkit::Cell{3, n + 1, 1.0 / (n + 2)}));
    }
    EXPECT_EQ(cell_name(3, 31), "AE3");
}

// A designed column writes the same sequence, however many stages it has.
TEST(CellSequence, DesignedStagesAsTheProfile) {
    const calc::ColumnResult example = calc::calculate({100, 0.5, 0.95, 0.05, 2, 2.5});
    const auto& px = example.x.slots();
    const auto& py = example.y.slots();
    const int n = example.plate_count.value();
    testkit::RecordingSpreadsheet sheet;
    export_stages(sheet, {px.begin() + 1, px.begin() + 1 + n}, {py.begin() + 1, py.begin() + 1 + n});
    EXPECT_EQ(sheet.record->steps, (std::vector<std::string>{"create", "add", "visible"}));
    EXPECT_EQ(sheet.record->cells, testkit::first_example_cells());

    testkit::RecordingSpreadsheet longest;
    export_stages(longest, std::vector<double>(1000, 0.5), std::vector<double>(1000, 0.25));
    ASSERT_EQ(longest.record->cells.size(), 3u + 3000u);
    EXPECT_EQ(longest.record->cells[3000], (testkit::Cell{1, 1001, std::int16_t{1000}}));
    EXPECT_EQ(cell_name(3, 1001), "ALM3");
}

TEST(CellName, LettersAsTheUserFindsTheColumn) {
    const struct {
        int row, column;
        const char* name;
    } cases[] = {{1, 1, "A1"}, {2, 12, "L2"}, {3, 26, "Z3"}, {1, 27, "AA1"}, {3, 31, "AE3"}, {1, 702, "ZZ1"}, {1, 703, "AAA1"}};
    for (const auto& c : cases) EXPECT_EQ(cell_name(c.row, c.column), c.name);
}

TEST(TextTable, KeepsTheSpreadsheetContract) {
    TextTable table;
    const auto violations = testkit::spreadsheet_contract_violations(table, [&] { return testkit::cells_of_tsv(table.tsv()); });
    EXPECT_TRUE(violations.empty()) << ::testing::PrintToString(violations);
}

TEST(TextTable, RowsOfTabSeparatedShortestNumbers) {
    Profile x, y;
    x.set(ShortInt(1), 0.1);
    x.set(ShortInt(2), 1.0 / 3);
    x.set(ShortInt(3), 2.5e-8);
    y.set(ShortInt(1), 0.95);
    y.set(ShortInt(2), 0.5);
    y.set(ShortInt(3), 1e-310);
    TextTable table;
    export_profile(table, ShortInt(3), x, y);
    EXPECT_EQ(table.tsv(),
              "板\t1\t2\t3\n"
              "X\t0.1\t0.3333333333333333\t2.5e-08\n"
              "Y\t0.95\t0.5\t1e-310\n");
}

}  // namespace
}  // namespace veltrano::sheet
