// Run-time errors: the one failure path of the program.
//
// Every failed check raises a RunError. It is caught in exactly one place per
// front end (the click dispatch of a window, the main of the CLI), which shows
// the number and the description and then goes on.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltrano::calc {

// Error numbers as the user sees them. Numbers are never reused.
enum class ErrorNumber : std::int32_t {
    // A short integer left -32768..32767, a floating-point statement raised an
    // invalid operation (0 / 0, inf - inf) or overflowed, or a number typed
    // into a field lies beyond the double range.
    Overflow = 6,
    // A profile index outside 0..30: the column needs more than 30 plates, or
    // a section never reaches its end composition.
    SubscriptOutOfRange = 9,
    // A floating-point statement divided a non-zero value by zero.
    DivisionByZero = 11,
    // A field holds empty or non-numeric text.
    TypeMismatch = 13,
    // The spreadsheet application could not be started.
    CannotCreateObject = 429,
};

// Failure statuses of calls into other programs (a window control, the
// spreadsheet application). An automation error carries one as its number.
// They are the platform's own status codes, the same on both desktops, so a
// user sees one number for one kind of trouble. As signed 32-bit values:
// 0x80004005 is -2147467259.
enum class FailureStatus : std::int32_t {
    // A window has no text box of the name a field access asked for
    // (E_INVALIDARG).
    InvalidArgument = static_cast<std::int32_t>(0x80070057u),
    // The spreadsheet application exited or dropped the connection part-way
    // through the export (RPC_E_DISCONNECTED).
    Disconnected = static_cast<std::int32_t>(0x80010108u),
    // The spreadsheet application did not answer one call within the call
    // timeout (RPC_E_TIMEOUT).
    TimedOut = static_cast<std::int32_t>(0x8001011Fu),
    // The spreadsheet application reported a failure of its own (E_FAIL).
    Failed = static_cast<std::int32_t>(0x80004005u),
};

// The short description of a numbered error, in the window's language.
const char* error_text(ErrorNumber number);

class RunError : public std::runtime_error {
public:
    // A numbered error; `detail` says what failed and with which values.
    explicit RunError(ErrorNumber number, const std::string& detail = {});

    // A failure status from a call into another program (a window control or
    // the spreadsheet application). The status itself is the error number,
    // as a signed 32-bit value, so 0x80004005 is -2147467259.
    static RunError automation(std::int32_t status, const std::string& detail);
    static RunError automation(FailureStatus status, const std::string& detail) {
        return automation(static_cast<std::int32_t>(status), detail);
    }

    std::int32_t number() const noexcept { return number_; }
    // One line: the error's text, then the detail if any.
    const std::string& description() const noexcept { return description_; }

private:
    RunError(std::int32_t number, std::string description);

    std::int32_t number_;
    std::string description_;
};

}  // namespace veltrano::calc
