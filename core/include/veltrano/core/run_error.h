// Run-time errors: the one failure path of the program.
//
// Every failed check raises a RunError. It is caught in exactly one place per
// front end (the click dispatch of a window, the main of the CLI), which shows
// the number and the description and then goes on.
//
// Each layer declares the numbered errors it raises, beside the code that
// raises them: the number texts 13, the arithmetic 9 and 11, the spreadsheet
// hand-over 429 and its failure statuses. Overflow (6) is raised by both the
// number texts and the arithmetic, so it is declared here, below them.
// Numbers are never reused.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltrano::core {

// A numbered error as the user sees it: its number and its short text in the
// window's language.
struct ErrorKind {
    std::int32_t number;
    const char* text;
};

// A short integer left -32768..32767, a floating-point statement raised an
// invalid operation (0 / 0, inf - inf) or overflowed, or a number typed into
// a field lies beyond the double range.
inline constexpr ErrorKind kOverflow{6, "溢出"};

class RunError : public std::runtime_error {
public:
    // A numbered error; `detail` says what failed and with which values.
    explicit RunError(const ErrorKind& kind, const std::string& detail = {});

    // A failure status from a call into another program (a window control or
    // the spreadsheet application). The status itself is the error number,
    // as a signed 32-bit value, so 0x80004005 is -2147467259.
    static RunError automation(std::int32_t status, const std::string& detail);

    std::int32_t number() const noexcept { return number_; }
    // One line: the error's text, then the detail if any.
    const std::string& description() const noexcept { return description_; }

private:
    RunError(std::int32_t number, std::string description);

    std::int32_t number_;
    std::string description_;
};

}  // namespace veltrano::core
