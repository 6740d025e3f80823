#include "workbench_picture_win32.h"

#include <string>
#include <utility>

#include "dpi_win32.h"
#include "top_level_win32.h"
#include "veltrano/command/workbench.h"
#include "veltrano/core/utf16.h"
#include "win32_handles.h"

namespace veltrano::gui::win32 {

namespace {

constexpr wchar_t kPictureClass[] = L"VeltranoWorkbenchPicture";

// While pictures keep coming, each is painted as a draft; this long after
// the last, it is painted finely.
constexpr UINT kRefineAfterMs = 150;
constexpr UINT_PTR kRefineTimer = 1;

}  // namespace

bool PictureArea::create(HWND parent, int id, const RECT& where, UINT dpi) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // A new size repaints it all: the picture scales with the area.
    if (!register_class_once(kPictureClass, &PictureArea::procedure, CS_HREDRAW | CS_VREDRAW, nullptr)) return false;
    if (!painter_) {
        auto session = std::make_unique<diagram::GdiplusSession>();
        if (session->status() == 0) {
            gdiplus_ = std::move(session);
            painter_ = std::make_unique<diagram::GdiplusPainter>();
        } else {
            error_box(parent, L"无法启动 GDI+（状态 " + std::to_wstring(session->status()) + L"），塔板图无法显示。");
        }
    }
    dpi_ = dpi;
    window_ = CreateWindowExW(0, kPictureClass, nullptr, WS_CHILD | WS_VISIBLE, where.left, where.top,
                              where.right - where.left, where.bottom - where.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
    return window_ != nullptr;
}

void PictureArea::set_dpi(UINT dpi) {
    dpi_ = dpi;
    repaint_ = true;
    if (window_ != nullptr) InvalidateRect(window_, nullptr, FALSE);
}

void PictureArea::show(std::shared_ptr<const diagram::Scene> picture) {
    picture_ = std::move(picture);
    stale_ = false;
    changed();
}

void PictureArea::dim() {
    if (stale_) return;
    stale_ = true;
    changed();
}

void PictureArea::changed() {
    repaint_ = true;
    typing_ = true;
    if (window_ == nullptr) return;
    SetTimer(window_, kRefineTimer, kRefineAfterMs, nullptr);
    InvalidateRect(window_, nullptr, FALSE);
}

LRESULT CALLBACK PictureArea::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = window_owner<PictureArea>(hwnd, message, lparam);
    if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    switch (message) {
    case WM_SIZE:
        self->repaint_ = true;
        break;
    case WM_ERASEBKGND:
        return 1;  // the canvas covers the area
    case WM_PAINT:
        self->paint();
        return 0;
    case WM_TIMER:
        if (wparam != kRefineTimer) break;
        KillTimer(hwnd, kRefineTimer);
        self->typing_ = false;
        if (self->draft_) {
            self->repaint_ = true;
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    case WM_NCDESTROY:
        // The parent destroys the area with itself: the canvas goes now.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        self->canvas_.release();
        self->repaint_ = true;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

const Canvas* PictureArea::pixels() {
    RECT client;
    if (window_ == nullptr || painter_ == nullptr || !GetClientRect(window_, &client)) return nullptr;
    const int width = client.right - client.left, height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return nullptr;
    if (!canvas_.fits(width, height)) {
        repaint_ = true;
        if (!canvas_.make(width, height)) return nullptr;
    }
    if (repaint_) paint_canvas(width, height, typing_);
    return &canvas_;
}

const Canvas* PictureArea::fine_pixels() {
    if (pixels() == nullptr) return nullptr;
    if (draft_) paint_canvas(canvas_.width(), canvas_.height(), false);
    return &canvas_;
}

void PictureArea::paint_canvas(int width, int height, bool draft) {
    GdiFlush();  // GDI is done with the bits before GDI+ writes them
    const double scale = static_cast<double>(dpi_) / USER_DEFAULT_SCREEN_DPI;
    draft_ = draft && painter_->supersampling() > 1;
    failure_ = painter_->paint(command::workbench_scene(picture_.get(), stale_, width / scale, height / scale),
                               canvas_.rows(), scale, draft_);
    repaint_ = false;
}

void PictureArea::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    if (dc == nullptr) return;
    const RECT& r = ps.rcPaint;
    if (const Canvas* canvas = pixels()) {
        BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, canvas->dc(), r.left, r.top, SRCCOPY);
    } else {
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    if (failure_) {
        // What is drawn stays; a line says what is missing.
        const Font font = message_font(dpi_);
        const HGDIOBJ old = SelectObject(dc, font.get());
        SetTextColor(dc, RGB(0xB0, 0x3A, 0x00));
        SetBkMode(dc, TRANSPARENT);
        RECT line;
        GetClientRect(window_, &line);
        line.left += device(10, dpi_);
        const std::wstring text = L"塔板图有一部分没能画出（GDI+ 状态 " + std::to_wstring(failure_->status) + L"：" +
                                  core::to_utf16(failure_->what) + L"）";
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line, DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
    }
    EndPaint(window_, &ps);
}

}  // namespace veltrano::gui::win32
