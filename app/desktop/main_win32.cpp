// The Windows desktop program: the main window on the Win32 API, and the
// diagram window of its last press, opened with F2 or from its menus.
#include <windows.h>

#include "desktop_spreadsheet.h"
#include "veltrano/command/main_form.h"
#include "veltrano/diagram/window.h"
#include "veltrano/gui/diagram_window.h"
#include "veltrano/gui/form_runtime.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace veltrano;
    diagram::DiagramView view;
    gui::DiagramWindow window(view);
    const gui::ClickHandler on_click = gui::press_followed_by(view, window, app::desktop_spreadsheet);
    // The window reads the show state the program was started with itself.
    return gui::run_form(0, nullptr, command::main_form(), on_click,
                         {{diagram::kOpenCommand, 2, [&] { window.open(); }}});
}
