// The spreadsheet application of this desktop, one new instance per export.
#pragma once

#include <memory>

#include "veltrano/export/spreadsheet.h"

namespace veltrano::exporting {

// A backend ready for one export_profile() call. Nothing is started until
// create_application() is called.
std::unique_ptr<Spreadsheet> desktop_spreadsheet();

}  // namespace veltrano::exporting
