// veltrano-cli rate: the product compositions of a column that exists, its
// stages, feed stage and distillate flow given.
#pragma once

#include <ostream>

#include "language.h"
#include "request.h"
#include "veltrano/core/number_text.h"
#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::app {

// The five lines of its stages (six with T on a curve), then xD and xW;
// --details the flows, Rmin and R/Rmin of the compositions found and the
// recovery; --sweep a table of xD and xW; --svg its diagram or the sweep's.
int run_rate(const Request& request, const core::NumberFormat& format, Language language, std::ostream& out,
             std::ostream& err, const sheet::SpreadsheetFactory& new_spreadsheet);

}  // namespace veltrano::app
