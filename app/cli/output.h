// What every command of veltrano-cli writes alike: a usage error, a
// run-time error's line, "name TAB value" lines, the diagram's file and the
// hand-over to a spreadsheet.
#pragma once

#include <functional>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "language.h"
#include "veltrano/core/error_report.h"
#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::app {

// The help, then "veltrano-cli: <why>" on `err`; status 2.
int usage_error(std::ostream& err, Language language, const std::string& why);

// A run-time error as the CLI's contract has it: one line on stderr, status 1.
int report(std::ostream& err, const core::ErrorReport& report);

// A number in shortest round-trip form, "-" where there is none.
std::string number_or_dash(const std::optional<double>& v);

// Lines of "name TAB value", in the order given.
std::string name_value_lines(std::initializer_list<std::pair<const char*, std::optional<double>>> lines);

// The hand-over to a new spreadsheet application from `new_spreadsheet`;
// the application's references are released when the export ends.
int export_to(std::ostream& err, const sheet::SpreadsheetFactory& new_spreadsheet,
              const std::function<void(sheet::Spreadsheet&)>& write);

// The SVG written whole or not at all; on failure a line on `err`, status 1.
int write_svg(std::ostream& err, const std::string& file, const std::string& svg);

}  // namespace veltrano::app
