// Real mixtures on the command line: the component table (built in, joined
// by --components), the curve that --mixture or --xy asks for, what a design
// on it adds to the output, and the two commands of their own, `mixtures`
// and `vle`.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "language.h"
#include "request.h"
#include "sweep.h"
#include "veltrano/calc/design.h"
#include "veltrano/calc/thermo.h"
#include "veltrano/command/chosen_curve.h"
#include "veltrano/core/number_text.h"

namespace veltrano::app {

using command::ChosenCurve;
using command::kMostFileBytes;

// What each row of a sweep steps on: a curve of its own at each pressure
// when P is swept, otherwise the chosen one (none for constant alpha).
RowCurve rows_curve(const ChosenCurve& chosen, Swept swept);

// The curve `request` asks for, its pressure not yet applied (a sweep of P
// goes on where the base pressure has no curve). A file or a name that fails
// is reported on `err`: false, and the run ends with status 1.
bool requested_curve(const Request& request, ChosenCurve& chosen, std::ostream& err);

// The points of `request` with their curve, or its mixture resolved in the
// table, its curve left to at_pressure(). Error 5 for a file that cannot be
// read or breaks its rules, an unknown name or pair.
ChosenCurve choose_curve(const Request& request);

// A column's first lines: the feed stage, the stage count, the table of
// stages, x and y, and with `temperatures` a line "T" with each stage's
// bubble point in °C, "-" where the curve does not reach.
std::string column_lines(const calc::Design& d, bool temperatures);

// What --details adds for a curve: the pinch, the azeotropes, the top and
// bottom temperatures, the duties and the Antoine extrapolation.
std::string curve_details(const calc::DesignInputs& in, const calc::Design& d, const ChosenCurve& chosen);

// veltrano-cli mixtures: the table as TSV, status 0; error 5 for a bad file.
int run_mixtures(const Request& request, std::ostream& out, std::ostream& err);

// veltrano-cli vle: the T–x–y table at the pressure, its azeotropes, and
// with --svg the x–y and T–x–y diagrams.
int run_vle(const Request& request, const core::NumberFormat& format, Language language, std::ostream& out,
            std::ostream& err);

// A number option (--q, --pressure ...) read like the fields (the user's
// locale), left as it is when not given; false, with a usage error's reason
// in `why`, for a text that is not a number.
bool read_number_option(const std::optional<std::string>& text, const char* name, const core::NumberFormat& format,
                        Language language, double& value, std::string& why);

}  // namespace veltrano::app
