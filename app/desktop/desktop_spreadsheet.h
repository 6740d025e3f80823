// This desktop's spreadsheet application, as the programs hand it to the
// Calculate command and the command line.
#pragma once

#include <memory>

#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::app {

// A new spreadsheet application for one export. Nothing is loaded or started
// until its create_application(): error 429 there when the desktop's
// spreadsheet application cannot be had.
std::unique_ptr<sheet::Spreadsheet> desktop_spreadsheet();

}  // namespace veltrano::app
