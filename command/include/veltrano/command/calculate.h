// The Calculate command behind the button "计算".
#pragma once

#include <functional>

#include "veltrano/calc/column.h"
#include "veltrano/command/fields.h"
#include "veltrano/core/number_text.h"
#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::command {

// What one press computed with: the six inputs as it read them, and the column.
struct Calculation {
    calc::ColumnInputs inputs;
    calc::ColumnResult column;
};

// The six inputs from Text1 (F), Text2 (xD), Text3 (xW), Text7 (xF),
// Text4 (R), Text5 (alpha), in that order, numbers read under `format`; the
// first bad field raises its error and the later ones are not read.
calc::ColumnInputs read_inputs(Fields& fields, const core::NumberFormat& format);

// Told of a press's calculation once its results are in the fields, before
// the hand-over to the spreadsheet (which may still fail).
using CalculatedHandler = std::function<void(const Calculation&)>;

// One press, with numbers read under `format`:
//   1. read the six inputs (read_inputs);
//   2. run the column calculation;
//   3. write the feed plate into Text8, then the plate count into Text6;
//   4. tell `on_calculated`, if given;
//   5. hand the profile to `sheet`.
// A RunError leaves the command at its step: fields not yet written keep their text.
Calculation run_calculate(Fields& fields, const core::NumberFormat& format, sheet::Spreadsheet& sheet,
                          const CalculatedHandler& on_calculated = {});

// The click of Command1: one press with the user's number format, its profile
// handed to a new spreadsheet application from `new_spreadsheet`, whose
// references are released at the end of the press.
void press_calculate(Fields& fields, const sheet::SpreadsheetFactory& new_spreadsheet,
                     const CalculatedHandler& on_calculated = {});

}  // namespace veltrano::command
