// The diagram window: a top-level window beside the main window that
// paints what a DiagramView shows, scaled to its size. Nothing of it is
// created (and on Windows, GDI+ is not loaded) before the first open().
// One implementation per desktop.
#pragma once

#include <memory>

#include "veltrano/diagram/window.h"
#include "veltrano/gui/form_runtime.h"
#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::gui {

class DiagramWindow {
public:
    // `view` outlives the window.
    explicit DiagramWindow(const diagram::DiagramView& view);
    ~DiagramWindow();
    DiagramWindow(const DiagramWindow&) = delete;
    DiagramWindow& operator=(const DiagramWindow&) = delete;

    // Opens the window, or raises it when it is open already.
    void open();
    // The view has changed (a press): repaint if open.
    void refresh();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The main window's click when the diagram window follows every press: the
// Calculate command, the export to a spreadsheet from `new_spreadsheet`
// included, with `view` told of the press and `window` repainted as soon as
// the column is computed and in the fields (before the spreadsheet, which
// may take seconds), and again when the press fails before or after that.
// The failure goes on to the form runtime, which reports it. `view` and
// `window` outlive the handler.
ClickHandler press_followed_by(diagram::DiagramView& view, DiagramWindow& window,
                               sheet::SpreadsheetFactory new_spreadsheet);

}  // namespace veltrano::gui
