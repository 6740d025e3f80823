// The diagram window: a top-level window beside the main window that
// paints what a DiagramView shows, scaled to its size. Nothing of it is
// created (and on Windows, GDI+ is not loaded) before the first open().
// One implementation per desktop.
#pragma once

#include <memory>

#include "veltrano/diagram/window.h"

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

}  // namespace veltrano::gui
