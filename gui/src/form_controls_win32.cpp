// The main window's controls on Windows: the window class, each control
// made from its row of the form's table and placed from its twips at the
// window's DPI, the tooltips, and all of it placed again at a new DPI.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "dpi_win32.h"
#include "form_window_win32.h"
#include "tooltips_win32.h"
#include "top_level_win32.h"
#include "veltrano/core/run_error.h"
#include "veltrano/core/utf16.h"

namespace veltrano::gui::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"VeltranoForm";
constexpr wchar_t kLineClass[] = L"VeltranoLine";

// Where a control lies in the client area at `dpi`.
RECT control_rect(const command::Control& c, UINT dpi) {
    const auto px = [dpi](int twips) { return command::twips_to_pixels(twips, static_cast<double>(dpi)); };
    if (c.kind == command::ControlKind::Line) {
        // The table's lines run straight across or down. The last point of a
        // line is not drawn, so a line from x1 to x2 covers x2 - x1 pixels;
        // it is one pixel thick at every DPI.
        const int x1 = px(c.from.x), y1 = px(c.from.y), x2 = px(c.to.x), y2 = px(c.to.y);
        const RECT r{std::min(x1, x2), std::min(y1, y2), 0, 0};
        return {r.left, r.top, r.left + std::max(1, std::abs(x2 - x1)), r.top + std::max(1, std::abs(y2 - y1))};
    }
    return {px(c.left), px(c.top), px(c.left) + px(c.width), px(c.top) + px(c.height)};
}

}  // namespace

[[noreturn]] void window_call_failed(const std::string& what) {
    const DWORD code = GetLastError();
    const auto status = code != 0 ? static_cast<std::int32_t>(HRESULT_FROM_WIN32(code))
                                  : static_cast<std::int32_t>(E_FAIL);
    throw core::RunError::automation(status, what);
}

HWND FormWindow::text_box(std::string_view name) const {
    for (std::size_t i = 0; i < form_.controls.size(); ++i) {
        if (form_.controls[i].name == name && form_.controls[i].kind == command::ControlKind::TextBox) {
            return children_[i];
        }
    }
    throw core::RunError::automation(command::kNoSuchTextBox, "窗口中没有文本框“" + std::string(name) + "”");
}

void FormWindow::register_classes(HINSTANCE instance) {
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = &FormWindow::procedure;
    form.hInstance = instance;
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kFormClass;
    RegisterClassExW(&form);

    // A line is a child window one pixel thick, filled in the window text
    // colour, the default colour of a line on a form.
    WNDCLASSEXW line{};
    line.cbSize = sizeof line;
    line.lpfnWndProc = DefWindowProcW;
    line.hInstance = instance;
    line.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOWTEXT + 1);
    line.lpszClassName = kLineClass;
    RegisterClassExW(&line);
}

