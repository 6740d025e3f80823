// The user's number separators on Windows: the decimal symbol and the digit
// grouping symbol of the user's regional settings, as the user may have
// customised them, so veltrano.exe and veltrano-cli.exe read a text alike.
#include <windows.h>

#include "veltrano/core/number_text.h"
#include "veltrano/core/utf16.h"

namespace veltrano::core {

namespace {

// One locale string of the user's settings; empty if the system has none.
std::string user_locale_text(LCTYPE what) {
    wchar_t buffer[16];  // the system allows at most 3 characters per separator
    const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, what, buffer, 16);
    if (length <= 1) return {};
    return to_utf8(std::wstring_view(buffer, static_cast<std::size_t>(length - 1)));
}

}  // namespace

NumberFormat user_number_format() {
    NumberFormat format;
    if (std::string point = user_locale_text(LOCALE_SDECIMAL); !point.empty()) {
        format.decimal_point = std::move(point);
    }
    format.grouping_mark = user_locale_text(LOCALE_STHOUSAND);
    return format;
}

}  // namespace veltrano::core
