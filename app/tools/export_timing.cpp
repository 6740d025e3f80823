// Times one export against LibreOffice for scripts/measure-export.sh.
//
//   veltrano-export-timing full PROFILE_DIR   press of the first example to its last cell written
//   veltrano-export-timing empty PROFILE_DIR  start the office and open an empty, visible Calc document
//
// Prints "<milliseconds> <office process group>"; the office is left running
// for the caller to end. Headless when there is no DISPLAY.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "veltrano/core/run_error.h"
#include "veltrano/sheet/libreoffice.h"
#include "veltrano/core/error_report.h"
#include "veltrano/core/number_text.h"
#include "veltrano/testkit/fakes.h"
#include "veltrano/command/calculate.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace veltrano;
    if (argc != 3 || (std::string(argv[1]) != "full" && std::string(argv[1]) != "empty")) {
        std::cerr << "usage: veltrano-export-timing full|empty PROFILE_DIR\n";
        return 2;
    }
    const bool full = std::string(argv[1]) == "full";
    int group = 0;
    Clock::time_point last_cell{};
    sheet::OfficeOptions options;
    options.profile_dir = argv[2];
    options.headless = std::getenv("DISPLAY") == nullptr;
    options.start_deadline = std::chrono::seconds(120);
    options.on_started = [&](const sheet::OfficeStarted& s) { group = s.group; };
    options.after_cell = [&](int) { last_cell = Clock::now(); };

    try {
        const auto sheet = sheet::libreoffice_spreadsheet(options);
        const Clock::time_point press = Clock::now();
        if (full) {
            command::TextFields fields(testkit::first_example_texts());
            command::run_calculate(fields, core::user_number_format(), *sheet);
            std::printf("%.1f %d\n", ms_since(press, last_cell), group);
        } else {
            sheet->create_application();
            sheet->add_workbook();
            sheet->make_visible();
            std::printf("%.1f %d\n", ms_since(press, Clock::now()), group);
        }
    } catch (const core::RunError& e) {
        std::cerr << core::error_report(e).line() << '\n';
        return 1;
    }
    return 0;
}
