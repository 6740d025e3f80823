// For app/tests/workbench_xvfb.py: what the office the program handed its
// table to holds, read back through UNO as a user would find it. The office
// runs on the user's profile (this process's HOME). Prints, for every
// document (each must be a spreadsheet), the line "document" and then each
// row of its first sheet's used area, cells separated by tabs: text as
// text, numbers as %.17g (exact), an empty cell as nothing.
//
//   office_cells [--terminate]   (--terminate: then the office is ended)
// Status 0 when it could read, 1 when the office never answered or holds
// another kind of document.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <variant>
#include <vector>

#include <com/sun/star/uno/Exception.hpp>
#include <rtl/bootstrap.hxx>

#include "office_link.h"

namespace {

using veltrano::testkit::Cell;

// The document's rows, from the top of its used area to the bottom, cells
// separated by tabs across the used columns; an empty cell as nothing.
void print_first_sheet(const std::vector<Cell>& cells) {
    std::puts("document");
    if (cells.empty()) return;
    const auto [left, right] = std::minmax_element(
        cells.begin(), cells.end(), [](const Cell& a, const Cell& b) { return a.column < b.column; });
    auto cell = cells.begin();  // in row order, each row from the left
    for (int row = cells.front().row; row <= cells.back().row; ++row) {
        std::string line;
        for (int column = left->column; column <= right->column; ++column) {
            if (column > left->column) line += '\t';
            if (cell == cells.end() || cell->row != row || cell->column != column) continue;
            if (const auto* number = std::get_if<double>(&cell->value)) {
                char text[32];
                std::snprintf(text, sizeof text, "%.17g", *number);
                line += text;
            } else if (const auto* text = std::get_if<std::string>(&cell->value)) {
                line += *text;
            }
            ++cell;
        }
        std::puts(line.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace veltrano::sheet;
    const bool terminate = argc > 1 && std::strcmp(argv[1], "--terminate") == 0;
    rtl::Bootstrap::set("URE_BOOTSTRAP", "vnd.sun.star.pathname:" VELTRANO_OFFICE_PROGRAM_DIR "/fundamentalrc");
    try {
        OfficeLink link(std::nullopt, std::chrono::seconds(60));
        for (const auto& document : link.spreadsheets()) print_first_sheet(cells_of(document));
        std::fflush(stdout);
        if (terminate) link.terminate_office();
    } catch (const com::sun::star::uno::Exception& e) {
        std::fprintf(stderr, "office_cells: %s\n", from_ou(e.Message).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "office_cells: %s\n", e.what());
        return 1;
    }
    return 0;
}
