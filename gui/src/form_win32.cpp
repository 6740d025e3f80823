// The form runtime on Windows: the main window's messages, its presses,
// menus and message loop. A plain window with the dialog manager's keyboard
// handling (IsDialogMessage) in its message loop: Tab and Shift+Tab follow
// the creation order of the controls (form_controls_win32.cpp makes them).
#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dpi_win32.h"
#include "form_window_win32.h"
#include "modeless_win32.h"
#include "top_level_win32.h"
#include "veltrano/core/error_report.h"
#include "veltrano/core/utf16.h"
#include "veltrano/gui/form_runtime.h"
#include "veltrano/gui/form_win32.h"
#include "win32_handles.h"

namespace veltrano::gui {

namespace {

constexpr unsigned kFirstSystemCommand = 0x0100;

}  // namespace

namespace win32 {

namespace {

// The text boxes of a FormWindow: each call finds the box by name, makes one
// text call on it and keeps no handle.
class Win32Fields final : public command::Fields {
public:
    explicit Win32Fields(const FormWindow& window) : window_(window) {}

    std::string text(std::string_view name) override {
        HWND box = window_.text_box(name);
        const int length = GetWindowTextLengthW(box);
        std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
        SetLastError(0);
        const int copied = GetWindowTextW(box, text.data(), static_cast<int>(text.size()));
        if (copied == 0 && GetLastError() != 0) {
            window_call_failed("读不出文本框“" + std::string(name) + "”的内容");
        }
        text.resize(static_cast<std::size_t>(copied));
        return core::to_utf8(text);
    }

    void set_text(std::string_view name, std::string_view text) override {
        HWND box = window_.text_box(name);
        SetLastError(0);
        if (!SetWindowTextW(box, core::to_utf16(text).c_str())) {
            window_call_failed("写不进文本框“" + std::string(name) + "”");
        }
        // Painted now, not when the press returns: the export that follows
        // may take seconds, and the window must not show the old answer
        // beside the new inputs meanwhile.
        UpdateWindow(box);
    }

private:
    const FormWindow& window_;
};

}  // namespace

bool FormWindow::press_on_enter(const MSG& msg) const {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN || !is_button(msg.hwnd)) return false;
    if (IsWindowEnabled(msg.hwnd)) SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
    return true;
}

bool FormWindow::run_on_function_key(const MSG& msg) {
        if (msg.message != WM_KEYDOWN || msg.wParam < VK_F1 || msg.wParam > VK_F24 || hwnd() == nullptr) return false;
        if (msg.hwnd != hwnd() && !IsChild(hwnd(), msg.hwnd)) return false;
        if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0) return false;
        const int key = static_cast<int>(msg.wParam - VK_F1) + 1;
        for (const WindowCommand& c : commands_) {
            if (c.function_key == key) {
                run(c);
                return true;
            }
        }
        return false;
    }

bool FormWindow::is_button(HWND window) const {
        for (std::size_t i = 0; i < children_.size(); ++i) {
            if (children_[i] == window && form_.controls[i].kind == command::ControlKind::Button) return true;
        }
        return false;
    }

LRESULT CALLBACK FormWindow::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = window_owner<FormWindow>(hwnd, message, lparam);
    if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    if (message == WM_NCCREATE) self->window_ = Window(hwnd);
    return self->handle(hwnd, message, wparam, lparam);
}

