#include "top_level_win32.h"

#include <algorithm>

#include "dpi_win32.h"
#include "veltrano/core/utf16.h"

namespace veltrano::gui::win32 {

bool register_class_once(const wchar_t* name, WNDPROC procedure, UINT style, HBRUSH background) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, name, &existing)) return true;
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.style = style;
    c.lpfnWndProc = procedure;
    c.hInstance = instance;
    c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    c.hbrBackground = background;
    c.lpszClassName = name;
    return RegisterClassExW(&c) != 0;
}

HWND main_window(HWND self) {
    HWND active = GetActiveWindow();
    if (active != nullptr && active != self && GetWindow(active, GW_OWNER) == nullptr) return active;
    struct Search {
        HWND self, found;
    } search{self, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (window == s->self || !IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

POINT beside(HWND main, SIZE size, UINT dpi) {
    if (main == nullptr) return {CW_USEDEFAULT, CW_USEDEFAULT};
    RECT m;
    GetWindowRect(main, &m);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    const int gap = device(8, dpi);
    int x = m.right + gap;
    if (x + size.cx > work.right) x = m.left - gap - size.cx;
    if (x < work.left) x = std::max(work.left, work.right - size.cx);
    const int y = std::clamp(m.top, work.top, std::max(work.top, work.bottom - size.cy));
    return {x, y};
}

void set_icons(HWND window, std::string_view name, UINT dpi, Icon& big, Icon& little) {
    const std::wstring icon = core::to_utf16(name);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto load = [&](int size_x, int size_y) {
        return Icon(static_cast<HICON>(LoadImageW(instance, icon.c_str(), IMAGE_ICON, metric_for_dpi(size_x, dpi),
                                                  metric_for_dpi(size_y, dpi), LR_DEFAULTCOLOR)));
    };
    Icon new_big = load(SM_CXICON, SM_CYICON);
    Icon new_little = load(SM_CXSMICON, SM_CYSMICON);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(new_big.get()));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(new_little.get()));
    // The window shows the new ones now: the old ones can go.
    big = std::move(new_big);
    little = std::move(new_little);
}

void error_box(HWND owner, const std::wstring& text) {
    MessageBoxExW(owner, text.c_str(), L"Veltrano", MB_OK | MB_ICONERROR,
                  MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
}

}  // namespace veltrano::gui::win32
