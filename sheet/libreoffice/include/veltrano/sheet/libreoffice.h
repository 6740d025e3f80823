// LibreOffice Calc as the spreadsheet application (Linux).
//
// The programs load it as a module (veltrano-libreoffice.so) with the
// product's settings, OfficeOptions{}; tests and the timing tool link it and
// build one with their own settings.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::sheet {

struct OfficeStarted {
    int pid;                // the started soffice launcher
    int group;              // its session and process group
    std::string pipe_name;  // the private pipe it accepts UNO connections on
};

struct OfficeOptions {
    // soffice: a name looked up on PATH (then in the Debian install), or a path.
    std::string program = "soffice";
    // Empty: the user's own profile, so their settings and recent documents
    // apply and a running office of theirs takes the new document. Otherwise a
    // directory of its own (tests, timing).
    std::string profile_dir;
    // --headless --invisible: for machines without a display (tests); no
    // display is checked then.
    bool headless = false;
    // How long the start may take, from the press until the office has
    // answered on our pipe: waiting for another export of the user's to
    // finish, checking the display, starting or reaching the office.
    std::chrono::milliseconds start_deadline = std::chrono::seconds(30);
    // The longest any single call into the office may take before the export
    // gives up on it.
    std::chrono::milliseconds call_timeout = std::chrono::seconds(30);

    std::function<void(const OfficeStarted&)> on_started;
    // Called after each cell write with the number of cells written so far.
    std::function<void(int cells)> after_cell;
};

std::unique_ptr<Spreadsheet> libreoffice_spreadsheet(OfficeOptions options);

}  // namespace veltrano::sheet