// One press of a button. While the command runs the button is greyed and
// the cursor busy; what the user clicked or typed meanwhile waits in the
// queue and is dropped once the command has returned, so impatient clicks
// start no further presses. A request to close the window that arrives
// before the press is over (the error box's own message loop delivers it)
// is honoured once the box has been answered.
void FormWindow::press(HWND button) {
    if (pressing_) return;  // a press already runs further up this stack
    pressing_ = true;
    HWND focus = GetFocus();
    EnableWindow(button, FALSE);
    HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    UpdateWindow(button);

    const std::optional<core::ErrorReport> report = core::run_press([&] {
        Win32Fields fields(*this);
        on_click_(fields);
    });

    MSG queued;
    while (PeekMessageW(&queued, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&queued, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    EnableWindow(button, TRUE);
    SetCursor(cursor);
    // A disabled control loses the focus: give it back to where it was.
    if (focus != nullptr && GetFocus() == nullptr && GetActiveWindow() == hwnd()) SetFocus(focus);

    if (report) {
        // The buttons of the box in the window's language where the system
        // has it, whatever the user's own.
        MessageBoxExW(hwnd(), core::to_utf16(report->box_text()).c_str(), core::to_utf16(report->title).c_str(),
                      MB_OK | MB_ICONERROR, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    }
    pressing_ = false;
    if (close_requested_) {
        close_requested_ = false;
        PostMessageW(hwnd(), WM_CLOSE, 0, 0);
    }
}

// A window command as a menu shows it: its text, a tab, its key.
static std::wstring menu_text(const WindowCommand& c) {
    std::wstring text = core::to_utf16(c.text);
    if (c.function_key > 0) text += L"\tF" + std::to_wstring(c.function_key);
    return text;
}

// The window's commands at the end of its system menu, after a separator.
void FormWindow::add_to_system_menu() {
    if (commands_.empty()) return;
    HMENU menu = GetSystemMenu(hwnd(), FALSE);  // the window's own copy, destroyed with it
    if (menu == nullptr) return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (std::size_t i = 0; i < commands_.size(); ++i) {
        AppendMenuW(menu, MF_STRING, win32_system_command(i), menu_text(commands_[i]).c_str());
    }
}

// The context menu of the window's background: a right-click outside the
// text boxes (which have their own), or the menu key there. False for a
// right-click on the frame, where the system shows its own menu.
bool FormWindow::context_menu(LPARAM at) {
    if (commands_.empty() || !in_client_area(hwnd(), at)) return false;
    POINT where{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) {
        // From the keyboard: under the control with the focus, or at the top left.
        RECT r{};
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd(), focus)) {
            GetWindowRect(focus, &r);
        } else {
            GetClientRect(hwnd(), &r);
            MapWindowPoints(hwnd(), nullptr, reinterpret_cast<POINT*>(&r), 2);
        }
        where = {r.left, r.bottom};
    }
    const Menu menu(CreatePopupMenu());
    if (!menu) return true;
    for (std::size_t i = 0; i < commands_.size(); ++i) {
        AppendMenuW(menu.get(), MF_STRING, i + 1, menu_text(commands_[i]).c_str());
    }
    const auto chosen = static_cast<std::size_t>(
        TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, where.x, where.y, 0, hwnd(),
                       nullptr));
    if (chosen >= 1 && chosen <= commands_.size()) run(commands_[chosen - 1]);
    return true;
}

// A window command runs on the window's thread like a click; what it throws
// is shown, and the window goes on.
void FormWindow::run(const WindowCommand& c) {
    if (pressing_ || !c.run) return;
    try {
        c.run();
    } catch (const std::exception& e) {
        error_box(hwnd(), core::to_utf16(e.what()));
    }
}

LRESULT FormWindow::handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND:
        // The one click dispatch. IDOK and IDCANCEL from Enter and Esc in a
        // text box come without a control and press nothing.
        if (HIWORD(wparam) == BN_CLICKED && is_button(reinterpret_cast<HWND>(lparam))) {
            press(reinterpret_cast<HWND>(lparam));
            return 0;
        }
        break;
    case WM_SYSCOMMAND:
        for (std::size_t i = 0; i < commands_.size(); ++i) {
            if ((wparam & 0xFFF0) == win32_system_command(i)) {
                run(commands_[i]);
                return 0;
            }
        }
        break;
    case WM_CONTEXTMENU:
        if (context_menu(lparam)) return 0;
        break;
    case WM_ACTIVATE:
        if (LOWORD(wparam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(hwnd, focus)) focus_ = focus;
        }
        break;
    case WM_SETFOCUS:
        if (focus_ != nullptr && IsWindowEnabled(focus_)) SetFocus(focus_);
        return 0;
    case WM_DPICHANGED: {
        // Moved to a monitor of another DPI: the same twips at the new DPI,
        // in the size and place the system suggests.
        apply_dpi(HIWORD(wparam));
        const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CLOSE:
        if (pressing_) {
            close_requested_ = true;
            return 0;
        }
        window_.reset();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        // The system has destroyed the window and its controls.
        window_.release();
        children_.clear();
        tooltips_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace win32

int win32_control_id(const command::Form& form, std::string_view name) {
    for (std::size_t row = 0; row < form.controls.size(); ++row) {
        if (form.controls[row].name == name) return win32::kFirstControlId + static_cast<int>(row);
    }
    return 0;
}

unsigned win32_system_command(std::size_t index) { return kFirstSystemCommand + 16 * static_cast<unsigned>(index); }

int run_form(int, char**, const command::Form& form, ClickHandler on_click, std::vector<WindowCommand> commands) {
    // The system's visual style for the controls (the manifest asks for
    // version 6 of the common controls); the tooltip class comes with the
    // tab classes.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    win32::FormWindow window(form, std::move(on_click), std::move(commands));
    if (!window.create(SW_SHOWDEFAULT)) {
        std::fprintf(stderr, "veltrano: 无法创建窗口（系统错误 %lu）\n", GetLastError());
        return 1;    }
    MSG msg{};
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) break;
        if (got == -1) return 1;
        if (window.run_on_function_key(msg)) continue;
        if (window.press_on_enter(msg)) continue;
        if (window.hwnd() != nullptr && IsDialogMessageW(window.hwnd(), &msg)) continue;
        if (win32::modeless_keys(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace veltrano::gui
