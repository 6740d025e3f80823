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

std::vector<Cell> expected_cells(calc::ShortInt plate_count, const calc::Profile& x, const calc::Profile& y) {
    std::vector<Cell> cells;
    // Built one member at a time: GCC 12 at -O3 warns wrongly about a variant
    // holding a string inside a braced list.
    const auto add = [&cells](int row, int column, sheet::CellValue value) {
        Cell& cell = cells.emplace_back();
        cell.row = row;
        cell.column = column;
        cell.value = std::move(value);
    };
    add(1, 1, std::string("板"));
    add(2, 1, std::string("X"));
    add(3, 1, std::string("Y"));
    for (int i = 1; i <= plate_count.value(); ++i) {
        const calc::ShortInt plate(static_cast<std::int16_t>(i));
        add(1, i + 1, plate.value());
        add(2, i + 1, x.get(plate));
        add(3, i + 1, y.get(plate));
    }
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
