// Six arbitrary texts, separated by newlines, typed into the six input fields
// before a press. Whatever they hold, the press either produces a column that
// obeys 2 <= feed plate < N <= 30 with a profile written for plates 1..N and
// zero beyond, or stops with one of the run-time errors 6, 9, 11 or 13. The
// same texts designed (design mode) give a physical column or error 5.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "veltrano/core/run_error.h"
#include "veltrano/testkit/fakes.h"
#include "veltrano/calc/design.h"
#include "veltrano/command/calculate.h"
#include "veltrano/command/input_fields.h"

namespace {

using namespace veltrano;

void require(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    // Fields in the order of the command line: F, xF, xD, xW, R, alpha.
    command::TextFields::Texts texts = testkit::first_example_texts("before");
    for (const auto input_of : command::kCommandLineOrder) {
        const std::size_t end = input.find('\n');
        texts[std::string(command::input_field(input_of).name)] = std::string(input.substr(0, end));
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    }
    command::TextFields fields(texts);

    testkit::RecordingSpreadsheet sheet;
    const std::vector<testkit::Cell>& cells = sheet.record->cells;
    try {
        const calc::ColumnResult r =
            command::run_calculate(fields, core::NumberFormat{".", ","}, sheet).column;
        const int feed = r.feed_plate.value();
        const int n = r.plate_count.value();
        require(2 <= feed && feed < n && n <= 30);
        require(fields.text(command::kFeedPlateField) == std::to_string(feed));
        require(fields.text(command::kPlateCountField) == std::to_string(n));
        for (int i = 0; i <= 30; ++i) {
            const double x = r.x.slots()[i], y = r.y.slots()[i];
            if (i == 0 || i > n) require(x == 0.0 && y == 0.0);
        }
        // The table: the three labels, then plate number, x and y of each plate.
        require(cells.size() == 3u + 3u * static_cast<unsigned>(n));
        for (int i = 1; i <= n; ++i) {
            const testkit::Cell* plate = &cells[static_cast<std::size_t>(3 * i)];
            require(plate[0] == testkit::Cell{1, i + 1, static_cast<std::int16_t>(i)});
            require(plate[1] == testkit::Cell{2, i + 1, r.x.slots()[static_cast<std::size_t>(i)]});
            require(plate[2] == testkit::Cell{3, i + 1, r.y.slots()[static_cast<std::size_t>(i)]});
        }
    } catch (const core::RunError& e) {
        const int number = e.number();
        require(number == 6 || number == 9 || number == 11 || number == 13);
        // Nothing is written when the press stops before its results.
        require(fields.text(command::kFeedPlateField) == "before" && fields.text(command::kPlateCountField) == "before");
        require(cells.empty());
    }

    // Design mode on the same six texts, with a feed quality and a tray
    // efficiency from two more lines (1 where absent): stages whose liquid
    // falls from xD to xW inside 0..1, or error 5 for a broken rule (6 or 13
    // for a text that is no number).
    try {
        double q_and_e[2] = {1, 1};
        for (double& value : q_and_e) {
            const std::size_t end = input.find('\n');
            if (!input.empty()) value = core::text_to_double(input.substr(0, end), core::NumberFormat{".", ","});
            input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
        }
        const calc::ColumnInputs in = command::read_inputs(fields, core::NumberFormat{".", ","});
        const calc::Design d = calc::design_column({in, q_and_e[0], q_and_e[1]});
        const int n = d.stage_count;
        require(1 <= d.feed_stage && d.feed_stage <= n && n <= calc::kMostStages);
        require(d.x.size() == static_cast<std::size_t>(n) && d.y.size() == d.x.size());
        for (int i = 0; i < n; ++i) {
            require(d.x[i] > 0 && d.x[i] < 1 && d.y[i] > 0 && d.y[i] < 1);
            require(i == 0 || d.x[i] < d.x[i - 1]);
        }
        require(!(d.x.back() > in.xW) && d.y.front() == in.xD);
    } catch (const core::RunError& e) {
        const int number = e.number();
        require(number == 5 || number == 6 || number == 13);
    }
    return 0;
}