bool FormWindow::create(int show) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(instance, kFormClass, &existing)) register_classes(instance);

    // A sizable top-level window at the system's default place, sized for
    // the DPI of the primary monitor, where the default place lies.
    const UINT dpi = initial_dpi();
    const SIZE size = frame_for(dpi);
    CreateWindowExW(0, kFormClass, core::to_utf16(form_.caption).c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                    CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, instance, this);
    // A window that failed part-way was destroyed by the system and forgotten.
    if (!window_) return false;

    // Creation order is z-order, which both the dialog manager and the
    // system's accessibility layer read: every control with a tab index in
    // ascending order, the lines last. A text box's label thus comes just
    // before the box, where a screen reader looks for the box's name; the
    // labels take no Tab stop, so Tab still visits the fields and the button
    // in tab-index order.
    font_ = message_font(dpi);
    children_.assign(form_.controls.size(), nullptr);
    std::vector<std::size_t> rows(form_.controls.size());
    std::iota(rows.begin(), rows.end(), std::size_t{0});
    const auto place = [this](std::size_t row) {
        const int tab_index = form_.controls[row].tab_index;
        return tab_index < 0 ? std::numeric_limits<int>::max() : tab_index;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) { return place(a) < place(b); });
    for (std::size_t row : rows) {
        children_[row] = create_control(row, dpi);
        if (children_[row] == nullptr) return false;
    }
    if (const auto order = command::tab_order(form_); !order.empty()) {
        focus_ = children_[static_cast<std::size_t>(order.front() - form_.controls.data())];
    }
    add_tooltips(dpi);
    set_icons(dpi);
    add_to_system_menu();

    // Placed on a monitor of another DPI after all.
    if (const UINT actual = window_dpi(hwnd()); actual != dpi) {
        apply_dpi(actual);
        const SIZE resized = frame_for(actual);
        SetWindowPos(hwnd(), nullptr, 0, 0, resized.cx, resized.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Activation gives the focus to the first field (WM_SETFOCUS in form_win32.cpp).
    ShowWindow(hwnd(), show);
    UpdateWindow(hwnd());
    return true;
}

// The outer size of the window at `dpi`: the form's client area inside the frame.
SIZE FormWindow::frame_for(UINT dpi) const {
    return frame_size(command::twips_to_pixels(form_.client_width, dpi),
                      command::twips_to_pixels(form_.client_height, dpi), WS_OVERLAPPEDWINDOW, 0, dpi);
}

HWND FormWindow::create_control(std::size_t row, UINT dpi) {
    const command::Control& c = form_.controls[row];
    const wchar_t* window_class = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD ex_style = 0;
    switch (c.kind) {
    case command::ControlKind::Label:
        style |= SS_LEFT | SS_NOPREFIX;
        break;
    case command::ControlKind::TextBox:
        window_class = L"EDIT";
        style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
        ex_style = WS_EX_CLIENTEDGE;
        break;
    case command::ControlKind::Button:
        // A plain push button, never the default one.
        window_class = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    case command::ControlKind::Line:
        window_class = kLineClass;
        break;
    }
    const auto id = static_cast<INT_PTR>(kFirstControlId + static_cast<int>(row));
    const RECT r = control_rect(c, dpi);
    HWND control = CreateWindowExW(ex_style, window_class, core::to_utf16(c.caption).c_str(), style, r.left, r.top,
                                   r.right - r.left, r.bottom - r.top, hwnd(), reinterpret_cast<HMENU>(id),
                                   GetModuleHandleW(nullptr), nullptr);
    if (control != nullptr && c.kind != command::ControlKind::Line) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    }
    return control;
}

// One tooltip control for the whole window, with a tool for each control
// the table gives a tooltip.
void FormWindow::add_tooltips(UINT dpi) {
    tooltips_ = create_tooltips(hwnd());
    for (std::size_t row = 0; row < form_.controls.size(); ++row) {
        const command::Control& c = form_.controls[row];
        if (!c.tooltip.empty()) add_tooltip(tooltips_, hwnd(), children_[row], c.tooltip);
    }
    size_tooltips(tooltips_, font_.get(), dpi);
}

// Moved to a monitor of another DPI: every control placed again and given
// the message font at the new DPI, and the icons redrawn to its sizes. The
// controls keep their places when the window is resized: only this moves them.
void FormWindow::apply_dpi(UINT dpi) {
    Font font = message_font(dpi);
    for (std::size_t row = 0; row < children_.size(); ++row) {
        const RECT r = control_rect(form_.controls[row], dpi);
        if (form_.controls[row].kind != command::ControlKind::Line) {
            SendMessageW(children_[row], WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        }
        SetWindowPos(children_[row], nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(children_[row], nullptr, TRUE);
    }
    size_tooltips(tooltips_, font.get(), dpi);
    font_ = std::move(font);
    set_icons(dpi);
}

// The application icon of the .exe, at the sizes of the title bar and the
// task switcher at `dpi`.
void FormWindow::set_icons(UINT dpi) { win32::set_icons(hwnd(), form_.icon, dpi, big_icon_, small_icon_); }

}  // namespace veltrano::gui::win32
