// This desktop's spreadsheet application, as the programs use it.
#pragma once

#include <memory>

#include "veltrano/sheet/spreadsheet.h"
#include "veltrano/command/fields.h"
#include "veltrano/core/number_text.h"

namespace veltrano::app {

// A new spreadsheet application for one export. Nothing is loaded or started
// until its create_application(): error 429 there when the desktop's
// spreadsheet application cannot be had.
std::unique_ptr<sheet::Spreadsheet> desktop_spreadsheet();

// The click of Command1: one press, its profile handed to a new spreadsheet
// application.
void press_calculate(command::Fields& fields, const core::NumberFormat& format);

}  // namespace veltrano::app
