#include <cstdio>
#include <string>
#include <vector>

#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::sheet {

using calc::ShortInt;

namespace {

// A new visible workbook with the row labels: the application becomes
// visible before the first cell, so the table fills in view.
void open_table(Spreadsheet& sheet) {
    sheet.create_application();
    sheet.add_workbook();
    sheet.make_visible();

    sheet.put_cell(1, 1, std::string("板"));
    sheet.put_cell(2, 1, std::string("X"));
    sheet.put_cell(3, 1, std::string("Y"));
}

}  // namespace

void export_profile(Spreadsheet& sheet, ShortInt plate_count, const calc::Profile& x,
                    const calc::Profile& y) {
    open_table(sheet);
    const ShortInt one{1};
    for (ShortInt i = one; i.value() <= plate_count.value(); i = i + one) {
        const std::int16_t column = (i + one).value();
        sheet.put_cell(1, column, i.value());
        sheet.put_cell(2, column, x.get(i));
        sheet.put_cell(3, column, y.get(i));
    }
}

void export_stages(Spreadsheet& sheet, const std::vector<double>& x, const std::vector<double>& y,
                   const std::vector<std::optional<double>>& T) {
    open_table(sheet);
    if (!T.empty()) sheet.put_cell(4, 1, std::string("T"));
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        const auto stage = static_cast<std::int16_t>(i + 1);
        const auto column = static_cast<std::int16_t>(i + 2);
        sheet.put_cell(1, column, stage);
        sheet.put_cell(2, column, x[i]);
        sheet.put_cell(3, column, y[i]);
        if (i < T.size()) {
            if (T[i]) sheet.put_cell(4, column, *T[i]);
            else sheet.put_cell(4, column, std::string("-"));
        }
    }
}

std::string cell_name(int row, int column) {
    std::string letters;
    for (int c = column; c > 0; c = (c - 1) / 26) letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

std::string seconds_text(std::chrono::milliseconds span) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(span.count()) / 1000.0);
    return text;
}

}  // namespace veltrano::sheet
