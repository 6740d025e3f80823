// Windows: the profile goes to a new, visible Excel workbook.
#include "desktop_spreadsheet.h"
#include "veltrano/sheet/excel.h"

namespace veltrano::app {

std::unique_ptr<sheet::Spreadsheet> desktop_spreadsheet() { return sheet::excel_spreadsheet(); }

}  // namespace veltrano::app
