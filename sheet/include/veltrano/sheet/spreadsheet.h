// The hand-over of a column's profile to a spreadsheet application.
//
// The cell sequence is written once, in export_profile(), against the small
// Spreadsheet interface; each desktop's backend (and the CLI's text table)
// implements that interface.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "veltrano/core/run_error.h"

#include "veltrano/calc/profile.h"
#include "veltrano/calc/short_int.h"

namespace veltrano::sheet {

// The spreadsheet application could not be started.
inline constexpr core::ErrorKind kCannotCreateObject{429, "无法创建电子表格应用程序对象"};

// Failure statuses of calls into the spreadsheet application once it runs.
// An automation error carries one as its number. They are the platform's own
// status codes, the same on both desktops, so a user sees one number for one
// kind of trouble. As signed 32-bit values: 0x80004005 is -2147467259.
enum class FailureStatus : std::int32_t {
    // The application exited or dropped the connection part-way through the
    // export (RPC_E_DISCONNECTED).
    Disconnected = static_cast<std::int32_t>(0x80010108u),
    // The application did not answer one call within the call timeout
    // (RPC_E_TIMEOUT).
    TimedOut = static_cast<std::int32_t>(0x8001011Fu),
    // The application reported a failure of its own (E_FAIL).
    Failed = static_cast<std::int32_t>(0x80004005u),
};

// The automation error carrying `status`.
inline core::RunError automation_error(FailureStatus status, const std::string& detail) {
    return core::RunError::automation(static_cast<std::int32_t>(status), detail);
}

// A cell's value as sent: labels as text, plate numbers as 16-bit integers,
// mole fractions as full-precision doubles.
using CellValue = std::variant<std::string, std::int16_t, double>;

// One spreadsheet application, driven in the order export_profile() calls it.
// Every call either succeeds or raises a RunError.
class Spreadsheet {
public:
    virtual ~Spreadsheet() = default;
    // Starts a new application for this export; error 429 when it cannot.
    virtual void create_application() = 0;
    virtual void add_workbook() = 0;
    virtual void make_visible() = 0;
    // One cell of the active sheet, 1-based row and column.
    virtual void put_cell(std::int16_t row, std::int16_t column, const CellValue& value) = 0;
};

// A new spreadsheet application for one export, nothing started yet: the
// desktop's own, or a stand-in.
using SpreadsheetFactory = std::function<std::unique_ptr<Spreadsheet>()>;

// Writes the three-row table into a new, visible workbook:
//   row 1: "板", 1 .. N      row 2: "X", x[1] .. x[N]      row 3: "Y", y[1] .. y[N]
// labels first, then one column per plate, 3 + 3N cell writes in all.
void export_profile(Spreadsheet& sheet, calc::ShortInt plate_count, const calc::Profile& x,
                    const calc::Profile& y);

// The same table for a designed column of any length (kMostStages at most,
// which every backend's sheet holds): stage n's x[n-1] and y[n-1] in column n + 1.
// With stage temperatures, a fourth row "T" holds each in °C, "-" where
// unknown.
void export_stages(Spreadsheet& sheet, const std::vector<double>& x, const std::vector<double>& y,
                   const std::vector<std::optional<double>>& T = {});

// A cell as the user finds it in the sheet: row 2, column 12 is "L2".
std::string cell_name(int row, int column);

// A wait in seconds for an error text: 30000 ms is "30", 2500 ms "2.5".
std::string seconds_text(std::chrono::milliseconds span);

}  // namespace veltrano::sheet
