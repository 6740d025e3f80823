// The diagram window on Windows: a top-level window of its own beside the
// main window, not owned by it, that paints the view's scene with GDI+ into
// a bitmap of its client area and copies that onto the screen (no flicker:
// the background is never erased first). The picture is the scene at the
// client size in device pixels, vector-drawn at the window's DPI; the PNG and
// the clipboard get the same pixels. GDI+ starts at the first open() and
// ends with the window layer; the save dialog's DLL loads at the first save.
#include <windows.h>

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <memory>
#include <optional>
#include <string>

#include "dpi_win32.h"
#include "veltrano/command/main_form.h"
#include "veltrano/core/replace_file.h"
#include "veltrano/core/utf16.h"
#include "veltrano/diagram/paint_gdiplus.h"
#include "veltrano/gui/diagram_window.h"
#include "win32_handles.h"

namespace veltrano::gui {

namespace {

constexpr wchar_t kDiagramClass[] = L"VeltranoDiagram";

// The window's commands: menu items and WM_COMMAND identifiers alike.
enum : UINT { kSaveId = 1, kCopyId = 2, kCloseId = 3 };

// Device pixels of `dips` device-independent pixels at `dpi`.
int device(double dips, UINT dpi) { return static_cast<int>(std::lround(dips * dpi / USER_DEFAULT_SCREEN_DPI)); }

SIZE frame_for(double width, double height, UINT dpi) {
    return win32::frame_size(device(width, dpi), device(height, dpi), WS_OVERLAPPEDWINDOW, 0, dpi);
}

// The main window of this thread: the active one when the command runs,
// else the first visible top-level window that is not `self`.
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

// Where a window of `size` opens: to the right of `main`, else to its left,
// else at the right edge of the work area; its top level with the main
// window's as far as the work area allows.
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

bool ends_with(const std::wstring& name, const wchar_t* extension) {
    const std::size_t n = std::wcslen(extension);
    if (name.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::towlower(name[name.size() - n + i]) != extension[i]) return false;
    }
    return true;
}

// The back buffer: a top-down 32-bit DIB section of the client area in a
// memory DC. The painter writes its bits; WM_PAINT copies them to the screen.
class Canvas {
public:
    bool fits(int width, int height) const { return dc_ && width_ == width && height_ == height; }

    // A buffer of that size, or none when the system has no room for it.
    bool make(int width, int height) {
        release();
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // rows from the top
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        win32::Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        win32::MemoryDC dc(CreateCompatibleDC(nullptr));
        if (!bitmap || !dc || bits == nullptr || SelectObject(dc.get(), bitmap.get()) == nullptr) return false;
        bitmap_ = std::move(bitmap);
        dc_ = std::move(dc);
        bits_ = static_cast<std::uint32_t*>(bits);
        width_ = width;
        height_ = height;
        return true;
    }
    void release() {
        dc_.reset();
        bitmap_.reset();
        bits_ = nullptr;
        width_ = height_ = 0;
    }

    HDC dc() const { return dc_.get(); }
    diagram::PixelRows rows() const { return {bits_, width_, height_}; }

private:
    win32::Bitmap bitmap_;  // declared before the DC, so the DC goes first
    win32::MemoryDC dc_;
    std::uint32_t* bits_ = nullptr;
    int width_ = 0, height_ = 0;
};

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
    void error_box(HWND owner, const std::wstring& text) const;

    const diagram::DiagramView& view;
    // GDI+ from the first open to the end; the painter (its fonts) inside it.
    std::unique_ptr<diagram::GdiplusSession> gdiplus;
    std::unique_ptr<diagram::GdiplusPainter> painter;
    Canvas canvas;
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
        error_box(GetActiveWindow(), L"无法启动 GDI+（状态 " + std::to_wstring(session->status()) + L"），塔板图无法显示。");
        return false;
    }
    gdiplus = std::move(session);
    painter = std::make_unique<diagram::GdiplusPainter>();
    return true;
}

bool DiagramWindow::Impl::create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(instance, kDiagramClass, &existing)) {
        WNDCLASSEXW c{};
        c.cbSize = sizeof c;
        // A new size repaints it all: the picture scales with the window.
        c.style = CS_HREDRAW | CS_VREDRAW;
        c.lpfnWndProc = &Impl::procedure;
        c.hInstance = instance;
        c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        c.lpszClassName = kDiagramClass;
        if (RegisterClassExW(&c) == 0) return false;
    }
    // At the main window's DPI, on its monitor, beside it.
    HWND main = main_window(nullptr);
    dpi = main != nullptr ? win32::window_dpi(main) : win32::initial_dpi();
    const SIZE size = frame_for(diagram::kOpeningWidth, diagram::kOpeningHeight, dpi);
    const POINT at = beside(main, size, dpi);
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
void DiagramWindow::Impl::set_icons() {
    const std::wstring name = core::to_utf16(command::main_form().icon);
    const auto load = [&](int x, int y) {
        return win32::Icon(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), name.c_str(), IMAGE_ICON,
                                                         win32::metric_for_dpi(x, dpi), win32::metric_for_dpi(y, dpi),
                                                         LR_DEFAULTCOLOR)));
    };
    win32::Icon big = load(SM_CXICON, SM_CYICON), little = load(SM_CXSMICON, SM_CYSMICON);
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(little.get()));
    big_icon = std::move(big);
    small_icon = std::move(little);
}

