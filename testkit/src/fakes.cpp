#include "veltrano/testkit/fakes.h"

#include "veltrano/core/run_error.h"

namespace veltrano::testkit {

command::TextFields::Texts first_example_texts(const std::string& results) {
    return {{"Text1", "100"}, {"Text7", "0.5"}, {"Text2", "0.95"}, {"Text3", "0.05"},
            {"Text4", "2"},   {"Text5", "2.5"}, {"Text6", results}, {"Text8", results}};
}

std::string RecordingFields::text(std::string_view name) {
    if (journal_ != nullptr) journal_->push_back("get " + std::string(name));
    return TextFields::text(name);
}

void RecordingFields::set_text(std::string_view name, std::string_view text) {
    if (journal_ != nullptr) journal_->push_back("set " + std::string(name) + "=" + std::string(text));
    TextFields::set_text(name, text);
}

std::vector<Cell> first_example_cells() {
    // The labels one member at a time: GCC 12 at -O3 warns wrongly about a
    // variant holding a string inside a braced list.
    std::vector<Cell> cells(3);
    const char* labels[] = {"板", "X", "Y"};
    for (int row = 1; row <= 3; ++row) {
        cells[row - 1].row = row;
        cells[row - 1].column = 1;
        cells[row - 1].value = std::string(labels[row - 1]);
    }
    const Cell plates[] = {
        {1, 2, std::int16_t{1}}, {2, 2, 0.8837209302325579}, {3, 2, 0.95},
        {1, 3, std::int16_t{2}}, {2, 3, 0.7936831380539986}, {3, 3, 0.9058139534883719},
        {1, 4, std::int16_t{3}}, {2, 4, 0.6868977310730251}, {3, 4, 0.8457887587026657},
        {1, 5, std::int16_t{4}}, {2, 5, 0.578878390216891}, {3, 5, 0.7745984873820166},
        {1, 6, std::int16_t{5}}, {2, 6, 0.4858412935156275}, {3, 6, 0.7025855934779273},
        {1, 7, std::int16_t{6}}, {2, 7, 0.4063057037912716}, {3, 7, 0.6311217246875033},
        {1, 8, std::int16_t{7}}, {2, 8, 0.3066326615621892}, {3, 8, 0.5250742717216955},
        {1, 9, std::int16_t{8}}, {2, 9, 0.20514189904420202}, {3, 9, 0.39217688208291895},
        {1, 10, std::int16_t{9}}, {2, 10, 0.12146115169500511}, {3, 10, 0.2568558653922694},
        {1, 11, std::int16_t{10}}, {2, 11, 0.06366195849035063}, {3, 11, 0.14528153559334014},
        {1, 12, std::int16_t{11}}, {2, 12, 0.028450859203591507}, {3, 12, 0.06821594465380085},
    };
    cells.insert(cells.end(), std::begin(plates), std::end(plates));
    return cells;
}

void RecordingSpreadsheet::note(const std::string& step) {
    record->steps.push_back(step);
    if (journal_ != nullptr) journal_->push_back("sheet " + step);
}

void RecordingSpreadsheet::create_application() {
    note("create");
    if (on_create) on_create();
    if (fail_on_create) throw core::RunError(sheet::kCannotCreateObject, "找不到电子表格应用程序");
}

void RecordingSpreadsheet::add_workbook() { note("add"); }

void RecordingSpreadsheet::make_visible() { note("visible"); }

void RecordingSpreadsheet::put_cell(std::int16_t row, std::int16_t column, const sheet::CellValue& value) {
    if (static_cast<int>(record->cells.size()) == fail_at_cell) {
        throw sheet::automation_error(sheet::FailureStatus::Disconnected, "写入单元格");
    }
    record->cells.push_back({row, column, value});
}

}  // namespace veltrano::testkit
