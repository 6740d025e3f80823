// The Windows desktop program: the main window on the Win32 API, and the
// diagram window of its last press, opened with F2 or from its menus.
#include <windows.h>

#include "desktop_spreadsheet.h"
#include "veltrano/command/calculate.h"
#include "veltrano/command/main_form.h"
#include "veltrano/core/run_error.h"
#include "veltrano/diagram/window.h"
#include "veltrano/gui/diagram_window.h"
#include "veltrano/gui/form_runtime.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace veltrano;
    diagram::DiagramView view;
    gui::DiagramWindow window(view);
    const auto on_click = [&](command::Fields& fields) {
        view.press_started();
        try {
            command::press_calculate(fields, app::desktop_spreadsheet, [&](const command::Calculation& c) {
                view.calculated(c.inputs, c.column);
            });
        } catch (const core::RunError& e) {
            view.failed(e.number());
            window.refresh();
            throw;  // the window's error box reports it
        }
        window.refresh();
    };
    // The window reads the show state the program was started with itself.
    return gui::run_form(0, nullptr, command::main_form(), on_click,
                         {{diagram::kOpenCommand, 2, [&] { window.open(); }}});
}
