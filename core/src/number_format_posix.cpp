// The user's number separators on Linux: LC_ALL, LC_NUMERIC, then LANG, as
// the C library resolves them. A locale the system lacks falls back to C.
#include <clocale>
#include <langinfo.h>
#include <locale.h>

#include "veltrano/core/number_text.h"

namespace veltrano::core {

NumberFormat user_number_format() {
    NumberFormat format;
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return format;
    const char* point = nl_langinfo_l(RADIXCHAR, loc);
    const char* mark = nl_langinfo_l(THOUSEP, loc);
    if (point != nullptr && *point != '\0') format.decimal_point = point;
    if (mark != nullptr) format.grouping_mark = mark;
    freelocale(loc);
    return format;
}

}  // namespace veltrano::core
