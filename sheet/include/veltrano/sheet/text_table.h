// A spreadsheet that is only a grid of texts: the CLI prints the profile
// table through the same cell sequence a real spreadsheet receives.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::sheet {

class TextTable final : public Spreadsheet {
public:
    void create_application() override {}
    void add_workbook() override {}
    void make_visible() override {}
    void put_cell(std::int16_t row, std::int16_t column, const CellValue& value) override;

    // Rows in order, cells joined by one TAB, each row ending in '\n'.
    // Integers as plain digits, doubles in their shortest round-trip form.
    std::string tsv() const;

private:
    std::map<std::pair<int, int>, std::string> cells_;
};

}  // namespace veltrano::sheet
