#include "dpi_win32.h"

#include <cmath>

namespace veltrano::gui::win32 {

namespace {

struct DpiFunctions {
    UINT(WINAPI* dpi_for_window)(HWND) = nullptr;
    UINT(WINAPI* dpi_for_system)() = nullptr;
    BOOL(WINAPI* adjust_window_rect)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* parameters_info)(UINT, UINT, void*, UINT, UINT) = nullptr;
    int(WINAPI* metrics)(int, UINT) = nullptr;
};

template <typename F>
void look_up(HMODULE module, const char* name, F& function) {
    // Through void(*)() so the compiler takes the cast between function types as meant.
    function = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const DpiFunctions& dpi_functions() {
    static const DpiFunctions functions = [] {
        DpiFunctions f;
        if (HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
            look_up(user32, "GetDpiForWindow", f.dpi_for_window);
            look_up(user32, "GetDpiForSystem", f.dpi_for_system);
            look_up(user32, "AdjustWindowRectExForDpi", f.adjust_window_rect);
            look_up(user32, "SystemParametersInfoForDpi", f.parameters_info);
            look_up(user32, "GetSystemMetricsForDpi", f.metrics);
        }
        return f;
    }();
    return functions;
}

UINT system_dpi() {
    const ScreenDC screen(GetDC(nullptr));
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

UINT window_dpi(HWND window) {
    const UINT dpi = dpi_functions().dpi_for_window ? dpi_functions().dpi_for_window(window) : 0;
    return dpi != 0 ? dpi : system_dpi();
}

UINT initial_dpi() {
    const UINT dpi = dpi_functions().dpi_for_system ? dpi_functions().dpi_for_system() : 0;
    return dpi != 0 ? dpi : system_dpi();
}

int device(double dips, UINT dpi) { return static_cast<int>(std::lround(dips * dpi / USER_DEFAULT_SCREEN_DPI)); }

int metric_for_dpi(int index, UINT dpi) {
    if (dpi_functions().metrics) return dpi_functions().metrics(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(system_dpi()));
}

SIZE frame_size(int width, int height, DWORD style, DWORD ex_style, UINT dpi) {
    RECT r{0, 0, width, height};
    if (dpi_functions().adjust_window_rect) {
        dpi_functions().adjust_window_rect(&r, style, FALSE, ex_style, dpi);
    } else {
        AdjustWindowRectEx(&r, style, FALSE, ex_style);
    }
    return {r.right - r.left, r.bottom - r.top};
}

bool in_client_area(HWND window, LPARAM at) {
    if (at == -1) return true;
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    RECT client;
    GetClientRect(window, &client);
    return ScreenToClient(window, &point) && PtInRect(&client, point);
}

Font message_font(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    bool got = false;
    if (dpi_functions().parameters_info) {
        got = dpi_functions().parameters_info(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) != 0;
    }
    if (!got && SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        got = true;
        metrics.lfMessageFont.lfHeight =
            MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(system_dpi()));
    }
    Font font(got ? CreateFontIndirectW(&metrics.lfMessageFont) : nullptr);
    if (!font) font.reset(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    return font;
}

}  // namespace veltrano::gui::win32
