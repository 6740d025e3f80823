// The form runtime on Windows: one top-level window and its child controls,
// placed by hand from the twips table at the window's DPI. A plain window
// with the dialog manager's keyboard handling (IsDialogMessage) in its
// message loop: Tab and Shift+Tab follow the creation order of the controls.
#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dpi_win32.h"
#include "veltrano/core/error_report.h"
#include "veltrano/core/run_error.h"
#include "veltrano/core/utf16.h"
#include "veltrano/gui/form_runtime.h"
#include "veltrano/gui/form_win32.h"
#include "win32_handles.h"

namespace veltrano::gui {

namespace {

constexpr int kFirstControlId = 100;
constexpr unsigned kFirstSystemCommand = 0x0100;
constexpr wchar_t kFormClass[] = L"VeltranoForm";
constexpr wchar_t kLineClass[] = L"VeltranoLine";
// The widest a tooltip grows before its lines wrap: about 30 Chinese
// characters in the message font, at any DPI.
constexpr int kTipWidthTwips = 5760;
// How long a tooltip stays while the pointer rests (the longest the control
// takes): its two or three lines need longer than the default five seconds.
constexpr WORD kTipShownMs = 30000;

// A failed window call as the run-time error the press reports: the
// system's status as an HRESULT, E_FAIL when the system gave none.
[[noreturn]] void window_call_failed(const std::string& what) {
    const DWORD code = GetLastError();
    const auto status = code != 0 ? static_cast<std::int32_t>(HRESULT_FROM_WIN32(code))
                                  : static_cast<std::int32_t>(E_FAIL);
    throw core::RunError::automation(status, what);
}

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
    bool press_on_enter(const MSG& msg) const {
        if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN || !is_button(msg.hwnd)) return false;
        if (IsWindowEnabled(msg.hwnd)) SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
        return true;
    }

    // A window command's function key pressed in this window, whichever of
    // its controls has the focus, runs the command (as an accelerator
    // would): looked at before the dialog manager, which would hand the key
    // to the control.
    bool run_on_function_key(const MSG& msg) {
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

    // The text box `name` of this window, or a RunError with E_INVALIDARG.
    HWND text_box(std::string_view name) const {
        for (std::size_t i = 0; i < form_.controls.size(); ++i) {
            if (form_.controls[i].name == name && form_.controls[i].kind == command::ControlKind::TextBox) {
                return children_[i];
            }
        }
        throw core::RunError::automation(command::kNoSuchTextBox,
                                         "窗口中没有文本框“" + std::string(name) + "”");
    }

private:
    static void register_classes(HINSTANCE instance);
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

    bool is_button(HWND window) const {
        for (std::size_t i = 0; i < children_.size(); ++i) {
            if (children_[i] == window && form_.controls[i].kind == command::ControlKind::Button) return true;
        }
        return false;
    }

    HWND create_control(std::size_t row, UINT dpi);
    void add_tooltips(UINT dpi);
    void size_tooltips(HFONT font, UINT dpi);
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
    win32::Font font_;             // lent to every control but the lines
    win32::Icon big_icon_, small_icon_;
    HWND focus_ = nullptr;  // given back when the window is active again
    bool pressing_ = false;
    bool close_requested_ = false;
    // Last, so destroyed first: the window's last messages still find every
    // member above, and the font and icons outlive its use of them.
    win32::Window window_;
};

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

LRESULT CALLBACK FormWindow::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->window_ = win32::Window(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self != nullptr ? self->handle(hwnd, message, wparam, lparam)
                           : DefWindowProcW(hwnd, message, wparam, lparam);
}

bool FormWindow::create(int show) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(instance, kFormClass, &existing)) register_classes(instance);

    // A sizable top-level window at the system's default place, sized for
    // the DPI of the primary monitor, where the default place lies.
    const UINT dpi = win32::initial_dpi();
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
    font_ = win32::message_font(dpi);
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
    if (const UINT actual = win32::window_dpi(hwnd()); actual != dpi) {
        apply_dpi(actual);
        const SIZE resized = frame_for(actual);
        SetWindowPos(hwnd(), nullptr, 0, 0, resized.cx, resized.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Activation gives the focus to the first field (WM_SETFOCUS below).
    ShowWindow(hwnd(), show);
    UpdateWindow(hwnd());
    return true;
}

// The outer size of the window at `dpi`: the form's client area inside the frame.
SIZE FormWindow::frame_for(UINT dpi) const {
    return win32::frame_size(command::twips_to_pixels(form_.client_width, dpi), command::twips_to_pixels(form_.client_height, dpi),
                      WS_OVERLAPPEDWINDOW, 0, dpi);
}

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
// the table gives a tooltip: the text shows while the pointer rests on the
// control. Help, not function: a system that cannot make the tooltip control
// still gets a working window without it.
void FormWindow::add_tooltips(UINT dpi) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr, instance,
                                nullptr);
    if (tooltips_ == nullptr) return;
    for (std::size_t row = 0; row < form_.controls.size(); ++row) {
        if (form_.controls[row].tooltip.empty()) continue;
        // The control copies the text. TTF_SUBCLASS: it watches the pointer
        // over the tool itself, so the window relays no mouse messages.
        std::wstring text = core::to_utf16(form_.controls[row].tooltip);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd();
        tool.uId = reinterpret_cast<UINT_PTR>(children_[row]);
        tool.lpszText = text.data();
        SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageW(tooltips_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kTipShownMs, 0));
    size_tooltips(font_.get(), dpi);
}

