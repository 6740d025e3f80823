// Windows until Excel is driven through COM: the press shows its results and
// the export has nowhere visible to go.
#include "desktop_spreadsheet.h"
#include "veltrano/export/text_table.h"

namespace veltrano::app {

std::unique_ptr<exporting::Spreadsheet> desktop_spreadsheet() { return std::make_unique<exporting::TextTable>(); }

}  // namespace veltrano::app
