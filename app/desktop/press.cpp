#include "desktop_spreadsheet.h"

#include "veltrano/command/calculate.h"

namespace veltrano::app {

void press_calculate(command::Fields& fields, const core::NumberFormat& format) {
    // The application's references are released when `sheet` goes, at the end of the press.
    const std::unique_ptr<sheet::Spreadsheet> sheet = desktop_spreadsheet();
    command::run_calculate(fields, format, *sheet);
}

}  // namespace veltrano::app
