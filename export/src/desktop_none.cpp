// Windows until Excel is driven through COM: the export has nowhere to go.
#include "veltrano/export/desktop.h"
#include "veltrano/export/text_table.h"

namespace veltrano::exporting {

std::unique_ptr<Spreadsheet> desktop_spreadsheet() { return std::make_unique<TextTable>(); }

}  // namespace veltrano::exporting
