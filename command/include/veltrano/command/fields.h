// The text boxes of a window, known by name ("Text1" ...).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veltrano::command {

// The failure status of a field access to a name that is no text box of the
// window (E_INVALIDARG), carried as an automation error.
inline constexpr std::int32_t kNoSuchTextBox = static_cast<std::int32_t>(0x80070057u);

// Each call fetches the named box, does one text call and lets the box go.
// A failure of either call is a RunError carrying the control's status.
class Fields {
public:
    virtual ~Fields() = default;
    virtual std::string text(std::string_view name) = 0;
    virtual void set_text(std::string_view name, std::string_view text) = 0;
};

}  // namespace veltrano::command
