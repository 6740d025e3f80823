// The save dialog's DLL (comdlg32) is delay-loaded: it loads at the first save.
#include "picture_win32.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <optional>

#include "top_level_win32.h"
#include "veltrano/core/replace_file.h"
#include "veltrano/core/utf16.h"

namespace veltrano::gui::win32 {

bool Canvas::make(int width, int height) {
    release();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    MemoryDC dc(CreateCompatibleDC(nullptr));
    if (!bitmap || !dc || bits == nullptr || SelectObject(dc.get(), bitmap.get()) == nullptr) return false;
    bitmap_ = std::move(bitmap);
    dc_ = std::move(dc);
    bits_ = static_cast<std::uint32_t*>(bits);
    width_ = width;
    height_ = height;
    return true;
}

void Canvas::release() {
    dc_.reset();
    bitmap_.reset();
    bits_ = nullptr;
    width_ = height_ = 0;
}

namespace {

bool ends_with(const std::wstring& name, const wchar_t* extension) {
    const std::size_t n = std::wcslen(extension);
    if (name.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::towlower(name[name.size() - n + i]) != extension[i]) return false;
    }
    return true;
}

}  // namespace

void save_picture(HWND owner, const std::wstring& initial_name, const std::wstring& title,
                  const PictureSource& source) {
    std::wstring file(4 * MAX_PATH, L'\0');
    std::copy_n(initial_name.begin(), std::min(initial_name.size(), file.size() - 1), file.begin());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"SVG 矢量图 (*.svg)\0*.svg\0PNG 图像 (*.png)\0*.png\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrDefExt = L"svg";
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&dialog)) {
        // Cancelled, or the dialog failed (it says which).
        if (const DWORD code = CommDlgExtendedError(); code != 0) {
            error_box(owner, L"无法打开保存对话框（错误 " + std::to_wstring(code) + L"）。");
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
        const Canvas* canvas = source.pixels();
        if (canvas == nullptr) {
            error_box(owner, L"无法保存 PNG：没有足够的内存画出图像。");
            return;
        }
        if (const std::optional<diagram::GdiplusFailure> failed = diagram::encode_png(canvas->rows(), bytes)) {
            error_box(owner, L"无法把塔板图编码为 PNG（GDI+ 状态 " + std::to_wstring(failed->status) + L"）。");
            return;
        }
    } else {
        bytes = source.svg();
    }
    std::string why;
    if (!core::replace_file(core::to_utf8(path), bytes, why)) {
        error_box(owner, L"无法保存“" + path + L"”：" + core::to_utf16(why) + L"\n原有的文件未被改动。");
    }
}

// Rows from the bottom, as the clipboard's format has them.
void copy_picture(HWND owner, const PictureSource& source) {
    const Canvas* canvas = source.pixels();
    if (canvas == nullptr) {
        error_box(owner, L"无法复制：没有足够的内存画出图像。");
        return;
    }
    const diagram::PixelRows rows = canvas->rows();
    const std::size_t row_bytes = static_cast<std::size_t>(rows.width) * 4;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = rows.width;
    header.biHeight = rows.height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(row_bytes * rows.height);
    Global memory(GlobalAlloc(GMEM_MOVEABLE, sizeof header + header.biSizeImage));
    void* locked = memory ? GlobalLock(memory.get()) : nullptr;
    if (locked == nullptr) {
        error_box(owner, L"无法复制：内存不足。");
        return;
    }
    auto* bytes = static_cast<unsigned char*>(locked);
    std::memcpy(bytes, &header, sizeof header);
    for (int y = 0; y < rows.height; ++y) {
        std::memcpy(bytes + sizeof header + row_bytes * (rows.height - 1 - y), rows.bits + std::size_t(y) * rows.width,
                    row_bytes);
    }
    GlobalUnlock(memory.get());

    if (!OpenClipboard(owner)) {
        error_box(owner, L"无法复制：剪贴板正被别的程序占用（系统错误 " + std::to_wstring(GetLastError()) + L"）。");
        return;
    }
    EmptyClipboard();
    const bool handed = SetClipboardData(CF_DIB, memory.get()) != nullptr;
    const DWORD code = GetLastError();
    CloseClipboard();
    if (!handed) {
        error_box(owner, L"无法把图像放上剪贴板（系统错误 " + std::to_wstring(code) + L"）。");
        return;
    }
    memory.release();  // the clipboard's now
}

}  // namespace veltrano::gui::win32
