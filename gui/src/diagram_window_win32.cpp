// The diagram window on Windows: a top-level window of its own beside the
// main window, not owned by it, that paints the view's scene with GDI+ into
// a bitmap of its client area and copies that onto the screen (no flicker:
// the background is never erased first). The picture is the scene at the
// client size in device pixels, vector-drawn at the window's DPI; the PNG and
// the clipboard get the same pixels. GDI+ starts at the first open() and
// ends with the window layer; the save dialog's DLL loads at the first save.
#include <windows.h>

#include <windowsx.h>

#include <memory>
#include <optional>
#include <string>

#include "dpi_win32.h"
#include "picture_win32.h"
#include "top_level_win32.h"
#include "veltrano/command/main_form.h"
#include "veltrano/core/utf16.h"
#include "veltrano/diagram/paint_gdiplus.h"
#include "veltrano/gui/diagram_window.h"
#include "win32_handles.h"

namespace veltrano::gui {

namespace {

constexpr wchar_t kDiagramClass[] = L"VeltranoDiagram";

// The window's commands: menu items and WM_COMMAND identifiers alike.
enum : UINT { kSaveId = 1, kCopyId = 2, kCloseId = 3 };

using win32::device;

SIZE frame_for(double width, double height, UINT dpi) {
    return win32::frame_size(device(width, dpi), device(height, dpi), WS_OVERLAPPEDWINDOW, 0, dpi);
}

}  // namespace

struct DiagramWindow::Impl {
    explicit Impl(const diagram::DiagramView& v) : view(v) {}

    HWND hwnd() const { return window.get(); }
    bool start_gdiplus();
    bool create();
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    bool painted_canvas();
    void paint();
    void command(UINT id);
    void context_menu(LPARAM at);
    void save();
    void copy();
    void set_icons();
    win32::PictureSource picture();

    const diagram::DiagramView& view;
    // GDI+ from the first open to the end; the painter (its fonts) inside it.
    std::unique_ptr<diagram::GdiplusSession> gdiplus;
    std::unique_ptr<diagram::GdiplusPainter> painter;
    win32::Canvas canvas;
    bool stale = true;                               // the canvas no longer shows the view
    std::optional<diagram::GdiplusFailure> failure;  // of the canvas's painting
    UINT dpi = USER_DEFAULT_SCREEN_DPI;
    win32::Icon big_icon, small_icon;
    // Last, so destroyed first: its last messages still find the members above.
    win32::Window window;
};

bool DiagramWindow::Impl::start_gdiplus() {
    if (painter) return true;
    auto session = std::make_unique<diagram::GdiplusSession>();
    if (session->status() != 0) {
        win32::error_box(GetActiveWindow(), L"无法启动 GDI+（状态 " + std::to_wstring(session->status()) + L"），塔板图无法显示。");
        return false;
    }
    gdiplus = std::move(session);
    painter = std::make_unique<diagram::GdiplusPainter>();
    return true;
}

bool DiagramWindow::Impl::create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // A new size repaints it all: the picture scales with the window.
    if (!win32::register_class_once(kDiagramClass, &Impl::procedure, CS_HREDRAW | CS_VREDRAW, nullptr)) return false;
    // At the main window's DPI, on its monitor, beside it.
    HWND main = win32::main_window(nullptr);
    dpi = main != nullptr ? win32::window_dpi(main) : win32::initial_dpi();
    const SIZE size = frame_for(diagram::kOpeningWidth, diagram::kOpeningHeight, dpi);
    const POINT at = win32::beside(main, size, dpi);
    CreateWindowExW(0, kDiagramClass, core::to_utf16(diagram::kWindowTitle).c_str(), WS_OVERLAPPEDWINDOW, at.x, at.y,
                    size.cx, size.cy, nullptr, nullptr, instance, this);
    if (!window) return false;
    // Placed on a monitor of another DPI after all.
    if (const UINT actual = win32::window_dpi(hwnd()); actual != dpi) {
        dpi = actual;
        const SIZE resized = frame_for(diagram::kOpeningWidth, diagram::kOpeningHeight, dpi);
        SetWindowPos(hwnd(), nullptr, 0, 0, resized.cx, resized.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    set_icons();
    ShowWindow(hwnd(), SW_SHOWNORMAL);
    UpdateWindow(hwnd());
    return true;
}

// The program's icon, at the sizes of the title bar and the task switcher.
void DiagramWindow::Impl::set_icons() { win32::set_icons(hwnd(), command::main_form().icon, dpi, big_icon, small_icon); }

LRESULT CALLBACK DiagramWindow::Impl::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = win32::window_owner<Impl>(hwnd, message, lparam);
    if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    if (message == WM_NCCREATE) self->window = win32::Window(hwnd);
    return self->handle(hwnd, message, wparam, lparam);
}

LRESULT DiagramWindow::Impl::handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_GETMINMAXINFO: {
        const SIZE least = frame_for(diagram::kLeastWidth, diagram::kLeastHeight, dpi);
        reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {least.cx, least.cy};
        return 0;
    }
    case WM_SIZE:
        stale = true;
        break;
    case WM_ERASEBKGND:
        return 1;  // the canvas covers the client area
    case WM_PAINT:
        paint();
        return 0;
    case WM_DPICHANGED: {
        dpi = HIWORD(wparam);
        stale = true;
        set_icons();
        const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    }
    case WM_KEYDOWN: {
        const bool control = GetKeyState(VK_CONTROL) < 0;
        if (wparam == VK_ESCAPE) {
            command(kCloseId);
        } else if (control && wparam == 'S') {
            command(kSaveId);
        } else if (control && wparam == 'C') {
            command(kCopyId);
        } else {
            break;
        }
        return 0;
    }
    case WM_CONTEXTMENU:
        // On the frame the system's own menu.
        if (!win32::in_client_area(hwnd, lparam)) break;
        context_menu(lparam);
        return 0;
    case WM_COMMAND:
        command(LOWORD(wparam));
        return 0;
    case WM_DESTROY:
        canvas.release();
        stale = true;
        failure.reset();
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        window.release();
        // The window no longer shows them.
        big_icon.reset();
        small_icon.reset();
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

// The canvas at the client size showing the view; false when there is no
// client area or no memory for it.
bool DiagramWindow::Impl::painted_canvas() {
    RECT client;
    GetClientRect(hwnd(), &client);
    const int width = client.right - client.left, height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return false;
    if (!canvas.fits(width, height)) {
        stale = true;
        if (!canvas.make(width, height)) return false;
    }
    if (stale) {
        GdiFlush();  // GDI is done with the bits before GDI+ writes them
        const double scale = static_cast<double>(dpi) / USER_DEFAULT_SCREEN_DPI;
        failure = painter->paint(view.scene(width / scale, height / scale), canvas.rows(), scale);
        stale = false;
    }
    return true;
}

void DiagramWindow::Impl::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd(), &ps);
    if (dc == nullptr) return;
    const RECT& r = ps.rcPaint;
    if (painted_canvas()) {
        BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, canvas.dc(), r.left, r.top, SRCCOPY);
    } else {
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    if (failure) {
        // What is drawn stays; a line says what is missing.
        const win32::Font font = win32::message_font(dpi);
        const HGDIOBJ old = SelectObject(dc, font.get());
        SetTextColor(dc, RGB(0xB0, 0x3A, 0x00));
        SetBkMode(dc, TRANSPARENT);
        RECT line;
        GetClientRect(hwnd(), &line);
        line.left += device(10, dpi);
        const std::wstring text = L"塔板图有一部分没能画出（GDI+ 状态 " + std::to_wstring(failure->status) + L"：" +
                                  core::to_utf16(failure->what) + L"）";
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line, DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
    }
    EndPaint(hwnd(), &ps);
}

