// The Qt form runtime's own pieces, for the runtime and the window's tests.
#pragma once

#include <memory>
#include <vector>

#include <QFont>
#include <QWidget>

#include "veltrano/gui/form_runtime.h"

namespace veltrano::gui {

// Application-wide settings made once the QApplication exists: the font
// every control uses.
void set_up_qt_application();

// A CJK-capable sans-serif at 9 pt, the same on every machine that has one of
// the listed families, so the Chinese captions neither clip nor turn to boxes.
QFont form_font();

// The top-level window of `form`, with every control, not yet shown. Each
// button's click runs `on_click` and reports a RunError in a message box;
// `commands` are on their keys and in the background's context menu.
std::unique_ptr<QWidget> build_form(const command::Form& form, ClickHandler on_click,
                                    const std::vector<WindowCommand>& commands = {});

}  // namespace veltrano::gui
