// Windows: the file through the Win32 API itself. The standard library's
// file system and streams would add a megabyte to the window program, read
// from disk at every start, for the one file a Save As writes.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "veltrano/core/replace_file.h"
#include "veltrano/core/utf16.h"

namespace veltrano::core {

namespace {

// The system's own words for the last error, in the user's language, and its number.
std::string last_error_text(const char* doing) {
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words = length ? std::wstring(text, length) : std::wstring();
    if (text) LocalFree(text);
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' ')) words.pop_back();
    char number[32];
    std::snprintf(number, sizeof number, "Windows 错误 %lu", static_cast<unsigned long>(code));
    return std::string(doing) + (words.empty() ? "" : "：" + to_utf8(words)) + "，" + number;
}

}  // namespace

bool replace_file(const std::string& path, std::string_view content, std::string& why) {
    const std::wstring target = to_utf16(path);
    // In the same folder, so that the move does not cross volumes; a name of
    // its own, so that two programs writing one file do not share it.
    wchar_t suffix[40];
    std::swprintf(suffix, 40, L".%08lx%08lx.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned long>(GetTickCount()));
    const std::wstring temporary = target + suffix;

    const HANDLE file =
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = last_error_text("无法创建文件");
        return false;
    }
    bool written = true;
    for (std::size_t at = 0; written && at < content.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - at, 1u << 30));
        DWORD done = 0;
        written = WriteFile(file, content.data() + at, chunk, &done, nullptr) && done == chunk;
        at += done;
    }
    if (!written) why = last_error_text("写入失败");
    if (!CloseHandle(file) && written) {
        written = false;
        why = last_error_text("写入失败");
    }
    if (written && !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        written = false;
        why = last_error_text("无法替换文件");
    }
    if (!written) DeleteFileW(temporary.c_str());
    return written;
}

bool read_file(const std::string& path, std::size_t most_bytes, std::string& content, std::string& why) {
    const HANDLE file = CreateFileW(to_utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = last_error_text("无法打开文件");
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = true;
    if (GetFileSizeEx(file, &size) && static_cast<unsigned long long>(size.QuadPart) > most_bytes) {
        why = "文件太大（" + std::to_string(size.QuadPart) + " 字节，最多 " + std::to_string(most_bytes) + " 字节）";
        ok = false;
    }
    content.clear();
    char buffer[1 << 16];
    for (DWORD done = 0; ok;) {
        if (!ReadFile(file, buffer, sizeof buffer, &done, nullptr)) {
            why = last_error_text("读取失败");
            ok = false;
        } else if (done == 0) {
            break;
        } else if ((content.append(buffer, done), content.size() > most_bytes)) {
            why = "文件太大（超过 " + std::to_string(most_bytes) + " 字节）";
            ok = false;
        }
    }
    CloseHandle(file);
    return ok;
}

}  // namespace veltrano::core
