// What every implementation of an interface must do, written once and run
// against each of them. Each check returns its violations, one line each, so
// any test framework can assert that there are none.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "veltrano/sheet/spreadsheet.h"
#include "veltrano/command/fields.h"
#include "veltrano/testkit/fakes.h"

namespace veltrano::testkit {

// The window's text boxes: each of Text1 .. Text8 gives back exactly the text
// set (empty, Chinese, long), and a name that is no text box ("Text9",
// "Command1") is the automation error E_INVALIDARG for both calls.
std::vector<std::string> fields_contract_violations(command::Fields& fields);

// What a user finds in the sheet: text cells as text, number cells as the
// double they hold (a plate number 3 is read back as 3.0).
using ReadBack = std::function<std::vector<Cell>()>;

// The worked example exported into `sheet`, then read back: the labels as
// text in A1:A3, each plate number, x and y exact to the bit, nothing else;
// B2 is x1 = 0.883721 and B3 is y1 = xD = 0.95.
std::vector<std::string> spreadsheet_contract_violations(sheet::Spreadsheet& sheet, const ReadBack& read_back);

// How the cells `found` in a sheet differ from those it must hold after the
// writes `expected` (the order of either does not matter): a missing, an
// unexpected or a different cell, one line each. Numbers are compared as the
// doubles a sheet stores, bit for bit.
std::vector<std::string> cell_differences(std::vector<Cell> expected, std::vector<Cell> found);

// The cells of a text table's rows (the CLI's output): column A as text, the
// other columns as numbers.
std::vector<Cell> cells_of_tsv(const std::string& tsv);

}  // namespace veltrano::testkit