LRESULT CALLBACK DiagramWindow::Impl::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Impl*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->window = win32::Window(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self != nullptr ? self->handle(hwnd, message, wparam, lparam)
                           : DefWindowProcW(hwnd, message, wparam, lparam);
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

void DiagramWindow::Impl::save() {
    if (!view.has_picture()) {
        MessageBeep(MB_OK);
        return;
    }
    std::wstring file(4 * MAX_PATH, L'\0');
    const wchar_t initial[] = L"塔板图";
    std::copy(std::begin(initial), std::end(initial), file.begin());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd();
    dialog.lpstrFilter = L"SVG 矢量图 (*.svg)\0*.svg\0PNG 图像 (*.png)\0*.png\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrDefExt = L"svg";
    const std::wstring title = core::to_utf16(diagram::kSaveCommand);
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&dialog)) {
        // Cancelled, or the dialog failed (it says which).
        if (const DWORD code = CommDlgExtendedError(); code != 0) {
            error_box(hwnd(), L"无法打开保存对话框（错误 " + std::to_wstring(code) + L"）。");
        }
        return;
    }
    std::wstring path(file.c_str());
    // The name's own extension decides; without one, the type picked.
    bool png = ends_with(path, L".png");
    if (!png && !ends_with(path, L".svg")) {
        png = dialog.nFilterIndex == 2;
        path += png ? L".png" : L".svg";
    }

    std::string bytes;
    if (png) {
        // The window's pixels as they are on the screen.
        if (!painted_canvas()) {
            error_box(hwnd(), L"无法保存 PNG：没有足够的内存画出图像。");
            return;
        }
        if (const std::optional<diagram::GdiplusFailure> failed = diagram::encode_png(canvas.rows(), bytes)) {
            error_box(hwnd(), L"无法把塔板图编码为 PNG（GDI+ 状态 " + std::to_wstring(failed->status) + L"）。");
            return;
        }
    } else {
        bytes = view.svg();
    }
    std::string why;
    if (!core::replace_file(core::to_utf8(path), bytes, why)) {
        error_box(hwnd(), L"无法保存“" + path + L"”：" + core::to_utf16(why) + L"\n原有的文件未被改动。");
    }
}

// The window's pixels onto the clipboard as a device-independent bitmap,
// rows from the bottom as the format has them.
void DiagramWindow::Impl::copy() {
    if (!view.has_picture()) {
        MessageBeep(MB_OK);
        return;
    }
    if (!painted_canvas()) {
        error_box(hwnd(), L"无法复制：没有足够的内存画出图像。");
        return;
    }
    const diagram::PixelRows rows = canvas.rows();
    const std::size_t row_bytes = static_cast<std::size_t>(rows.width) * 4;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = rows.width;
    header.biHeight = rows.height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(row_bytes * rows.height);
    win32::Global memory(GlobalAlloc(GMEM_MOVEABLE, sizeof header + header.biSizeImage));
    void* locked = memory ? GlobalLock(memory.get()) : nullptr;
    if (locked == nullptr) {
        error_box(hwnd(), L"无法复制：内存不足。");
        return;
    }
    auto* bytes = static_cast<unsigned char*>(locked);
    std::memcpy(bytes, &header, sizeof header);
    for (int y = 0; y < rows.height; ++y) {
        std::memcpy(bytes + sizeof header + row_bytes * (rows.height - 1 - y), rows.bits + std::size_t(y) * rows.width,
                    row_bytes);
    }
    GlobalUnlock(memory.get());

    if (!OpenClipboard(hwnd())) {
        error_box(hwnd(), L"无法复制：剪贴板正被别的程序占用（系统错误 " + std::to_wstring(GetLastError()) + L"）。");
        return;
    }
    EmptyClipboard();
    const bool handed = SetClipboardData(CF_DIB, memory.get()) != nullptr;
    const DWORD code = GetLastError();
    CloseClipboard();
    if (!handed) {
        error_box(hwnd(), L"无法把图像放上剪贴板（系统错误 " + std::to_wstring(code) + L"）。");
        return;
    }
    memory.release();  // the clipboard's now
}

void DiagramWindow::Impl::error_box(HWND owner, const std::wstring& text) const {
    // The buttons in the window's language where the system has it.
    MessageBoxExW(owner, text.c_str(), L"Veltrano", MB_OK | MB_ICONERROR,
                  MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
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
        w.error_box(GetActiveWindow(),
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
