// The main window of the form runtime on Windows: one top-level window and
// its child controls, placed by hand from the twips table at the window's
// DPI. form_win32.cpp handles its messages and presses; form_controls_win32.cpp
// builds and places its controls.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "veltrano/command/form.h"
#include "veltrano/gui/form_runtime.h"
#include "win32_handles.h"

namespace veltrano::gui::win32 {

inline constexpr int kFirstControlId = 100;

// A failed window call as the run-time error the press reports: the
// system's status as an HRESULT, E_FAIL when the system gave none.
[[noreturn]] void window_call_failed(const std::string& what);

class FormWindow {
public:
    FormWindow(const command::Form& form, ClickHandler on_click, std::vector<WindowCommand> commands)
        : form_(form), on_click_(std::move(on_click)), commands_(std::move(commands)) {}
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // Creates the window and its controls and shows it; false with the
    // system's error code when the window cannot be created (no desktop).
    bool create(int show);

    HWND hwnd() const { return window_.get(); }

    // Enter on a focused push button presses it, as Space does. The dialog
    // manager would send IDOK instead, which presses nothing here: Enter and
    // Esc in a text box must not run the command.
    bool press_on_enter(const MSG& msg) const;

    // A window command's function key pressed in this window, whichever of
    // its controls has the focus, runs the command (as an accelerator
    // would): looked at before the dialog manager, which would hand the key
    // to the control.
    bool run_on_function_key(const MSG& msg);

    // The text box `name` of this window, or a RunError with E_INVALIDARG.
    HWND text_box(std::string_view name) const;

private:
    static void register_classes(HINSTANCE instance);
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

    bool is_button(HWND window) const;
    HWND create_control(std::size_t row, UINT dpi);
    void add_tooltips(UINT dpi);
    SIZE frame_for(UINT dpi) const;
    void apply_dpi(UINT dpi);
    void set_icons(UINT dpi);
    void press(HWND button);
    void add_to_system_menu();
    bool context_menu(LPARAM at);
    void run(const WindowCommand& c);

    const command::Form& form_;
    ClickHandler on_click_;
    std::vector<WindowCommand> commands_;
    std::vector<HWND> children_;  // by row of the form's table; the window destroys them
    HWND tooltips_ = nullptr;      // owned by the window, which destroys it
    Font font_;                    // lent to every control but the lines
    Icon big_icon_, small_icon_;
    HWND focus_ = nullptr;  // given back when the window is active again
    bool pressing_ = false;
    bool close_requested_ = false;
    // Last, so destroyed first: the window's last messages still find every
    // member above, and the font and icons outlive its use of them.
    Window window_;
};

}  // namespace veltrano::gui::win32
