// The Calculate command behind the button "计算".
#pragma once

#include <string>
#include <string_view>

#include "veltrano/calc/column.h"
#include "veltrano/sheet/spreadsheet.h"
#include "veltrano/command/fields.h"
#include "veltrano/core/number_text.h"

namespace veltrano::command {

// Step 1 of a press: the six inputs read from Text1 (F), Text2 (xD), Text3 (xW),
// Text7 (xF), Text4 (R), Text5 (alpha) in that order, each converted under
// `format`; the first bad field raises its error and the later ones are not read.
calc::ColumnInputs read_inputs(Fields& fields, const core::NumberFormat& format);

// One press:
//   1. read the six inputs (read_inputs);
//   2. run the column calculation;
//   3. write the feed plate into Text8, then the plate count into Text6;
//   4. hand the profile to `sheet`.
// A RunError leaves the command at its step: fields not yet written keep their text.
calc::ColumnResult run_calculate(Fields& fields, const core::NumberFormat& format,
                                 sheet::Spreadsheet& sheet);

}  // namespace veltrano::command