void DiagramWindow::Impl::command(UINT id) {
    switch (id) {
    case kSaveId:
        save();
        break;
    case kCopyId:
        copy();
        break;
    case kCloseId:
        window.reset();
        break;
    default:
        break;
    }
}

void DiagramWindow::Impl::context_menu(LPARAM at) {
    POINT where{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) {
        // From the keyboard (Shift+F10, the menu key): at the top left.
        where = {device(8, dpi), device(8, dpi)};
        ClientToScreen(hwnd(), &where);
    }
    win32::Menu menu(CreatePopupMenu());
    if (!menu) return;
    // Nothing to save or copy before the first successful press.
    const UINT picture = view.has_picture() ? MF_ENABLED : MF_GRAYED;
    const std::wstring items[] = {core::to_utf16(diagram::kSaveCommand) + L"\tCtrl+S",
                                  core::to_utf16(diagram::kCopyCommand) + L"\tCtrl+C",
                                  core::to_utf16(diagram::kCloseCommand) + L"\tEsc"};
    AppendMenuW(menu.get(), MF_STRING | picture, kSaveId, items[0].c_str());
    AppendMenuW(menu.get(), MF_STRING | picture, kCopyId, items[1].c_str());
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, kCloseId, items[2].c_str());
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, where.x, where.y, 0, hwnd(),
                       nullptr));
    menu.reset();
    if (chosen != 0) command(chosen);
}

// What Save As and Copy take: the SVG `veltrano-cli --svg` writes, and the
// window's pixels as they are on the screen.
win32::PictureSource DiagramWindow::Impl::picture() {
    return {[this] { return view.svg(); }, [this]() -> const win32::Canvas* {
                return painted_canvas() ? &canvas : nullptr;
            }};
}

void DiagramWindow::Impl::save() {
    if (!view.has_picture()) {
        MessageBeep(MB_OK);
        return;
    }
    win32::save_picture(hwnd(), L"塔板图", core::to_utf16(diagram::kSaveCommand), picture());
}

void DiagramWindow::Impl::copy() {
    if (!view.has_picture()) {
        MessageBeep(MB_OK);
        return;
    }
    win32::copy_picture(hwnd(), picture());
}

DiagramWindow::DiagramWindow(const diagram::DiagramView& view) : impl_(std::make_unique<Impl>(view)) {}

DiagramWindow::~DiagramWindow() = default;

void DiagramWindow::open() {
    Impl& w = *impl_;
    if (w.window) {
        if (IsIconic(w.hwnd())) ShowWindow(w.hwnd(), SW_RESTORE);
        SetForegroundWindow(w.hwnd());
        return;
    }
    if (!w.start_gdiplus()) return;
    if (!w.create()) {
        win32::error_box(GetActiveWindow(),
                         L"无法打开塔板图窗口（系统错误 " + std::to_wstring(GetLastError()) + L"）。");
    }
}

void DiagramWindow::refresh() {
    Impl& w = *impl_;
    if (!w.window) return;
    w.stale = true;
    // Painted now, not once the press is back in the message loop: a failed
    // press shows its error box first.
    InvalidateRect(w.hwnd(), nullptr, FALSE);
    UpdateWindow(w.hwnd());
}

}  // namespace veltrano::gui
