#include "veltrano/testkit/contracts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <variant>

#include "veltrano/calc/column.h"
#include "veltrano/core/run_error.h"
#include "veltrano/core/number_text.h"
#include "veltrano/testkit/raised.h"

namespace veltrano::testkit {

namespace {

// A cell's value in a message: numbers to the last bit that tells them apart.
std::string shown(const sheet::CellValue& value) {
    if (const auto* number = std::get_if<double>(&value)) return core::double_to_text(*number);
    if (const auto* plate = std::get_if<std::int16_t>(&value)) return std::to_string(*plate);
    return "“" + std::get<std::string>(value) + "”";
}

std::string where(const Cell& cell) {
    return "(" + std::to_string(cell.row) + ", " + std::to_string(cell.column) + ")";
}

// A cell as a spreadsheet keeps it: numbers as doubles.
Cell as_stored(Cell cell) {
    if (const auto* plate = std::get_if<std::int16_t>(&cell.value)) cell.value = static_cast<double>(*plate);
    return cell;
}

// Bit for bit: 0.1 read back as 0.10000000000000002 is a different cell.
bool same(const sheet::CellValue& a, const sheet::CellValue& b) {
    const auto* x = std::get_if<double>(&a);
    const auto* y = std::get_if<double>(&b);
    if (x != nullptr && y != nullptr) return std::memcmp(x, y, sizeof *x) == 0;
    return a == b;
}

bool by_place(const Cell& a, const Cell& b) { return std::tie(a.row, a.column) < std::tie(b.row, b.column); }

}  // namespace

std::vector<std::string> fields_contract_violations(command::Fields& fields) {
    std::vector<std::string> violations;
    const std::string texts[] = {"", "0.95", " 2,5 ", "进料板　５", std::string(1000, '7')};
    const char* names[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Text7", "Text8"};
    for (const char* name : names) {
        for (const std::string& text : texts) {
            std::string back;
            const Raised error = raised_by([&] {
                fields.set_text(name, text);
                back = fields.text(name);
            });
            if (error.number != 0) {
                violations.push_back(std::string(name) + ": " + error.description);
            } else if (back != text) {
                violations.push_back(std::string(name) + " gives back another text than “" + text.substr(0, 20) + "”");
            }
        }
    }
    const auto expect_no_such_box = [&](const char* name, const char* call, const std::function<void()>& access) {
        const Raised error = raised_by(access);
        if (error.number == 0) {
            violations.push_back(std::string(call) + " of " + name + " succeeded");
        } else if (error.number != command::kNoSuchTextBox) {
            violations.push_back(std::string(call) + " of " + name + " gave error " + std::to_string(error.number));
        }
    };
    for (const char* name : {"Text9", "Command1"}) {
        expect_no_such_box(name, "reading", [&] { fields.text(name); });
        expect_no_such_box(name, "writing", [&] { fields.set_text(name, "1"); });
    }
    return violations;
}

std::vector<std::string> spreadsheet_contract_violations(sheet::Spreadsheet& sheet, const ReadBack& read_back) {
    const calc::ColumnResult column = calc::calculate({100, 0.5, 0.95, 0.05, 2, 2.5});
    sheet::export_profile(sheet, column.plate_count, column.x, column.y);
    const std::vector<Cell> found = read_back();
    std::vector<std::string> violations =
        cell_differences(first_example_cells(), found);
    // The table as a user reads it: x1 to six places, y1 the distillate.
    for (const Cell& cell : found) {
        const auto* value = std::get_if<double>(&cell.value);
        if (cell.row == 2 && cell.column == 2 && !(value && std::fabs(*value - 0.883721) <= 5e-7)) {
            violations.push_back("B2 is not x1 = 0.883721");
        }
        if (cell.row == 3 && cell.column == 2 && !(value && *value == 0.95)) violations.push_back("B3 is not 0.95");
    }
    return violations;
}

std::vector<std::string> cell_differences(std::vector<Cell> expected, std::vector<Cell> found) {
    std::transform(expected.begin(), expected.end(), expected.begin(), as_stored);
    std::sort(expected.begin(), expected.end(), by_place);
    std::sort(found.begin(), found.end(), by_place);

    std::vector<std::string> violations;
    auto e = expected.begin();
    auto f = found.begin();
    while (e != expected.end() || f != found.end()) {
        if (f == found.end() || (e != expected.end() && by_place(*e, *f))) {
            violations.push_back("missing " + where(*e) + " = " + shown(e->value));
            ++e;
        } else if (e == expected.end() || by_place(*f, *e)) {
            violations.push_back("unexpected " + where(*f) + " = " + shown(f->value));
            ++f;
        } else {
            if (f->value.index() != e->value.index() || !same(f->value, e->value)) {
                violations.push_back(where(*e) + " holds " + shown(f->value) + ", not " + shown(e->value));
            }
            ++e;
            ++f;
        }
    }
    return violations;
}

std::vector<Cell> cells_of_tsv(const std::string& tsv) {
    std::vector<Cell> cells;
    std::istringstream rows(tsv);
    std::string line;
    for (int row = 1; std::getline(rows, line); ++row) {
        std::istringstream fields(line);
        std::string text;
        for (int column = 1; std::getline(fields, text, '\t'); ++column) {
            Cell cell;
            cell.row = row;
            cell.column = column;
            if (column == 1) {
                cell.value.emplace<std::string>(text);
            } else {
                cell.value.emplace<double>(std::strtod(text.c_str(), nullptr));
            }
            cells.push_back(std::move(cell));
        }
    }
    return cells;
}

}  // namespace veltrano::testkit
