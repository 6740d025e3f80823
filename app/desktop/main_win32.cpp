// The Windows desktop program: the main window on the Win32 API.
#include <windows.h>

#include "desktop_spreadsheet.h"
#include "veltrano/command/calculate.h"
#include "veltrano/command/main_form.h"
#include "veltrano/gui/form_runtime.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The window reads the show state the program was started with itself.
    return veltrano::gui::run_form(0, nullptr, veltrano::command::main_form(), [](veltrano::command::Fields& fields) {
        veltrano::command::press_calculate(fields, veltrano::app::desktop_spreadsheet);
    });
}
