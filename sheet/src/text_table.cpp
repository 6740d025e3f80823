#include "veltrano/sheet/text_table.h"

#include <type_traits>

#include "veltrano/core/number_text.h"

namespace veltrano::sheet {

void TextTable::put_cell(std::int16_t row, std::int16_t column, const CellValue& value) {
    cells_[{row, column}] = std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) return v;
            else if constexpr (std::is_same_v<T, std::int16_t>) return core::short_to_text(v);
            else return core::double_to_text(v);
        },
        value);
}

std::string TextTable::tsv() const {
    std::string out;
    int row = 0;
    for (const auto& [at, text] : cells_) {
        if (at.first != row) {
            if (row != 0) out += '\n';
            row = at.first;
        } else {
            out += '\t';
        }
        out += text;
    }
    if (row != 0) out += '\n';
    return out;
}

}  // namespace veltrano::sheet
