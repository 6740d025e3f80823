// What the user sees of a run-time error, written once for every front end:
// the message box of each desktop's window, the CLI's line on stderr, the tools.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "veltrano/core/run_error.h"

namespace veltrano::core {

struct ErrorReport {
    std::int32_t number = 0;
    std::string title;        // of the message box: the program's name
    std::string heading;      // "运行时错误 13"
    std::string description;  // one line, nothing in it a terminal would obey

    // The message box's text: the heading, a blank line, the description.
    std::string box_text() const;
    // The command line's contract, one line: "error 13: <description>".
    std::string line() const;
};

ErrorReport error_report(const RunError& error);

// The one catch around a press of the button: runs `press`, and a RunError it
// raises ends the press and comes back as the report to show. The window goes
// on with every field as the press left it.
std::optional<ErrorReport> run_press(const std::function<void()>& press);

// `text` with every control character (newline, ESC, the C1 controls and the
// bidirectional overrides that reorder what is shown) written as an escape
// such as \n, \x1B or \u202E, and every byte that is not UTF-8 as \xNN, so
// that what is shown is what was typed and nothing reaches a terminal as a
// command.
std::string escape_controls(std::string_view text);

// A user's text inside a message: escaped as above, its first `max_chars`
// characters only, then "…" when there was more.
std::string quote_excerpt(std::string_view text, std::size_t max_chars = 40);

}  // namespace veltrano::core
