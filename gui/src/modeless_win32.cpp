#include "modeless_win32.h"

#include <algorithm>
#include <vector>

namespace veltrano::gui::win32 {

namespace {

// The user-interface thread's windows; only that thread touches them.
std::vector<HWND>& windows() {
    static std::vector<HWND> taken;
    return taken;
}

bool is_push_button(HWND control) {
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    if (lstrcmpiW(name, L"Button") != 0) return false;
    const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

}  // namespace

void take_dialog_keys(HWND window) {
    if (std::find(windows().begin(), windows().end(), window) == windows().end()) windows().push_back(window);
}

void let_go_dialog_keys(HWND window) {
    windows().erase(std::remove(windows().begin(), windows().end(), window), windows().end());
}

bool modeless_keys(MSG& msg) {
    if (msg.hwnd == nullptr) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (std::find(windows().begin(), windows().end(), root) == windows().end()) return false;
    // Esc closes on a press, not on the repeats of a key held since before
    // the window had the keyboard (a window opened while Esc was down, or
    // Wine replaying a key whose release it never saw, would close at once).
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE && (msg.lParam & (1 << 30)) != 0) return true;
    // The dialog manager would send IDOK, which presses nothing.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && is_push_button(msg.hwnd)) {
        if (IsWindowEnabled(msg.hwnd)) SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
        return true;
    }
    return IsDialogMessageW(root, &msg) != 0;
}

}  // namespace veltrano::gui::win32
