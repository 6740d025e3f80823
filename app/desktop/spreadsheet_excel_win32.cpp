// Windows: the profile goes to a new, visible Excel workbook.
#include "desktop_spreadsheet.h"
#include "veltrano/export/excel.h"

namespace veltrano::app {

std::unique_ptr<exporting::Spreadsheet> desktop_spreadsheet() { return exporting::excel_spreadsheet(); }

}  // namespace veltrano::app
