// veltrano-cli: the Calculate command with no window.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "language.h"
#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::app {

// `args` excludes the program name: the six field texts and, before, between
// or after them, the options (`--` ends them). Returns the exit status:
// 0 success, 1 run-time error or a file or export that failed, 2 wrong usage.
// After the usual five lines, `--details` adds the column's balances and
// limits and `--sweep` a table of the column over a range of R or alpha;
// then `--svg FILE` writes the diagram and `--export` hands the profile to a
// new spreadsheet application from `new_spreadsheet` (the program passes the
// desktop's own). `--help` and the reasons of a usage error are in
// `language`; everything else keeps its Chinese.
int run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const sheet::SpreadsheetFactory& new_spreadsheet, Language language = Language::kChinese);

// The end of a run: flushes `out` and returns `status`, or says on `err` that
// the results could not be written (a full disk, a closed pipe) and returns 1.
int finish_output(int status, std::ostream& out, std::ostream& err);

}  // namespace veltrano::app