// The tooltips in the window's font at `dpi`, wrapped at a width for it. A
// maximum width is also what makes the control break lines at "\n".
void FormWindow::size_tooltips(HFONT font, UINT dpi) {
    if (tooltips_ == nullptr) return;
    SendMessageW(tooltips_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, command::twips_to_pixels(kTipWidthTwips, dpi));
}

// Moved to a monitor of another DPI: every control placed again and given
// the message font at the new DPI, and the icons redrawn to its sizes. The
// controls keep their places when the window is resized: only this moves them.
void FormWindow::apply_dpi(UINT dpi) {
    win32::Font font = win32::message_font(dpi);
    for (std::size_t row = 0; row < children_.size(); ++row) {
        const RECT r = control_rect(form_.controls[row], dpi);
        if (form_.controls[row].kind != command::ControlKind::Line) {
            SendMessageW(children_[row], WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        }
        SetWindowPos(children_[row], nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(children_[row], nullptr, TRUE);
    }
    size_tooltips(font.get(), dpi);
    font_ = std::move(font);
    set_icons(dpi);
}

// The application icon of the .exe, at the sizes of the title bar and the
// task switcher at `dpi`.
void FormWindow::set_icons(UINT dpi) {
    const std::wstring icon = core::to_utf16(form_.icon);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto load = [&](int size_x, int size_y) {
        return win32::Icon(static_cast<HICON>(LoadImageW(instance, icon.c_str(), IMAGE_ICON,
                                                         win32::metric_for_dpi(size_x, dpi),
                                                         win32::metric_for_dpi(size_y, dpi), LR_DEFAULTCOLOR)));
    };
    win32::Icon big = load(SM_CXICON, SM_CYICON);
    win32::Icon little = load(SM_CXSMICON, SM_CYSMICON);
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(little.get()));
    // The window shows the new ones now: the old ones can go.
    big_icon_ = std::move(big);
    small_icon_ = std::move(little);
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
std::wstring menu_text(const WindowCommand& c) {
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
    if (commands_.empty() || !win32::in_client_area(hwnd(), at)) return false;
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
    const win32::Menu menu(CreatePopupMenu());
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
        MessageBoxExW(hwnd(), core::to_utf16(e.what()).c_str(), L"Veltrano", MB_OK | MB_ICONERROR,
                      MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
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

}  // namespace

int win32_control_id(const command::Form& form, std::string_view name) {
    for (std::size_t row = 0; row < form.controls.size(); ++row) {
        if (form.controls[row].name == name) return kFirstControlId + static_cast<int>(row);
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

    FormWindow window(form, std::move(on_click), std::move(commands));
    if (!window.create(SW_SHOWDEFAULT)) {
        std::fprintf(stderr, "veltrano: 无法创建窗口（系统错误 %lu）\n", GetLastError());
        return 1;
    }
    MSG msg{};
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) break;
        if (got == -1) return 1;
        if (window.run_on_function_key(msg)) continue;
        if (window.press_on_enter(msg)) continue;
        if (window.hwnd() != nullptr && IsDialogMessageW(window.hwnd(), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace veltrano::gui
