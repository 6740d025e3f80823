// Six arbitrary texts, separated by newlines, typed into the six input fields
// before a press. Whatever they hold, the press either produces a column that
// obeys 2 <= feed plate < N <= 30 with a profile written for plates 1..N and
// zero beyond, or stops with one of the run-time errors 6, 9, 11 or 13.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "veltrano/calc/errors.h"
#include "veltrano/export/spreadsheet.h"
#include "veltrano/window/calculate.h"

namespace {

using namespace veltrano;

class MapFields final : public window::Fields {
public:
    std::map<std::string, std::string, std::less<>> texts;
    std::string text(std::string_view name) override { return texts.at(std::string(name)); }
    void set_text(std::string_view name, std::string_view text) override {
        texts[std::string(name)] = std::string(text);
    }
};

// Counts the cells handed over and checks each lands inside the table.
class CountingSheet final : public exporting::Spreadsheet {
public:
    int cells = 0;
    int max_column = 0;
    void create_application() override {}
    void add_workbook() override {}
    void make_visible() override {}
    void put_cell(std::int16_t row, std::int16_t column, const exporting::CellValue&) override {
        if (row < 1 || row > 3 || column < 1) std::abort();
        ++cells;
        if (column > max_column) max_column = column;
    }
};

void require(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    // Fields in the order of the command line: F, xF, xD, xW, R, alpha.
    static const char* const kNames[] = {"Text1", "Text7", "Text2", "Text3", "Text4", "Text5"};
    MapFields fields;
    for (const char* name : kNames) {
        const std::size_t end = input.find('\n');
        fields.texts[name] = std::string(input.substr(0, end));
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    }
    fields.texts["Text6"] = "before";
    fields.texts["Text8"] = "before";

    CountingSheet sheet;
    try {
        const calc::ColumnResult r =
            window::run_calculate(fields, platform::NumberFormat{".", ","}, sheet);
        const int feed = r.feed_plate.value();
        const int n = r.plate_count.value();
        require(2 <= feed && feed < n && n <= 30);
        require(fields.texts["Text8"] == std::to_string(feed));
        require(fields.texts["Text6"] == std::to_string(n));
        for (int i = 0; i <= 30; ++i) {
            const double x = r.x.slots()[i], y = r.y.slots()[i];
            if (i == 0 || i > n) require(x == 0.0 && y == 0.0);
        }
        require(sheet.cells == 3 + 3 * n && sheet.max_column == n + 1);
    } catch (const calc::RunError& e) {
        const int number = e.number();
        require(number == 6 || number == 9 || number == 11 || number == 13);
        // Nothing is written when the press stops before its results.
        require(fields.texts["Text6"] == "before" && fields.texts["Text8"] == "before");
        require(sheet.cells == 0);
    }
    return 0;
}
