// The workbench window on Windows, shared by its two halves:
// workbench_win32.cpp (the window, its messages, the recomputed outcomes,
// the buttons, what is remembered) and workbench_controls_win32.cpp (the
// controls made and placed from command::workbench_layout()).
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "veltrano/command/workbench.h"
#include "veltrano/gui/workbench.h"
#include "win32_handles.h"
#include "workbench_picture_win32.h"

namespace veltrano::gui {

// The outcome of a submission, posted from the recomputing thread: the
// message's LPARAM owns one of these, WPARAM is the submission's number.
inline constexpr UINT kOutcomeMessage = WM_APP + 1;
// Asks for a data file once the list has closed on its last item.
inline constexpr UINT kAskForFileMessage = WM_APP + 2;

struct WorkbenchWindow::Impl {
    Impl(sheet::SpreadsheetFactory factory, bool alone_) : new_spreadsheet(std::move(factory)), alone(alone_) {}

    HWND hwnd() const { return window.get(); }

    // --- workbench_win32.cpp
    bool create();
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void command(int id, int code, HWND from);
    void edited(std::size_t row);
    void mixture_chosen();
    void ask_for_file();
    void submit();
    void outcome_arrived(std::uint64_t submission, std::shared_ptr<const command::WorkbenchOutcome> outcome);
    void press_export(HWND button);
    void remember(const std::map<std::string, std::string>& values);
    void remember_size();
    void closing();

    // --- workbench_controls_win32.cpp
    bool create_controls();
    void place_controls();
    void apply_dpi(UINT new_dpi);
    void fill_mixture_list();
    void enable_fields();
    void show_outcome();
    void mark_failed_field(const std::string& field);
    void paint_marks();
    LRESULT table_text(LPARAM info) const;
    std::size_t row_of(std::string_view name) const;  // in the layout; layout.size() when none
    HWND control(std::string_view name) const;
    RECT device_rect(const command::Box& box) const;
    SIZE frame_for(double width, double height) const;

    sheet::SpreadsheetFactory new_spreadsheet;
    bool alone;
    command::WorkbenchState state = command::WorkbenchState::first_start();
    std::vector<command::WorkbenchControl> layout;  // as placed now
    std::vector<HWND> children;                     // by row of the layout; the window destroys them
    win32::PictureArea picture;
    HWND tooltips = nullptr;  // owned by the window
    win32::Font font;         // lent to every control
    win32::Icon big_icon, small_icon;
    UINT dpi = USER_DEFAULT_SCREEN_DPI;

    std::unique_ptr<command::Recomputer> recomputer;
    std::uint64_t latest = 0;  // the last submission's number
    std::shared_ptr<const command::WorkbenchOutcome> outcome;  // shown
    std::string marked;  // the field framed in red, empty when none
    bool filling = false;   // the window writes the fields: no edit of the user's
    bool pressing = false;  // an export runs
    bool close_requested = false;  // while it ran
    bool unremembered = false;     // a change could not be kept: said once
    std::map<std::string, std::string> kept;  // in the registry, as written last
    HWND focus = nullptr;   // given back when the window is active again

    // Last, so destroyed first: its last messages still find the members above.
    win32::Window window;
};

}  // namespace veltrano::gui
