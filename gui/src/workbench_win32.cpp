// The design workbench on Windows: a top-level window of its own beside the
// main window (or alone, from `veltrano --design`), whose every edit is
// computed on the Recomputer's thread and shown when it comes back as the
// latest. What the user set is kept in HKEY_CURRENT_USER\Software\Veltrano\Workbench
// at every change and read back at the next opening.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <cmath>
#include <exception>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "dpi_win32.h"
#include "modeless_win32.h"
#include "picture_win32.h"
#include "top_level_win32.h"
#include "veltrano/command/main_form.h"
#include "veltrano/core/error_report.h"
#include "veltrano/core/number_text.h"
#include "veltrano/core/utf16.h"
#include "veltrano/diagram/svg.h"
#include "workbench_settings_win32.h"
#include "workbench_window_win32.h"

namespace veltrano::gui {

namespace {

using Kind = command::WorkbenchControlKind;
using Outcome = std::shared_ptr<const command::WorkbenchOutcome>;

constexpr wchar_t kWorkbenchClass[] = L"VeltranoWorkbench";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr int kFirstControlId = 100;

}  // namespace

bool WorkbenchWindow::Impl::create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!win32::register_class_once(kWorkbenchClass, &Impl::procedure, 0,
                                    reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1))) {
        return false;
    }
    state = command::restored(win32::read_setting, core::user_number_format());
    kept.clear();  // what the registry holds is read again, not assumed
    const auto size = command::remembered_size(win32::read_setting(command::kSizeKey));
    const double width = size ? size->first : command::kWorkbenchOpeningWidth;
    const double height = size ? size->second : command::kWorkbenchOpeningHeight;
    // Beside the main window at its DPI; alone where the system puts it.
    HWND main = alone ? nullptr : win32::main_window(nullptr);
    dpi = main != nullptr ? win32::window_dpi(main) : win32::initial_dpi();
    const SIZE frame = frame_for(width, height);
    const POINT at = win32::beside(main, frame, dpi);
    CreateWindowExW(0, kWorkbenchClass, core::to_utf16(command::kWorkbenchTitle).c_str(), kWindowStyle, at.x, at.y,
                    frame.cx, frame.cy, nullptr, nullptr, instance, this);
    if (!window) return false;
    if (const UINT actual = win32::window_dpi(hwnd()); actual != dpi) {
        dpi = actual;
        const SIZE resized = frame_for(width, height);
        SetWindowPos(hwnd(), nullptr, 0, 0, resized.cx, resized.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (!create_controls()) {
        window.reset();
        return false;
    }
    win32::set_icons(hwnd(), command::main_form().icon, dpi, big_icon, small_icon);
    for (std::size_t row = 0; row < layout.size() && focus == nullptr; ++row) {
        if (layout[row].tab_index >= 0 && IsWindowEnabled(children[row])) focus = children[row];
    }
    show_outcome();
    win32::take_dialog_keys(hwnd());
    // Posted from the recomputing thread; a window that is gone takes none
    // (the thread has ended before the window goes: see WM_DESTROY).
    HWND target = hwnd();
    recomputer = std::make_unique<command::Recomputer>(
        core::user_number_format(), [target](std::uint64_t submission, Outcome computed) {
            auto* holder = new Outcome(std::move(computed));
            if (!PostMessageW(target, kOutcomeMessage, static_cast<WPARAM>(submission),
                              reinterpret_cast<LPARAM>(holder))) {
                delete holder;
            }
        });
    submit();
    ShowWindow(hwnd(), SW_SHOWNORMAL);
    UpdateWindow(hwnd());
    return true;
}

LRESULT CALLBACK WorkbenchWindow::Impl::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = win32::window_owner<Impl>(hwnd, message, lparam);
    if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    if (message == WM_NCCREATE) self->window = win32::Window(hwnd);
    // Nothing thrown crosses into the system's code: what goes wrong in a
    // message is said, and the window goes on as it was.
    try {
        return self->handle(hwnd, message, wparam, lparam);
    } catch (const std::exception& e) {
        self->filling = false;
        win32::error_box(hwnd, core::to_utf16(std::string("设计窗口出现意外错误：") + e.what()));
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

LRESULT WorkbenchWindow::Impl::handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case kOutcomeMessage: {
        const std::unique_ptr<Outcome> holder(reinterpret_cast<Outcome*>(lparam));
        outcome_arrived(static_cast<std::uint64_t>(wparam), std::move(*holder));
        return 0;
    }
    case kAskForFileMessage:
        mixture_chosen();
        return 0;
    case WM_COMMAND:
        command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (header->hwndFrom == control(command::kStageTable) && header->code == LVN_GETDISPINFOW) {
            return table_text(lparam);
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
        // The status line in red; every other caption as the system has it.
        if (reinterpret_cast<HWND>(lparam) == control(command::kStatusLine)) {
            const auto dc = reinterpret_cast<HDC>(wparam);
            SetTextColor(dc, RGB(0xB0, 0x1C, 0x1C));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    case WM_PAINT:
        paint_marks();
        return 0;
    case WM_GETMINMAXINFO: {
        const SIZE least = frame_for(command::kWorkbenchLeastWidth, command::kWorkbenchLeastHeight);
        reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {least.cx, least.cy};
        return 0;
    }
    case WM_SIZE:
        if (wparam != SIZE_MINIMIZED && !children.empty()) place_controls();
        break;
    case WM_EXITSIZEMOVE:
        remember_size();
        break;
    case WM_DPICHANGED: {
        apply_dpi(HIWORD(wparam));
        const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        place_controls();
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wparam) == WA_INACTIVE) {
            HWND focused = GetFocus();
            if (focused != nullptr && IsChild(hwnd, focused)) focus = focused;
        }
        break;
    case WM_SETFOCUS:
        if (focus != nullptr && IsWindowEnabled(focus)) SetFocus(focus);
        return 0;
    case WM_ENDSESSION:
        // The session ends without closing the window: keep its size now.
        if (wparam) remember_size();
        return 0;
    case WM_CLOSE:
        // An export's error box delivers the request: the export ends first.
        if (pressing) {
            close_requested = true;
        } else {
            closing();
        }
        return 0;
    case WM_DESTROY: {
        win32::let_go_dialog_keys(hwnd);
        // The thread ends before the window: no outcome is posted from here on,
        // and those posted and not yet handled are freed.
        recomputer.reset();
        MSG pending;
        while (PeekMessageW(&pending, hwnd, kOutcomeMessage, kOutcomeMessage, PM_REMOVE)) {
            delete reinterpret_cast<Outcome*>(pending.lParam);
        }
        if (alone) PostQuitMessage(0);
        return 0;
    }
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        // The system has destroyed the window and its controls.
        window.release();
        children.clear();
        tooltips = nullptr;
        focus = nullptr;
        marked.clear();
        outcome.reset();
        big_icon.reset();
        small_icon.reset();
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void WorkbenchWindow::Impl::command(int id, int code, HWND from) {
    if (id == IDCANCEL) {  // Esc
        PostMessageW(hwnd(), WM_CLOSE, 0, 0);
        return;
    }
    const int row = id - kFirstControlId;
    if (row < 0 || static_cast<std::size_t>(row) >= layout.size() || from != children[static_cast<std::size_t>(row)]) {
        return;  // IDOK from Enter in a text box, and whatever is not ours
    }
    const command::WorkbenchControl& c = layout[static_cast<std::size_t>(row)];
    if (c.kind == Kind::kTextBox && code == EN_CHANGE && !filling) {
        edited(static_cast<std::size_t>(row));
    } else if (c.kind == Kind::kRadio && code == BN_CLICKED) {
        const auto mode = c.name == command::kDesignRadio ? command::WorkbenchMode::kDesign
                                                          : command::WorkbenchMode::kRating;
        if (mode == state.mode) return;
        state.mode = mode;
        enable_fields();
        submit();
    } else if (c.kind == Kind::kList && (code == CBN_SELCHANGE || code == CBN_CLOSEUP)) {
        // Once the list has closed and let go of the mouse: a file dialog
        // may follow.
        PostMessageW(hwnd(), kAskForFileMessage, 0, 0);
    } else if (c.kind == Kind::kButton && code == BN_CLICKED) {
        if (c.name == command::kExportButton) {
            press_export(from);
        } else if (c.name == command::kSaveButton && outcome != nullptr && outcome->ok() && outcome->picture) {
            const Outcome shown = outcome;
            win32::save_picture(hwnd(), L"塔板图", core::to_utf16(command::kSaveDialogTitle),
                                {[shown] { return diagram::to_svg(*shown->picture); }, [this] { return picture.fine_pixels(); }});
        } else if (c.name == command::kCopyButton && picture.picture() != nullptr) {
            win32::copy_picture(hwnd(), {{}, [this] { return picture.fine_pixels(); }});
        } else {
            MessageBeep(MB_OK);
        }
    }
}

void WorkbenchWindow::Impl::edited(std::size_t row) {
    HWND box = children[row];
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
    std::string typed = core::to_utf8(text);
    std::string& held = state.texts[layout[row].name];
    if (held == typed) return;
    held = std::move(typed);
    submit();
}

// The list's choice, once the list is closed: a curve, or the file dialog.
void WorkbenchWindow::Impl::mixture_chosen() {
    HWND list = control(command::kMixtureList);
    if (list == nullptr || SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0)) return;
    const int item = static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
    if (item < 0 || item == state.mixture) return;
    if (command::asks_for_file(state, item)) {
        ask_for_file();
        return;
    }
    state.mixture = item;
    enable_fields();
    submit();
}

// The points of a file the user picks become the curve; cancelled, the
// list shows the curve it had.
void WorkbenchWindow::Impl::ask_for_file() {
    std::wstring file(4 * MAX_PATH, L'\0');
    // Each name and its patterns, NUL after each, and a NUL more at the end.
    static const wchar_t kPatterns[] = L"\0*.csv;*.tsv;*.txt\0所有文件 (*.*)\0*.*\0";
    const std::wstring filter = core::to_utf16(command::kDataFileFilter) + std::wstring(kPatterns, std::size(kPatterns));
    const std::wstring title = core::to_utf16(command::kDataFileDialogTitle);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    const bool chosen = GetOpenFileNameW(&dialog) != 0;
    if (!window) return;  // closed meanwhile (the session ended)
    if (!chosen) {
        SendMessageW(control(command::kMixtureList), CB_SETCURSEL, static_cast<WPARAM>(state.mixture), 0);
        if (const DWORD code = CommDlgExtendedError(); code != 0) {
            win32::error_box(hwnd(), L"无法打开选择文件的对话框（错误 " + std::to_wstring(code) + L"）。");
        }
        return;
    }
    command::choose_data_file(state, core::to_utf8(file.c_str()));
    fill_mixture_list();
    enable_fields();
    submit();
}

void WorkbenchWindow::Impl::submit() {
    latest = recomputer->submit(state);
    remember(command::remembered(state));
}

void WorkbenchWindow::Impl::outcome_arrived(std::uint64_t submission, Outcome computed) {
    // One computed for inputs since changed again: the next one is coming.
    if (submission != latest) return;
    outcome = std::move(computed);
    show_outcome();
}

// 导出: the stage table of the outcome shown handed to a new spreadsheet.
// As a press of the main window: the button greyed while it runs, what was
// clicked or typed meanwhile dropped, a failure said in a box.
void WorkbenchWindow::Impl::press_export(HWND button) {
    if (pressing || outcome == nullptr || !outcome->ok()) return;
    pressing = true;
    const Outcome exported = outcome;
    HWND focused = GetFocus();
    EnableWindow(button, FALSE);
    HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    UpdateWindow(button);
    const std::optional<core::ErrorReport> report =
        core::run_press([&] { command::export_stages(*exported, new_spreadsheet); });
    MSG queued;
    while (PeekMessageW(&queued, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&queued, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    SetCursor(cursor);
    if (report) {
        MessageBoxExW(hwnd(), core::to_utf16(report->box_text()).c_str(), core::to_utf16(report->title).c_str(),
                      MB_OK | MB_ICONERROR, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    }
    pressing = false;
    if (!window) return;
    EnableWindow(button, outcome != nullptr && outcome->ok());
    // A disabled control loses the focus: give it back to where it was.
    if (focused != nullptr && GetFocus() == nullptr && GetActiveWindow() == hwnd()) SetFocus(focused);
    if (close_requested) {
        close_requested = false;
        PostMessageW(hwnd(), WM_CLOSE, 0, 0);
    }
}

// Kept at every change, each value that differs from the one kept last; a
// change that cannot be kept is said once a window.
void WorkbenchWindow::Impl::remember(const std::map<std::string, std::string>& values) {
    std::map<std::string, std::string> changed;
    for (const auto& [name, text] : values) {
        if (const auto was = kept.find(name); was == kept.end() || was->second != text) changed[name] = text;
    }
    if (changed.empty()) return;
    const LSTATUS status = win32::write_settings(changed);
    if (status == ERROR_SUCCESS) {
        for (auto& [name, text] : changed) kept[name] = std::move(text);
        return;
    }
    kept.clear();  // written in part, perhaps: all of it once more next time
    if (unremembered) return;
    unremembered = true;
    win32::error_box(hwnd(), L"无法在注册表中记住设计窗口的输入（系统错误 " + std::to_wstring(status) +
                                 L"）：下次打开时这些输入将不复存在。");
}

// The client area's size in device-independent pixels, as it is when the
// window is neither minimised nor maximised.
void WorkbenchWindow::Impl::remember_size() {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!window || !GetWindowPlacement(hwnd(), &placement)) return;
    const SIZE frame = win32::frame_size(0, 0, kWindowStyle, 0, dpi);
    const RECT& r = placement.rcNormalPosition;
    const double scale = static_cast<double>(dpi) / USER_DEFAULT_SCREEN_DPI;
    const int width = static_cast<int>(std::lround((r.right - r.left - frame.cx) / scale));
    const int height = static_cast<int>(std::lround((r.bottom - r.top - frame.cy) / scale));
    remember({{command::kSizeKey, command::size_text(width, height)}});
}

void WorkbenchWindow::Impl::closing() {
    remember_size();
    window.reset();
}

WorkbenchWindow::WorkbenchWindow(sheet::SpreadsheetFactory new_spreadsheet, bool alone)
    : impl_(std::make_unique<Impl>(std::move(new_spreadsheet), alone)) {}

WorkbenchWindow::~WorkbenchWindow() {
    if (impl_->window) impl_->closing();
}

void WorkbenchWindow::open() {
    Impl& w = *impl_;
    if (w.window) {
        if (IsIconic(w.hwnd())) ShowWindow(w.hwnd(), SW_RESTORE);
        SetForegroundWindow(w.hwnd());
        return;
    }
    // The list view's class, beside the classes the main window registers.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    if (!w.create()) {
        const DWORD code = GetLastError();
        w.window.reset();
        win32::error_box(GetActiveWindow(), L"无法打开设计窗口（系统错误 " + std::to_wstring(code) + L"）。");
    }
}

int run_workbench(int, char**, sheet::SpreadsheetFactory new_spreadsheet) {
    WorkbenchWindow workbench(std::move(new_spreadsheet), true);
    workbench.open();
    if (win32::main_window(nullptr) == nullptr) return 1;  // it could not be opened (said in a box)
    MSG msg{};
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) break;
        if (got == -1) return 1;
        if (win32::modeless_keys(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace veltrano::gui
