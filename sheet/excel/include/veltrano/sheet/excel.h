// Excel through COM Automation: the spreadsheet application of the Windows
// desktop. The programs use ExcelOptions{}; tests shorten the waits.
#pragma once

#include <chrono>
#include <memory>

#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::sheet {

struct ExcelOptions {
    // How long one call may keep being refused because Excel is busy (a user
    // editing a cell) before the export gives up with that status.
    std::chrono::milliseconds busy_limit = std::chrono::seconds(30);
    // The longest one call may go unanswered before it is cancelled.
    std::chrono::milliseconds call_timeout = std::chrono::seconds(30);
};

// A new Excel application for one export, created in create_application():
// error 429 there when Excel is not installed or cannot start. COM is entered
// on the calling thread for the backend's life if the program has not done so.
std::unique_ptr<Spreadsheet> excel_spreadsheet(ExcelOptions options = {});

}  // namespace veltrano::sheet
