#include "veltrano/gui/diagram_window.h"

#include <utility>

#include "veltrano/command/calculate.h"
#include "veltrano/core/run_error.h"

namespace veltrano::gui {

ClickHandler press_followed_by(diagram::DiagramView& view, DiagramWindow& window,
                               sheet::SpreadsheetFactory new_spreadsheet) {
    return [&view, &window, new_spreadsheet = std::move(new_spreadsheet)](command::Fields& fields) {
        view.press_started();
        try {
            command::press_calculate(fields, new_spreadsheet, [&](const command::Calculation& c) {
                view.calculated(c.inputs, c.column);
                window.refresh();
            });
        } catch (const core::RunError& e) {
            view.failed(e.number());
            window.refresh();
            throw;
        }
    };
}

}  // namespace veltrano::gui
