// The cell sequence every spreadsheet backend receives, recorded call by call.
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/export/spreadsheet.h"
#include "veltrano/export/text_table.h"

namespace veltrano::exporting {
namespace {

using calc::Profile;
using calc::ShortInt;

struct Call {
    std::string op;  // "create", "add", "visible" or "cell"
    int row = 0, column = 0;
    CellValue value;
};

class Recorder final : public Spreadsheet {
public:
    std::vector<Call> calls;
    void create_application() override { calls.push_back({"create", 0, 0, {}}); }
    void add_workbook() override { calls.push_back({"add", 0, 0, {}}); }
    void make_visible() override { calls.push_back({"visible", 0, 0, {}}); }
    void put_cell(std::int16_t row, std::int16_t column, const CellValue& value) override {
        calls.push_back({"cell", row, column, value});
    }
};

void fill(Profile& x, Profile& y, int n) {
    for (int i = 1; i <= n; ++i) {
        x.set(ShortInt(static_cast<std::int16_t>(i)), 1.0 / (i + 1));
        y.set(ShortInt(static_cast<std::int16_t>(i)), 1.0 / (i + 2));
    }
}

TEST(CellSequence, OrderCountCoordinatesAndTypes) {
    for (int n : {3, 11, 30}) {
        Profile x, y;
        fill(x, y, n);
        Recorder sheet;
        export_profile(sheet, ShortInt(static_cast<std::int16_t>(n)), x, y);

        ASSERT_EQ(sheet.calls.size(), 3u + 3u + 3u * n) << n;
        EXPECT_EQ(sheet.calls[0].op, "create");
        EXPECT_EQ(sheet.calls[1].op, "add");
        EXPECT_EQ(sheet.calls[2].op, "visible");
        const std::vector<Call> labels(sheet.calls.begin() + 3, sheet.calls.begin() + 6);
        const char* texts[] = {"板", "X", "Y"};
        for (int r = 0; r < 3; ++r) {
            EXPECT_EQ(labels[r].row, r + 1);
            EXPECT_EQ(labels[r].column, 1);
            EXPECT_EQ(std::get<std::string>(labels[r].value), texts[r]);
        }
        for (int i = 1; i <= n; ++i) {
            const Call* c = &sheet.calls[3 + 3 * i];
            for (int r = 0; r < 3; ++r) {
                EXPECT_EQ(c[r].op, "cell");
                EXPECT_EQ(c[r].row, r + 1);
                EXPECT_EQ(c[r].column, i + 1);
            }
            EXPECT_EQ(std::get<std::int16_t>(c[0].value), i);
            EXPECT_EQ(std::get<double>(c[1].value), x.slots()[i]);
            EXPECT_EQ(std::get<double>(c[2].value), y.slots()[i]);
        }
    }
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
}  // namespace veltrano::exporting
