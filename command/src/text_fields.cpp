#include "veltrano/command/text_fields.h"

#include "veltrano/core/run_error.h"

namespace veltrano::command {

std::string& TextFields::box(std::string_view name) {
    const auto found = texts_.find(name);
    if (found == texts_.end()) {
        throw core::RunError::automation(kNoSuchTextBox, "没有文本框“" + std::string(name) + "”");
    }
    return found->second;
}

std::string TextFields::text(std::string_view name) { return box(name); }

void TextFields::set_text(std::string_view name, std::string_view text) { box(name) = text; }

}  // namespace veltrano::command
