// Stand-ins for the window's text boxes and the spreadsheet application,
// shared by every test program, the fuzz target and the timing tools.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "veltrano/calc/profile.h"
#include "veltrano/calc/short_int.h"
#include "veltrano/sheet/spreadsheet.h"
#include "veltrano/command/text_fields.h"

namespace veltrano::testkit {

// Every call the fakes receive, in order: "get Text1", "set Text8=5",
// "sheet create", ... One journal may serve the fields and the sheet.
using Journal = std::vector<std::string>;

// The window's eight text boxes: the worked example F = 100, xF = 0.5,
// xD = 0.95, xW = 0.05, R = 2, alpha = 2.5 in the six inputs (feed plate 5,
// 11 plates), `results` in the two result fields.
command::TextFields::Texts first_example_texts(const std::string& results = "");

// Text boxes that note each access in `journal`, when one is given.
class RecordingFields final : public command::TextFields {
public:
    explicit RecordingFields(Texts texts, Journal* journal = nullptr)
        : TextFields(std::move(texts)), journal_(journal) {}
    std::string text(std::string_view name) override;
    void set_text(std::string_view name, std::string_view text) override;

private:
    Journal* journal_;
};

// One cell as a spreadsheet holds it: 1-based row and column.
struct Cell {
    int row = 0;
    int column = 0;
    sheet::CellValue value;
    bool operator==(const Cell& other) const {
        return row == other.row && column == other.column && value == other.value;
    }
};

// The cells of the worked example's table (11 plates) as a spreadsheet
// receives them, in the order they are written: the three labels, then plate
// number, x and y of each plate; every x and y to the last bit.
std::vector<Cell> first_example_cells();

// What a recording spreadsheet was sent. Shared, so that it can be read
// after the program under test has let go of the spreadsheet.
struct SheetRecord {
    std::vector<std::string> steps;  // "create", "add", "visible"
    std::vector<Cell> cells;
};

// A spreadsheet application that records what it is sent, and can fail at a
// chosen step as a real one would.
class RecordingSpreadsheet final : public sheet::Spreadsheet {
public:
    explicit RecordingSpreadsheet(Journal* journal = nullptr,
                                  std::shared_ptr<SheetRecord> record = std::make_shared<SheetRecord>())
        : record(std::move(record)), journal_(journal) {}

    const std::shared_ptr<SheetRecord> record;
    bool fail_on_create = false;      // error 429, as when no spreadsheet application is installed
    int fail_at_cell = -1;            // this cell write (0-based) fails: the application went away
    std::function<void()> on_create;  // runs as the application is started

    void create_application() override;
    void add_workbook() override;
    void make_visible() override;
    void put_cell(std::int16_t row, std::int16_t column, const sheet::CellValue& value) override;

private:
    void note(const std::string& step);
    Journal* journal_;
};

}  // namespace veltrano::testkit
