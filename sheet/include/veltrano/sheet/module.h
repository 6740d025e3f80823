// A spreadsheet backend built as a module of its own and loaded when the
// first export needs it, so that the programs start and compute on a machine
// without the spreadsheet application and only the export says it is missing.
#pragma once

#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::sheet {

// The module's entry: a new backend with the product's settings, owned by
// the caller. It starts nothing; a backend that cannot work says so in
// create_application().
using NewSpreadsheet = Spreadsheet* (*)();
inline constexpr const char* kNewSpreadsheetSymbol = "veltrano_new_spreadsheet";

// Raised whenever Spreadsheet, CellValue or RunError change shape: a module
// built from other sources than the program is refused, never called.
inline constexpr int kModuleInterfaceVersion = 1;
inline constexpr const char* kModuleVersionSymbol = "veltrano_spreadsheet_module_version";

}  // namespace veltrano::sheet
