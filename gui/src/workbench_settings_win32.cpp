#include "workbench_settings_win32.h"

#include <cwchar>

#include "veltrano/core/utf16.h"

namespace veltrano::gui::win32 {

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Veltrano\\Workbench";

}  // namespace

std::optional<std::string> read_setting(const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
    const std::wstring value = core::to_utf16(name);
    DWORD type = 0, size = 0;
    std::optional<std::string> text;
    if (RegQueryValueExW(key, value.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            data.resize(std::wcslen(data.c_str()));  // the stored text may or may not end in NUL
            text = core::to_utf8(data);
        }
    }
    RegCloseKey(key);
    return text;
}

LSTATUS write_settings(const std::map<std::string, std::string>& values) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                     nullptr);
    if (status != ERROR_SUCCESS) return status;
    for (const auto& [name, text] : values) {
        const std::wstring data = core::to_utf16(text);
        status = RegSetValueExW(key, core::to_utf16(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        if (status != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    return status;
}

}  // namespace veltrano::gui::win32
