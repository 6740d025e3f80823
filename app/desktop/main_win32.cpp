// The Windows desktop program: the main window on the Win32 API, the
// diagram window of its last press, opened with F2 or from its menus, and
// the design workbench, opened with F3 or from the same menus; or, started
// as `veltrano --design`, the workbench alone.
#include <windows.h>

#include <cwctype>
#include <string_view>

#include "desktop_spreadsheet.h"
#include "veltrano/command/main_form.h"
#include "veltrano/command/workbench.h"
#include "veltrano/diagram/window.h"
#include "veltrano/gui/diagram_window.h"
#include "veltrano/gui/form_runtime.h"
#include "veltrano/gui/workbench.h"

namespace {

// Whether the command line's arguments (the program's name already left
// out) hold `--design` as a word of its own, quoted or not. Read here
// rather than with CommandLineToArgvW, which would load shell32 at every
// start for one word.
bool asks_for_design(std::wstring_view arguments) {
    constexpr std::wstring_view kDesign = L"--design";
    for (std::size_t at = 0; at < arguments.size();) {
        while (at < arguments.size() && std::iswspace(arguments[at])) ++at;
        std::size_t end = at;
        bool quoted = false;
        while (end < arguments.size() && (quoted || !std::iswspace(arguments[end]))) {
            if (arguments[end] == L'"') quoted = !quoted;
            ++end;
        }
        std::wstring_view word = arguments.substr(at, end - at);
        if (word.size() >= 2 && word.front() == L'"' && word.back() == L'"') word = word.substr(1, word.size() - 2);
        if (word == kDesign) return true;
        at = end;
    }
    return false;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    using namespace veltrano;
    if (arguments != nullptr && asks_for_design(arguments)) return gui::run_workbench(0, nullptr, app::desktop_spreadsheet);
    diagram::DiagramView view;
    gui::DiagramWindow window(view);
    gui::WorkbenchWindow workbench(app::desktop_spreadsheet);
    const gui::ClickHandler on_click = gui::press_followed_by(view, window, app::desktop_spreadsheet);
    // The window reads the show state the program was started with itself.
    return gui::run_form(0, nullptr, command::main_form(), on_click,
                         {{diagram::kOpenCommand, 2, [&] { window.open(); }},
                          {command::kOpenWorkbench, command::kWorkbenchKey, [&] { workbench.open(); }}});
}
