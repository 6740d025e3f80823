// The text boxes of a window, known by name ("Text1" ...).
#pragma once

#include <string>
#include <string_view>

namespace veltrano::command {

// Each call fetches the named box, does one text call and lets the box go.
// A failure of either call is a RunError carrying the control's status.
class Fields {
public:
    virtual ~Fields() = default;
    virtual std::string text(std::string_view name) = 0;
    virtual void set_text(std::string_view name, std::string_view text) = 0;
};

}  // namespace veltrano::command
