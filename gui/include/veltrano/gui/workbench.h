// The design workbench window: built from command/workbench.h's layout,
// recomputed off the user-interface thread at every edit, remembered
// between runs (QSettings on Linux, HKEY_CURRENT_USER\Software\Veltrano on
// Windows). Nothing of it is created before the first open(). One
// implementation per desktop.
#pragma once

#include <memory>

#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::gui {

class WorkbenchWindow {
public:
    // `alone`: opened by `veltrano --design`; closing it ends the program.
    // Otherwise it sits beside the main window, which alone ends it.
    WorkbenchWindow(sheet::SpreadsheetFactory new_spreadsheet, bool alone = false);
    ~WorkbenchWindow();
    WorkbenchWindow(const WorkbenchWindow&) = delete;
    WorkbenchWindow& operator=(const WorkbenchWindow&) = delete;

    // Opens the window, or raises it when it is open already.
    void open();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// `veltrano --design`: the workbench alone, its event loop run until it
// closes. Returns the process exit status.
int run_workbench(int argc, char** argv, sheet::SpreadsheetFactory new_spreadsheet);

}  // namespace veltrano::gui
